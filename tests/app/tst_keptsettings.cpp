#include "apptestenv.h"
#include "modaldriver.h"

#include "app/application.h"
#include "app/fullscreen.h"
#include "app/mainwindow.h"
#include "app/videoscreen.h"
#include "base/scripteddialogs.h"
#include "capture/ui/liveview.h"
#include "capture/testpatterndriver.h"
#include "mainwindowparts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

using lv::test::part;

using namespace lv;

namespace {

TestPatternDriver* pattern(const Application& app)
{
    LiveView* w = app.master()->videoScreen()->captureWindow();
    return w ? dynamic_cast<TestPatternDriver*>(w->driver()) : nullptr;
}

// What a user sets through the device's dialogs and the movie panel.
void setEverything(MainWindow& m)
{
    onNextModal([](QDialog* d) {
        auto* size = d->findChild<QComboBox*>(QStringLiteral("size"));
        size->setCurrentIndex(size->findData(QSize(1280, 720)));
        d->findChild<QSpinBox*>(QStringLiteral("rate"))->setValue(25);
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("format"))->trigger();
    onNextModal([](QDialog* d) {
        d->findChild<QSlider*>(QStringLiteral("brightness"))->setValue(40);
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("source"))->trigger();
    onNextModal([](QDialog* d) {
        d->findChild<QCheckBox*>(QStringLiteral("scale"))->setChecked(true);
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("display"))->trigger();

    onNextModal([](QDialog* d) {
        d->findChild<QComboBox*>(QStringLiteral("DroppedFrames"))->setCurrentIndex(25);
        d->findChild<QLineEdit*>(QStringLiteral("VideoBuffers"))->setText(QStringLiteral("12"));
        d->findChild<QLineEdit*>(QStringLiteral("MaxIndexSize"))->setText(QStringLiteral("5000"));
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("advanced"))->trigger();

    m.SelectMovieMode();
    part<QSpinBox>(m, "MovieSecondsControl")->setValue(30);
    part<QSpinBox>(m, "MovieFrameRateControl")->setValue(20);
    part<QComboBox>(m, "AudioRate")->setCurrentIndex(3);     // 44100 Hz
    part<QComboBox>(m, "AudioChannels")->setCurrentIndex(1); // Stereo
    part<QComboBox>(m, "AudioBits")->setCurrentIndex(1);     // 16 bit
}

// Leaves full screen with Escape, noting the picture it showed and where.
void leaveFullScreen(QSize* picture, bool* wholeOnScreen)
{
    QTimer::singleShot(300, [=] {
        auto* full = qobject_cast<Fullscreen*>(QApplication::activeModalWidget());
        if (!full)
            return;
        if (LiveView* w = full->captureWindow()) {
            CaptureStatus st;
            w->GetStatus(st);
            *picture = QSize(int(st.uiImageWidth), int(st.uiImageHeight));
            *wholeOnScreen = full->rect().contains(w->geometry());
        }
        QTest::keyClick(full->findChild<QLineEdit*>(QStringLiteral("Keyy")), Qt::Key_Escape);
    });
}

} // namespace

class TestKeptSettings : public QObject {
    Q_OBJECT

private slots:
    void userSettingsSurvive_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("how");
        for (const char* mode : {"movie", "image", "multiple"})
            for (const char* how : {"fullscreen", "reconnect", "restart"})
                QTest::addRow("%s mode, %s", mode, how) << QString::fromLatin1(mode) << QString::fromLatin1(how);
    }

    void userSettingsSurvive()
    {
        QFETCH(QString, mode);
        QFETCH(QString, how);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        auto app = std::make_unique<Application>();
        QVERIFY(app->start());
        MainWindow* m = &app->showMain({});
        setEverything(*m);
        QCOMPARE(pattern(*app)->settings().size, QSize(1280, 720));
        if (mode == QLatin1String("image"))
            m->SelectImageMode();
        else if (mode == QLatin1String("multiple"))
            m->SelectMultipleMode();

        if (how == QLatin1String("fullscreen")) {
            QSize picture;
            bool whole = false;
            leaveFullScreen(&picture, &whole);
            m->DeviceToolbar->button(QStringLiteral("fullscreen"))->trigger();
            // Full screen itself shows the device as the user set it, and all of it.
            QCOMPARE(picture, QSize(1280, 720));
            QVERIFY(whole);
        } else if (how == QLatin1String("reconnect")) {
            m->DeviceMenuCommand(0, QStringLiteral("vfw"));
        } else {
            m->close(); // the scripted quit question answers Yes
            QVERIFY(!m->isVisible());
            app.reset();
            app = std::make_unique<Application>();
            QVERIFY(app->start());
            m = &app->showMain({});
        }

        QVERIFY(pattern(*app));
        const TestPatternSettings s = pattern(*app)->settings();
        QCOMPARE(s.size, QSize(1280, 720));
        QCOMPARE(s.rate, 25);
        QCOMPARE(s.brightness, 40);
        CaptureStatus st;
        QVERIFY(app->master()->videoScreen()->captureWindow()->GetStatus(st));
        QCOMPARE(st.fScale, 1u);
        QCOMPARE(m->panelText(QStringLiteral("resolution")), QStringLiteral(" Resolution:1280x720 "));
        QCOMPARE(m->visibleBand(), mode);
        QCOMPARE(part<QSpinBox>(m, "MovieSecondsControl")->value(), 30);
        QCOMPARE(part<QSpinBox>(m, "MovieFrameRateControl")->value(), 20);
        QCOMPARE(part<QComboBox>(m, "AudioRate")->currentText(), QStringLiteral("44100 Hz"));
        QCOMPARE(part<QComboBox>(m, "AudioChannels")->currentText(), QStringLiteral("Stereo"));
        QCOMPARE(part<QComboBox>(m, "AudioBits")->currentText(), QStringLiteral("16 bit"));
        const CaptureParms& p = app->model().captureParms();
        QCOMPARE(p.wPercentDropForError, 25u);
        QCOMPARE(p.wNumVideoRequested, 12u);
        QCOMPARE(p.dwIndexSize, 5000u);
    }

    void testPatternSettingsGoFromOneConnectToTheNext()
    {
        TestPatternDriver a;
        QVERIFY(a.open());
        TestPatternSettings s = a.settings();
        s.size = QSize(640, 480);
        s.brightness = -30;
        s.still = true;
        a.setSettings(s);
        TestPatternDriver b;
        QVERIFY(b.open());
        b.applyKeptSettings(a.keptSettings());
        QCOMPARE(b.settings().size, QSize(640, 480));
        QCOMPARE(b.settings().brightness, -30);
        QVERIFY(b.settings().still);
        // Values the device does not offer are left alone.
        TestPatternDriver c;
        c.applyKeptSettings({{QStringLiteral("width"), QStringLiteral("999")},
                             {QStringLiteral("height"), QStringLiteral("1")},
                             {QStringLiteral("brightness"), QStringLiteral("bright")}});
        QCOMPARE(c.settings().size, QSize(320, 240));
        QCOMPARE(c.settings().brightness, 0);
    }
};

QTEST_MAIN(TestKeptSettings)
#include "tst_keptsettings.moc"
