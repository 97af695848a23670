#include "apptestenv.h"

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/videoscreen.h"
#include "base/scripteddialogs.h"
#include "mainwindowparts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using lv::test::part;

using namespace lv;

namespace {

// What a user sees of a set-up: every control the parameters file carries.
QStringList controlState(MainWindow& m, const CaptureModel& s)
{
    QStringList out;
    auto pressed = [&](KeyedToolBar* tb, const char* key) {
        out << QStringLiteral("%1.%2=%3").arg(tb->objectName(), QLatin1String(key)).arg(tb->isPressed(QString::fromLatin1(key)));
    };
    out << QStringLiteral("band=") + m.visibleBand() << QStringLiteral("file=") + s.fileName()
        << QStringLiteral("preview=%1").arg(m.previewrate->currentIndex())
        << QStringLiteral("autostart=%1:%2:%3").arg(s.settings().Hours).arg(s.settings().Minutes).arg(s.settings().Seconds);
    const QString band = m.visibleBand();
    if (band == QLatin1String("movie")) {
        pressed(part<lv::KeyedToolBar>(m, "MovieToolbar"), "audio");
        pressed(part<lv::KeyedToolBar>(m, "MovieToolbar"), "writeinfo");
        out << QStringLiteral("audio=%1/%2/%3").arg(part<QComboBox>(m, "AudioChannels")->currentIndex()).arg(part<QComboBox>(m, "AudioBits")->currentIndex()).arg(part<QComboBox>(m, "AudioRate")->currentIndex())
            << QStringLiteral("rate=%1 %2").arg(s.settings().FrameRate).arg(part<lv::ClickLabel>(m, "MovieFrameRateDisplay")->text())
            << QStringLiteral("nolimit=%1").arg(part<QCheckBox>(m, "MovieDisableLimit")->isChecked())
            << QStringLiteral("duration=%1:%2:%3").arg(part<QSpinBox>(m, "MovieHoursControl")->value()).arg(part<QSpinBox>(m, "MovieMinutesControl")->value()).arg(part<QSpinBox>(m, "MovieSecondsControl")->value())
            << QStringLiteral("yield=%1 drop=%2 cache=%3").arg(s.captureParms().fYield).arg(s.captureParms().wPercentDropForError).arg(s.captureParms().fDisableWriteCache);
        for (const QString& f : s.infoFields())
            out << QStringLiteral("info=") + f;
    } else {
        const bool series = band == QLatin1String("multiple");
        KeyedToolBar* tb = series ? part<lv::KeyedToolBar>(m, "MultipleImageToolbar2") : part<lv::KeyedToolBar>(m, "ImageToolbar");
        pressed(tb, "time");
        pressed(tb, "date");
        pressed(tb, "text");
        out << QStringLiteral("colours=%1/%2/%3").arg(s.settings().TimeColor).arg(s.settings().DateColor).arg(s.settings().TextColor)
            << QStringLiteral("positions=%1/%2/%3")
                   .arg((series ? part<QComboBox>(m, "MultipleImageTimePosition") : part<QComboBox>(m, "ImageTimePosition"))->currentIndex())
                   .arg((series ? part<QComboBox>(m, "MultipleImageDatePosition") : part<QComboBox>(m, "ImageDatePosition"))->currentIndex())
                   .arg((series ? part<QComboBox>(m, "MultipleImageTextPosition") : part<QComboBox>(m, "ImageTextPosition"))->currentIndex())
            << QStringLiteral("text=") + (series ? part<QLineEdit>(m, "MultipleImageText") : part<QLineEdit>(m, "ImageText"))->text();
        if (series) {
            pressed(part<lv::KeyedToolBar>(m, "MultipleImageToolbar"), "writeinfo");
            pressed(part<lv::KeyedToolBar>(m, "MultipleImageToolbar"), "ftp");
            pressed(part<lv::KeyedToolBar>(m, "TriggerType"), "manual");
            pressed(part<lv::KeyedToolBar>(m, "TriggerType"), "timer");
            pressed(part<lv::KeyedToolBar>(m, "TriggerType"), "motion");
            out << QStringLiteral("type=%1 avirate=%2").arg(part<QComboBox>(m, "MultipleImageMode")->currentIndex()).arg(part<QComboBox>(m, "MultipleImageFrameRate")->currentIndex())
                << QStringLiteral("interval=%1:%2:%3").arg(part<QSpinBox>(m, "MultipleImageHoursControl")->value()).arg(part<QSpinBox>(m, "MultipleImageMinutesControl")->value()).arg(part<QSpinBox>(m, "MultipleImageSecondsControl")->value())
                << QStringLiteral("shoot=%1 motionlabel=%2").arg(part<QPushButton>(m, "Shooter")->isHidden()).arg(part<QLabel>(m, "MotionLabel")->isHidden())
                << QStringLiteral("ftp=%1 %2 %3 %4 %5").arg(s.settings().URL).arg(s.settings().Port).arg(s.settings().Username, s.settings().Password, s.settings().Directory);
        }
    }
    return out;
}

void setUpMovie(MainWindow& m, CaptureModel& s)
{
    m.SelectMovieMode();
    m.SetAudioCapture(true);
    part<QComboBox>(m, "AudioChannels")->setCurrentIndex(1);
    part<QComboBox>(m, "AudioBits")->setCurrentIndex(1);
    part<QComboBox>(m, "AudioRate")->setCurrentIndex(3);
    m.moviePanel().setFrameRate2997();
    part<QCheckBox>(m, "MovieDisableLimit")->setChecked(true);
    part<QSpinBox>(m, "MovieHoursControl")->setValue(1);
    part<QSpinBox>(m, "MovieMinutesControl")->setValue(2);
    part<QSpinBox>(m, "MovieSecondsControl")->setValue(3);
    part<lv::KeyedToolBar>(m, "MovieToolbar")->setPressed(QStringLiteral("writeinfo"), false);
    s.setInfoFields({QStringLiteral("(c) 2026"), QStringLiteral("Ann"), QStringLiteral("Birds"),
                       QStringLiteral("Garden"), QStringLiteral("Cam 1"), QStringLiteral("early")});
    s.captureParms().fYield = 0;
    s.captureParms().wPercentDropForError = 7;
    s.captureParms().fDisableWriteCache = 1;
}

void setUpImage(MainWindow& m, CaptureModel& s)
{
    m.SelectImageMode();
    part<lv::KeyedToolBar>(m, "ImageToolbar")->setPressed(QStringLiteral("time"), true);
    part<lv::KeyedToolBar>(m, "ImageToolbar")->setPressed(QStringLiteral("date"), false);
    part<lv::KeyedToolBar>(m, "ImageToolbar")->setPressed(QStringLiteral("text"), true);
    s.edit([&](lv::CaptureSettings& c) { c.TimeColor = 255; });
    s.edit([&](lv::CaptureSettings& c) { c.DateColor = 65280; });
    s.edit([&](lv::CaptureSettings& c) { c.TextColor = 16711680; });
    part<QComboBox>(m, "ImageTimePosition")->setCurrentIndex(4);
    part<QComboBox>(m, "ImageDatePosition")->setCurrentIndex(2);
    part<QComboBox>(m, "ImageTextPosition")->setCurrentIndex(5);
    part<QLineEdit>(m, "ImageText")->setText(QStringLiteral("Cam &FRM& at &TIME"));
}

void setUpSeries(MainWindow& m, CaptureModel& s)
{
    m.SelectMultipleMode();
    part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(2);
    part<QComboBox>(m, "MultipleImageFrameRate")->setCurrentIndex(24);
    part<lv::KeyedToolBar>(m, "MultipleImageToolbar2")->setPressed(QStringLiteral("time"), false);
    part<lv::KeyedToolBar>(m, "MultipleImageToolbar2")->setPressed(QStringLiteral("date"), true);
    part<lv::KeyedToolBar>(m, "MultipleImageToolbar2")->setPressed(QStringLiteral("text"), true);
    part<QComboBox>(m, "MultipleImageTextPosition")->setCurrentIndex(3);
    part<QLineEdit>(m, "MultipleImageText")->setText(QStringLiteral("series &DATE"));
    m.seriesPanel().setTrigger(lv::TriggerKind::Timer);
    part<QSpinBox>(m, "MultipleImageMinutesControl")->setValue(5);
    part<QSpinBox>(m, "MultipleImageSecondsControl")->setValue(30);
    part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->setPressed(QStringLiteral("ftp"), true);
    s.edit([&](lv::CaptureSettings& c) { c.URL = QStringLiteral("ftp.example.net"); });
    s.edit([&](lv::CaptureSettings& c) { c.Port = 2121; });
    s.edit([&](lv::CaptureSettings& c) { c.Username = QStringLiteral("cam"); });
    s.edit([&](lv::CaptureSettings& c) { c.Password = QStringLiteral("secret"); });
    s.edit([&](lv::CaptureSettings& c) { c.Directory = QStringLiteral("/shots"); });
}

} // namespace

