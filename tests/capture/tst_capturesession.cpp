// The capture session as the engine, without a window: this test links no Qt Widgets.

#include "../testpatternindex.h"
#include "capture/capturesession.h"
#include "capture/drivercatalogue.h"
#include "capture/testpatterndriver.h"

#include <QTemporaryDir>
#include <QTest>

using namespace lv;

class TestCaptureSession : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        QVERIFY(testPatternIndex() >= 0);
    }

    // What the program's window kept for a device comes back when a session
    // that remembers opens it again; the command-line program, which does not
    // remember, gets the device as it is and fresh records.
    void keptSettingsComeBackOnlyWhenRemembered_data()
    {
        QTest::addColumn<bool>("remembers");
        QTest::newRow("the window's session") << true;
        QTest::newRow("the command line's session") << false;
    }
    void keptSettingsComeBackOnlyWhenRemembered()
    {
        QFETCH(bool, remembers);
        const int index = testPatternIndex();
        {
            CaptureSession kept;
            kept.setRemembersDevices(true);
            QVERIFY(kept.open(index));
            QCOMPARE(kept.deviceIndex(), index);
            auto* pattern = dynamic_cast<TestPatternDriver*>(kept.driver());
            QVERIFY(pattern);
            TestPatternSettings s = pattern->settings();
            s.size = QSize(640, 480);
            pattern->setSettings(s);
            CaptureParms parms;
            QVERIFY(kept.captureParms(parms));
            parms.wTimeLimit = 77;
            parms.fCaptureAudio = 1;
            QVERIFY(kept.setCaptureParms(parms));
            AudioFormat a;
            QVERIFY(kept.audioFormat(a));
            a.nChannels = 2;
            a.wBitsPerSample = 16;
            a.nSamplesPerSec = 22050;
            QVERIFY(kept.setAudioFormat(a));
            QVERIFY(kept.setScale(true));
            QVERIFY(kept.keepDeviceSettings());
            kept.close();
            QCOMPARE(kept.deviceIndex(), -1);
            QVERIFY(!kept.keepDeviceSettings());
        }
        CaptureSession again;
        again.setRemembersDevices(remembers);
        QVERIFY(again.open(index));
        CaptureStatus st;
        QVERIFY(again.status(st));
        QCOMPARE(QSize(int(st.uiImageWidth), int(st.uiImageHeight)), remembers ? QSize(640, 480) : QSize(320, 240));
        QCOMPARE(st.fScale, remembers ? 1u : 0u);
        CaptureParms parms;
        QVERIFY(again.captureParms(parms));
        QCOMPARE(parms.wTimeLimit, remembers ? 77u : CaptureParms{}.wTimeLimit);
        QCOMPARE(parms.fCaptureAudio, remembers ? 1u : CaptureParms{}.fCaptureAudio);
        AudioFormat a;
        QVERIFY(again.audioFormat(a));
        QCOMPARE(a.nSamplesPerSec, remembers ? 22050u : AudioFormat{}.nSamplesPerSec);
        QVERIFY(!again.captureFile().isEmpty());
    }

    // "The next frame" comes from the session: at once when there is one,
    // after the device's first frame otherwise, and none without a device.
    void whenFrameAnswersOnce_data()
    {
        QTest::addColumn<bool>("open");
        QTest::newRow("device open") << true;
        QTest::newRow("no device") << false;
    }
    void whenFrameAnswersOnce()
    {
        QFETCH(bool, open);
        CaptureSession session;
        if (open)
            QVERIFY(session.open(testPatternIndex()));
        int answers = 0;
        FramePtr frame;
        QObject context;
        session.whenFrame(&context, 2000, [&](FramePtr f) {
            ++answers;
            frame = std::move(f);
        });
        QTRY_COMPARE(answers, 1);
        QCOMPARE(frame != nullptr, open);
        if (open)
            QCOMPARE(frame->picture().size(), QSize(320, 240));
        QTest::qWait(50);
        QCOMPARE(answers, 1);
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(TestCaptureSession)
#include "tst_capturesession.moc"
