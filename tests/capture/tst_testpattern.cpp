#include "capture/testpattern.h"
#include "capture/testpatterndriver.h"

#include <QSignalSpy>
#include <QTest>
#include <atomic>

using namespace lv;

class TestTestPattern : public QObject {
    Q_OBJECT

private slots:
    void frameIsPureFunctionOfNumberAndSettings_data()
    {
        QTest::addColumn<QSize>("size");
        for (const QSize& s : TestPattern::sizes())
            QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(s.width()).arg(s.height()))) << s;
    }
    void frameIsPureFunctionOfNumberAndSettings()
    {
        QFETCH(QSize, size);
        TestPatternSettings s;
        s.size = size;
        const QImage a = TestPattern::render(17, s);
        QCOMPARE(a.size(), size);
        QCOMPARE(a.format(), QImage::Format_RGB888);
        QCOMPARE(TestPattern::render(17, s), a);
        QVERIFY(TestPattern::render(18, s) != a);
        // Rendering into a used buffer leaves nothing of the old picture behind.
        QImage reused = TestPattern::render(5, s);
        TestPattern::renderInto(reused, 17, s);
        QCOMPARE(reused, a);
    }

    void stillVariantNeverChanges()
    {
        TestPatternSettings s;
        s.still = true;
        const QImage first = TestPattern::render(0, s);
        for (uint64_t n : {1ull, 29ull, 1000ull, 123456789ull})
            QCOMPARE(TestPattern::render(n, s), first);
    }

    void brightnessLiftsTheBars()
    {
        TestPatternSettings s;
        s.still = true;
        const QImage dark = TestPattern::render(0, s);
        s.brightness = 20;
        const QImage bright = TestPattern::render(0, s);
        QCOMPARE(qRed(bright.pixel(200, 10)), std::min(255, qRed(dark.pixel(200, 10)) + 20));
    }

    void driverDeliversFramesInOrderAndStopsTwice()
    {
        TestPatternDriver d;
        TestPatternSettings s = d.settings();
        s.rate = 60;
        d.setSettings(s);
        QVERIFY(d.open());
        std::atomic<int> frames{0};
        std::atomic<uint64_t> last{0};
        std::atomic<bool> ordered{true};
        QVERIFY(d.start([&](const FramePtr& f) {
            if (frames > 0 && f->sequence <= last)
                ordered = false;
            last = f->sequence;
            ++frames;
        }, {}));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 10, 5000);
        d.stop();
        d.stop();
        const int after = frames;
        QTest::qWait(100);
        QCOMPARE(int(frames), after);
        QVERIFY(ordered);
        d.close();
        d.close();
    }

    void settingsAreKeptInRange()
    {
        TestPatternDriver d;
        TestPatternSettings s;
        s.rate = 500;
        s.size = QSize(333, 222);
        d.setSettings(s);
        QCOMPARE(d.settings().rate, TestPattern::kMaxRate);
        QCOMPARE(d.settings().size, QSize(320, 240));
    }

    void sineStartsAtSilenceAndRepeats_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::newRow("8 mono") << 8 << 1;
        QTest::newRow("16 stereo") << 16 << 2;
    }
    void sineStartsAtSilenceAndRepeats()
    {
        QFETCH(int, bits);
        QFETCH(int, channels);
        AudioFormat f;
        f.wBitsPerSample = static_cast<uint16_t>(bits);
        f.nChannels = static_cast<uint16_t>(channels);
        f.nSamplesPerSec = 44100;
        const QByteArray pcm = SineAudioSource::render(f, 440.0, 0, 441);
        QCOMPARE(pcm.size(), 441 * channels * bits / 8);
        if (bits == 8)
            QCOMPARE(static_cast<uint8_t>(pcm[0]), uint8_t(128)); // unsigned silence
        else
            QCOMPARE(pcm[0], char(0));
        // 440 Hz at 44100 Hz: the wave repeats every 100.227 samples; 441 samples later it is back near zero.
        const QByteArray later = SineAudioSource::render(f, 440.0, 44100, 1);
        QCOMPARE(later.left(bits / 8), pcm.left(bits / 8));
    }
};

QTEST_GUILESS_MAIN(TestTestPattern)
#include "tst_testpattern.moc"