class TestParameters : public QObject {
    Q_OBJECT

private slots:
    void roundTripThroughTheWindow_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("movie") << 0;
        QTest::newRow("single image") << 1;
        QTest::newRow("multiple image") << 2;
    }
    void roundTripThroughTheWindow()
    {
        QFETCH(int, mode);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        const QString file = env.dir("setups") + QStringLiteral("/setup.lvp");
        QStringList written;
        {
            Application app;
            QVERIFY(app.start());
            MainWindow& m = app.showMain({});
            m.MasterTimer.stop();
            app.model().setFileName(env.dir("movies") + QStringLiteral("/garden.avi"));
            if (mode == 0)
                setUpMovie(m, app.model());
            else if (mode == 1)
                setUpImage(m, app.model());
            else
                setUpSeries(m, app.model());
            written = controlState(m, app.model());
            dlg.d.fileAnswers.enqueue(file);
            m.action(Command::Save)->trigger(); // Save Capture File...
            QCOMPARE(dlg.d.requests.last().text, QStringLiteral("Save Capture Parameters"));
            QVERIFY(dlg.d.requests.last().initial.endsWith(QStringLiteral(".lvp")));
            dlg.d.answers.enqueue(Dialogs::Answer::Yes);
            QVERIFY(m.close());
        }
        QVERIFY(QFileInfo::exists(file));
        // A fresh program directory: nothing of the first session is left but the file.
        AppTestEnv other;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        dlg.d.fileAnswers.enqueue(file);
        m.action(Command::Open)->trigger(); // Open Capture File...
        QCOMPARE(controlState(m, app.model()), written);
    }

    void deviceFileKeepsTheViewAndFileNameAcrossReconnects()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        m.action(Command::Preview)->trigger(); // preview
        app.model().setFileName(env.dir("m") + QStringLiteral("/kept.avi"));
        app.model().captureParms().wPercentDropForError = 33; // advanced: not in the device file
        m.DeviceMenuCommand(0, QStringLiteral("vfw"));
        QCOMPARE(app.model().fileName(), env.dir("m") + QStringLiteral("/kept.avi"));
        QVERIFY(m.DeviceToolbar->isPressed(QStringLiteral("preview")));
        QCOMPARE(app.model().captureParms().dwIndexSize, 324000u);
        const QByteArray device = [&] {
            QFile f(app.model().programDirectory() + QStringLiteral("lvsr.lv3"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QVERIFY(device.contains("View Mode=Preview\r\n"));
        QVERIFY(!device.contains("Advanced Settings"));
    }

    void lastSessionRestoresTheMode()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        {
            Application app;
            QVERIFY(app.start());
            MainWindow& m = app.showMain({});
            setUpSeries(m, app.model());
            dlg.d.answers.enqueue(Dialogs::Answer::Yes);
            QVERIFY(m.close());
        }
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QCOMPARE(m.visibleBand(), QStringLiteral("multiple"));
        QVERIFY(part<lv::KeyedToolBar>(m, "TriggerType")->isPressed(QStringLiteral("timer")));
        QCOMPARE(part<QSpinBox>(m, "MultipleImageMinutesControl")->value(), 5);
        QCOMPARE(app.model().settings().Password, QStringLiteral("secret"));
        // The last-session file holds a password, so only its owner may read it.
        const QFileDevice::Permissions p = QFile::permissions(app.model().programDirectory() + QStringLiteral("lvsr.lv2"));
        QVERIFY(!(p & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
    }

    // A NUL in a file name would let the system open another file than the
    // one the overwrite question was about.
    void nulInTheFileNameReplacesNothing()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const QString victim = env.dir("v") + QStringLiteral("/victim");
        {
            QFile f(victim);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        const QString lvp = env.dir("p") + QStringLiteral("/nul.lvp");
        {
            QFile f(lvp);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Capture=Movie\r\nFilename=" + QFile::encodeName(victim) + QByteArray("\0.avi\r\n", 7));
        }
        m.readParameters(lvp);
        QVERIFY2(part<QLabel>(m, "StatusString")->text().startsWith(QStringLiteral("Ignored Filename in ") + lvp),
                 qPrintable(part<QLabel>(m, "StatusString")->text()));
        QVERIFY(!app.model().fileName().contains(QChar(0)));
        QVERIFY(!app.model().fileName().startsWith(victim));

        // Should such a name come from elsewhere, the writer refuses it too.
        m.MasterTimer.stop();
        m.SelectMovieMode();
        app.model().setFileName(victim + QChar(0) + QStringLiteral(".avi"));
        m.RecordButtonClicked();
        QVERIFY2(part<QLabel>(m, "StatusString")->text().startsWith(QStringLiteral("Cannot record ")), qPrintable(part<QLabel>(m, "StatusString")->text()));
        QCOMPARE(m.OperationBar->imageKey(QStringLiteral("record")), QStringLiteral("record"));
        QFile f(victim);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
    }

    void openingAPictureOpensTheEditor()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const QString bad = env.dir("p") + QStringLiteral("/not a picture.bmp");
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is text");
        f.close();
        const int before = int(m.mdiArea()->subWindowList().size());
        dlg.d.fileAnswers.enqueue(bad);
        m.MainToolbar->button(QStringLiteral("open"))->trigger();
        QCOMPARE(dlg.d.messages().last(), QStringLiteral("Bad file format."));
        // The message is all: no empty editor opens after it.
        QCOMPARE(int(m.mdiArea()->subWindowList().size()), before);
    }
};

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
