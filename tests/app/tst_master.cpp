#include "apptestenv.h"
#include "tst_capturerig.h"

#include "app/application.h"
#include "app/fullscreen.h"
#include "app/mainwindow.h"
#include "app/videoscreen.h"
#include "base/scripteddialogs.h"
#include "base/settingsstore.h"
#include "capture/ui/liveview.h"
#include "capture/drivercatalogue.h"
#include "movie/avirepair.h"
#include "movie/aviwriter.h"
#include "mainwindowparts.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using lv::test::part;

using namespace lv;

namespace {

class RateDriver final : public CaptureDriver {
public:
    explicit RateDriver(bool opens) : m_opens(opens) {}
    QString name() const override { return QStringLiteral("Rate Zero"); }
    QString version() const override { return QStringLiteral("0"); }
    bool open() override { return m_opens; }
    void close() override {}
    QSize frameSize() const override { return {160, 120}; }
    double frameRate() const override { return 0; }
    bool hasOverlay() const override { return false; }
    bool hasSourceDialog() const override { return false; }
    bool hasFormatDialog() const override { return false; }
    bool showSourceDialog(QWidget*) override { return false; }
    bool showFormatDialog(QWidget*) override { return false; }
    bool start(FrameSink, ErrorSink) override { return true; }
    void stop() override {}

private:
    bool m_opens;
};

class OneDriver final : public DriverCatalogue {
public:
    explicit OneDriver(bool opens) : m_opens(opens) {}
    bool describe(int index, QString* name, QString* version) const override
    {
        if (index != 0)
            return false;
        if (name)
            *name = QStringLiteral("Rate Zero");
        if (version)
            *version = QStringLiteral("0");
        return true;
    }
    std::unique_ptr<CaptureDriver> create(int index) const override
    {
        return index == 0 ? std::make_unique<RateDriver>(m_opens) : nullptr;
    }

private:
    bool m_opens;
};

QStringList deviceMenuTexts(MainWindow& m)
{
    QStringList out;
    for (QAction* a : part<QMenu>(m, "DeviceMenu")->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// Changes a toolbar button the way `how` names: a screen reader's "toggle" or
// "press" action, a "click", "button setChecked" / "button unchecked" on the
// widget, or "action setChecked" on its action. False when it cannot.
bool changeButton(KeyedToolBar* tb, const QString& key, const QString& how)
{
    auto* button = qobject_cast<QToolButton*>(tb->widgetForAction(tb->button(key)));
    if (!button)
        return false;
    if (how == QLatin1String("toggle") || how == QLatin1String("press")) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
        if (!iface || !iface->actionInterface())
            return false;
        iface->actionInterface()->doAction(how == QLatin1String("toggle") ? QAccessibleActionInterface::toggleAction()
                                                                         : QAccessibleActionInterface::pressAction());
    } else if (how == QLatin1String("click")) {
        QTest::mouseClick(button, Qt::LeftButton);
    } else if (how == QLatin1String("button setChecked")) {
        button->setChecked(true);
    } else if (how == QLatin1String("button unchecked")) {
        button->setChecked(false);
    } else {
        tb->button(key)->setChecked(true);
    }
    return true;
}

} // namespace

class TestMaster : public QObject {
    Q_OBJECT

private slots:
    void startupShowsLivePicture()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QCOMPARE(m.windowTitle(), QStringLiteral("Video Lumivark 2000 Version 3.80"));
        QCOMPARE(m.previewrate->count(), 40);
        QCOMPARE(m.previewrate->itemText(0), QStringLiteral("01 FPS"));
        QCOMPARE(m.previewrate->currentText(), QStringLiteral("10 FPS"));
        QCOMPARE(part<QComboBox>(m, "MultipleImageFrameRate")->count(), 30);
        QCOMPARE(part<QComboBox>(m, "MultipleImageFrameRate")->currentText(), QStringLiteral(" 11 FPS"));
        QCOMPARE(m.panelText(QStringLiteral("resolution")), QStringLiteral(" Resolution:320x240 "));
        QCOMPARE(m.videoScreen()->windowTitle(), QStringLiteral("Lumivark Test Pattern"));
        QCOMPARE(m.videoScreen()->ConnectionTag, QStringLiteral("vfw"));
        QCOMPARE(m.visibleBand(), QStringLiteral("movie"));
        QCOMPARE(m.OperationBar->imageKey(QStringLiteral("record")), QStringLiteral("record"));
        QVERIFY(!m.MasterBar->isHidden());
        QVERIFY(part<lv::KeyedToolBar>(m, "TriggerType")->isPressed(QStringLiteral("manual")));
        QCOMPARE(deviceMenuTexts(m), (QStringList{QStringLiteral("Lumivark Test Pattern"), QStringLiteral("-"),
                                                 QStringLiteral("Video Device Information..."),
                                                 QStringLiteral("Disconnect driver to unplug external device")}));
        // The housekeeping timer fills the status bar.
        QTRY_VERIFY(m.panelText(QStringLiteral("diskcap")).startsWith(QStringLiteral("Free Space : ")));
        QTRY_COMPARE(m.panelText(QStringLiteral("filename")),
                     QStringLiteral("Filename: ") + app.model().fileName());
        // Frames really arrive.
        QTRY_VERIFY(m.videoScreen()->captureWindow()->latestFrame() != nullptr);
        QVERIFY(dlg.d.messages().isEmpty());
    }

    // The idle panels are worked out when the file name changes, not on every
    // tick of the housekeeping timer.
    void panelsFollowTheFileName()
    {
        AppTestEnv env;
        captest::ScopedTmpfs fs(QStringLiteral("size=8m"));
        if (!fs.mounted())
            QSKIP("cannot mount a tmpfs here");
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const QString first = fs.path(QStringLiteral("first.avi"));
        app.model().setFileName(first);
        QTRY_COMPARE(m.panelText(QStringLiteral("filename")), QStringLiteral("Filename: ") + first);
        QTRY_COMPARE(m.panelText(QStringLiteral("diskcap")), QStringLiteral("Free Space : 8 Mb"));

        // Another program fills the disk; the same name keeps its panels.
        {
            QFile filler(fs.path(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            QVERIFY(filler.write(QByteArray(5 * 1048576, 'x')) == 5 * 1048576);
        }
        QTest::qWait(1000);
        QCOMPARE(m.panelText(QStringLiteral("diskcap")), QStringLiteral("Free Space : 8 Mb"));

        // A new name brings the panels up to date at once.
        const QString second = fs.path(QStringLiteral("second.avi"));
        app.model().setFileName(second);
        QTRY_COMPARE_WITH_TIMEOUT(m.panelText(QStringLiteral("filename")), QStringLiteral("Filename: ") + second, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(m.panelText(QStringLiteral("diskcap")), QStringLiteral("Free Space : 3 Mb"), 1000);
    }

    // A recording a crash left unfinished is mended at the next start, and
    // the status line says so.
    void startMendsAnUnfinishedRecording()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        const QString movie = env.dir("v") + QStringLiteral("/cut.avi");
        {
            AviWriter w;
            AviWriter::Setup ws;
            ws.fileName = movie;
            ws.frameSize = QSize(64, 48);
            QVERIFY(w.open(ws));
            QImage picture(64, 48, QImage::Format_RGB888);
            for (int i = 0; i < 30; ++i) {
                picture.fill(QColor(i * 8, 0, 0));
                QVERIFY(w.writeVideo(picture, {}, i));
            }
            QVERIFY(w.close());
        }
        // What a crash leaves: no index, sizes past the end of the file.
        QFile f(movie);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() * 2 / 3));
        f.close();
        AviRepair::markUnfinished(movie);
        QCOMPARE(AviRepair::inspect(movie), AviRepair::State::Unfinished);

        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QVERIFY2(part<QLabel>(m, "StatusString")->text().startsWith(QStringLiteral("Repaired the unfinished recording ") + movie),
                 qPrintable(part<QLabel>(m, "StatusString")->text()));
        QCOMPARE(AviRepair::inspect(movie), AviRepair::State::Finished);
        const QJsonObject v = captest::probeStream(movie, QStringLiteral("video"));
        const int packets = captest::probeInt(v, "nb_read_packets");
        QVERIFY2(packets > 10 && packets < 30, qPrintable(QString::number(packets)));
    }

    void secondInstanceIsRefused()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application first;
        QVERIFY(first.start());
        Application second;
        QVERIFY(!second.start());
        QCOMPARE(dlg.d.messages(), QStringList{QStringLiteral("This application is already running...")});
        QCOMPARE(dlg.d.requests.first().icon, Dialogs::Icon::Information);
    }

    void settingsStoreValuesAtStart()
    {
        AppTestEnv env;
        settings::save(QStringLiteral("LV"), QStringLiteral("MD"), QStringLiteral("SENSE"), QStringLiteral("abc"));
        settings::save(QStringLiteral("LV"), QStringLiteral("JPEG"), QStringLiteral("Compression"), QStringLiteral("87.6"));
        Application app;
        QVERIFY(app.start());
        QCOMPARE(app.model().preferences().MotionSensitivity, int16_t(0));
        QCOMPARE(app.model().preferences().JpegQuality, 88);
        QCOMPARE(app.model().preferences().SystemSounds, QStringLiteral("1"));
        QCOMPARE(app.model().preferences().PopUpMovieViewer, QString());
        QVERIFY(app.model().programDirectory().endsWith(QLatin1Char('/')));
    }

    void quitQuestion()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const QString lastSession = app.model().programDirectory() + QStringLiteral("lvsr.lv2");
        const QString deviceFile = app.model().programDirectory() + QStringLiteral("lvsr.lv3");
        QFile::remove(deviceFile);
        dlg.d.answers.enqueue(Dialogs::Answer::No);
        QVERIFY(!m.close());
        QVERIFY(QFileInfo::exists(lastSession));
        QVERIFY(m.isVisible());
        QCOMPARE(m.videoScreen()->ConnectionTag, QStringLiteral("vfw"));
        QCOMPARE(dlg.d.messages().last(), QStringLiteral("Are you sure you want to quit ?"));
        QCOMPARE(dlg.d.requests.last().buttons, Dialogs::Buttons::YesNo);

        dlg.d.answers.enqueue(Dialogs::Answer::Yes);
        QVERIFY(m.close());
        QVERIFY(QFileInfo::exists(deviceFile));
        QCOMPARE(m.videoScreen()->ConnectionTag, QString());
        QVERIFY(app.master()->videoScreen()->captureWindow() == nullptr);
    }

    void commandLineFile()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        const QString missing = env.dir("x") + QStringLiteral("/no such file.lvp");
        {
            Application app;
            QVERIFY(app.start());
            app.showMain(missing);
            QCOMPARE(dlg.d.messages(), QStringList{QStringLiteral("Cannot open ") + missing});
            QCOMPARE(dlg.d.requests.first().icon, Dialogs::Icon::Warning);
            // Leave a last session in Movie mode behind.
            dlg.d.answers.enqueue(Dialogs::Answer::Yes);
            app.master()->close();
        }
        // A command-line file is read after the last session, so it wins.
        const QString single = env.dir("x") + QStringLiteral("/single.lvp");
        QFile f(single);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("; test\r\nCapture=Single Image\r\nText=from the command line\r\n");
        f.close();
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain(single);
        QCOMPARE(m.visibleBand(), QStringLiteral("image"));
        QCOMPARE(part<QLineEdit>(m, "ImageText")->text(), QStringLiteral("from the command line"));
    }

    void modeSelectionFitsTheFileName_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("panel");
        QTest::newRow("movie") << "movie" << 0 << "/pics/cam.jpg" << "/pics/cam.avi" << "Filename: /pics/cam.avi";
        QTest::newRow("image keeps the name") << "image" << 0 << "/pics/cam.jpg" << "/pics/cam.jpg" << "";
        QTest::newRow("multiple avi") << "multiple" << 0 << "/pics/cam.bmp" << "/pics/cam.avi" << "Filename: /pics/cam.avi";
        QTest::newRow("multiple jpeg") << "multiple" << 2 << "/pics/cam.bmp" << "/pics/cam.jpg" << "Filename: /pics/cam.jpg";
        QTest::newRow("multiple refresh bmp") << "multiple" << 3 << "/pics/cam.jpg" << "/pics/cam.bmp" << "Filename: /pics/cam.bmp";
        QTest::newRow("clipboard keeps the name") << "multiple" << 5 << "/pics/cam.jpg" << "/pics/cam.jpg" << "";
    }
    void modeSelectionFitsTheFileName()
    {
        QFETCH(QString, mode);
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(QString, panel);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        QSignalBlocker block(part<QComboBox>(m, "MultipleImageMode"));
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(type);
        app.model().setFileName(name);
        if (mode == QLatin1String("movie"))
            m.SelectMovieMode();
        else if (mode == QLatin1String("image"))
            m.SelectImageMode();
        else
            m.SelectMultipleMode();
        QCOMPARE(m.visibleBand(), mode);
        QCOMPARE(app.model().fileName(), expected);
        QCOMPARE(m.panelText(QStringLiteral("filename")), panel);
        QCOMPARE(m.MainToolbar->isPressed(mode), true);
        int visible = 0;
        for (QWidget* band : {part<QWidget>(m, "MoviePanel"), part<QWidget>(m, "ImagePanel"), part<QWidget>(m, "MultipleImagePanel")})
            visible += band->isHidden() ? 0 : 1;
        QCOMPARE(visible, 1);
        QCOMPARE(m.OperationBar->imageKey(QStringLiteral("record")),
                 mode == QLatin1String("image") ? QStringLiteral("pause") : QStringLiteral("record"));
    }

    // Mode and trigger buttons act on their state, whatever changed it: a screen
    // reader's toggle or press action, or a program checking the button.
    void togglesActWhateverPressesThem_data()
    {
        QTest::addColumn<QString>("toolbar");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("how");
        const std::pair<const char*, QStringList> groups[] = {
            {"MainToolbar", {QStringLiteral("movie"), QStringLiteral("image"), QStringLiteral("multiple")}},
            {"TriggerType", {QStringLiteral("manual"), QStringLiteral("timer"), QStringLiteral("motion")}}};
        for (const auto& [toolbar, keys] : groups)
            for (const QString& to : keys)
                for (const char* how : {"toggle", "press", "button setChecked", "action setChecked"}) {
                    const QString from = to == keys[0] ? keys[1] : keys[0];
                    QTest::addRow("%s %s by %s", toolbar, qPrintable(to), how)
                        << QString::fromLatin1(toolbar) << from << to << QString::fromLatin1(how);
                }
        // Releasing the pressed button of a group leaves it pressed and changes nothing.
        QTest::newRow("movie released by toggle") << "MainToolbar" << "movie" << "movie" << "toggle";
        QTest::newRow("timer released by toggle") << "TriggerType" << "timer" << "timer" << "toggle";
        QTest::newRow("image released by setChecked") << "MainToolbar" << "image" << "image" << "button unchecked";
    }
    void togglesActWhateverPressesThem()
    {
        QFETCH(QString, toolbar);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, how);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const bool modes = toolbar == QLatin1String("MainToolbar");
        KeyedToolBar* tb = modes ? m.MainToolbar : part<lv::KeyedToolBar>(m, "TriggerType");
        const QStringList keys = modes ? QStringList{QStringLiteral("movie"), QStringLiteral("image"), QStringLiteral("multiple")}
                                       : QStringList{QStringLiteral("manual"), QStringLiteral("timer"), QStringLiteral("motion")};
        // What the program does in each state.
        const auto current = [&]() -> QString {
            if (modes)
                return m.visibleBand();
            const std::optional<TriggerKind> t = m.model().settings().Trigger;
            if (!t)
                return {};
            const QString k = *t == TriggerKind::Timer ? QStringLiteral("timer")
                            : *t == TriggerKind::Motion ? QStringLiteral("motion")
                                                        : QStringLiteral("manual");
            // The panel shows what the trigger needs.
            const bool shown = k == QLatin1String("timer") ? !part<QSpinBox>(m, "MultipleImageSecondsControl")->isHidden()
                             : k == QLatin1String("motion") ? !part<QLabel>(m, "MotionLabel")->isHidden()
                                                            : !part<QPushButton>(m, "Shooter")->isHidden();
            return shown ? k : QStringLiteral("panel out of step");
        };
        if (modes) {
            if (from == QLatin1String("movie"))
                m.SelectMovieMode();
            else
                m.SelectImageMode();
        } else {
            m.SelectMultipleMode();
            m.seriesPanel().setTrigger(lv::test::triggerKind(from));
        }
        QCOMPARE(current(), from);

        QVERIFY(changeButton(tb, to, how));
        QTRY_COMPARE(current(), to);
        for (const QString& k : keys) {
            QCOMPARE(tb->isPressed(k), k == to);
            QCOMPARE(qobject_cast<QToolButton*>(tb->widgetForAction(tb->button(k)))->isChecked(), k == to);
        }
    }

    // The Overlay and Preview buttons switch the view however they are changed,
    // and always end showing what the device shows.
    void viewButtonsActWhateverPressesThem_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("shown");
        for (const char* how : {"click", "toggle", "press", "action setChecked"}) {
            QTest::addRow("overlay by %s", how) << "preview" << "overlay" << how << "overlay";
            QTest::addRow("preview by %s", how) << "overlay" << "preview" << how << "preview";
        }
        // Releasing the pressed one keeps that view.
        QTest::newRow("overlay released by toggle") << "overlay" << "overlay" << "toggle" << "overlay";
        QTest::newRow("preview released by toggle") << "preview" << "preview" << "toggle" << "preview";
    }
    void viewButtonsActWhateverPressesThem()
    {
        QFETCH(QString, from);
        QFETCH(QString, key);
        QFETCH(QString, how);
        QFETCH(QString, shown);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const auto deviceShows = [&]() -> QString {
            CaptureStatus st;
            if (!app.master()->videoScreen()->captureWindow()->GetStatus(st))
                return QStringLiteral("no status");
            return st.fOverlayWindow == 1 ? QStringLiteral("overlay")
                 : st.fLiveWindow == 1    ? QStringLiteral("preview")
                                          : QStringLiteral("neither");
        };
        m.action(from == QLatin1String("overlay") ? Command::Overlay : Command::Preview)->trigger();
        QCOMPARE(deviceShows(), from);

        KeyedToolBar* tb = m.DeviceToolbar;
        QVERIFY(tb->button(key)->isEnabled());
        QVERIFY(changeButton(tb, key, how));
        QTRY_COMPARE(deviceShows(), shown);
        for (const QString& k : {QStringLiteral("overlay"), QStringLiteral("preview")})
            QCOMPARE(tb->isPressed(k), k == shown);
    }

    // Without the mixer program its two items are off and say what to install.
    void mixerItemsSayWhatToInstall_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("pavucontrol missing") << false;
        QTest::newRow("pavucontrol installed") << true;
    }
    void mixerItemsSayWhatToInstall()
    {
        QFETCH(bool, installed);
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        if (installed) {
            QFile f(bin.filePath(QStringLiteral("pavucontrol")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n");
            f.close();
            QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
        }
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        qputenv("PATH", oldPath);
        for (Command c : {Command::RecordingSettings, Command::Volume}) {
            QAction* a = m.action(c);
            QCOMPARE(a->isEnabled(), installed);
            QCOMPARE(a->toolTip().contains(QStringLiteral("pavucontrol")), !installed);
            QCOMPARE(a->statusTip().contains(QStringLiteral("pavucontrol")), !installed);
        }
    }

    // Every button of the window's toolbars has a name a screen reader can say,
    // and the keyboard reaches it.
    void toolbarButtonsHaveNames()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        int buttons = 0;
        for (const KeyedToolBar* tb : m.findChildren<KeyedToolBar*>()) {
            for (QAction* a : tb->actions()) {
                auto* button = qobject_cast<QToolButton*>(tb->widgetForAction(a));
                if (!button)
                    continue;
                ++buttons;
                QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
                QVERIFY(iface);
                QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(),
                         qPrintable(tb->objectName() + QLatin1Char('/') + a->objectName()));
                QVERIFY2(button->focusPolicy() & Qt::TabFocus,
                         qPrintable(tb->objectName() + QLatin1Char('/') + a->objectName()));
            }
        }
        QVERIFY(buttons > 0);
    }

    // Which series buttons each file type offers, also after the program has run a
    // while (its timers and the settings model must not switch any back on).
    void seriesToolbarPerFileType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("enabled");
        const QStringList avi{QStringLiteral("filename"), QStringLiteral("writeinfo"), QStringLiteral("otherinfo"),
                              QStringLiteral("vidcompression")};
        const QStringList files{QStringLiteral("filename"), QStringLiteral("netset"), QStringLiteral("ftp"),
                                QStringLiteral("effects")};
        QTest::newRow("0 movie file") << 0 << avi;
        QTest::newRow("1 bitmaps") << 1 << files;
        QTest::newRow("2 jpegs") << 2 << files;
        QTest::newRow("3 same bitmap") << 3 << files;
        QTest::newRow("4 same jpeg") << 4 << files;
        QTest::newRow("5 clipboard") << 5 << QStringList{QStringLiteral("effects")};
    }
    void seriesToolbarPerFileType()
    {
        QFETCH(int, type);
        QFETCH(QStringList, enabled);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.SelectMultipleMode();
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(type == 0 ? 1 : 0);
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(type);
        QTest::qWait(300);
        for (const char* key : {"filename", "writeinfo", "otherinfo", "vidcompression", "netset", "ftp", "effects"})
            QVERIFY2(part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->button(QString::fromLatin1(key))->isEnabled()
                         == enabled.contains(QString::fromLatin1(key)),
                     key);
        // The movie band's button does not depend on the series type.
        QVERIFY(part<lv::KeyedToolBar>(m, "MovieToolbar")->button(QStringLiteral("otherinfo"))->isEnabled());
        // Only a movie file has a frame rate, also after a series has run.
        QCOMPARE(part<QComboBox>(m, "MultipleImageFrameRate")->isEnabled(), type == 0);
        if (type >= 1 && type <= 4) {
            m.RecordButtonClicked(); // start
            QTRY_VERIFY(m.model().runningIn(CaptureKind::MultipleImage));
            m.RecordButtonClicked(); // stop
            QCOMPARE(part<QComboBox>(m, "MultipleImageFrameRate")->isEnabled(), false);
        }
    }

    // The housekeeping timer shows the file name in every mode, also after a mode
    // that blanks it was chosen.
    void filenamePanelPerMode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("type");
        QTest::newRow("movie") << "movie" << 0;
        QTest::newRow("image") << "image" << 0;
        for (int type = 0; type <= 5; ++type)
            QTest::addRow("multiple %d", type) << "multiple" << type;
    }
    void filenamePanelPerMode()
    {
        QFETCH(QString, mode);
        QFETCH(int, type);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QTRY_VERIFY(!m.panelText(QStringLiteral("filename")).isEmpty());
        QTest::qWait(300); // the timer has seen this name
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(type);
        if (mode == QLatin1String("movie"))
            m.SelectMovieMode();
        else if (mode == QLatin1String("image"))
            m.SelectImageMode();
        else
            m.SelectMultipleMode();
        QTRY_COMPARE_WITH_TIMEOUT(m.panelText(QStringLiteral("filename")),
                                  QStringLiteral("Filename: ") + app.model().fileName(), 1000);
    }

    // Window > Arrange Icons lines the minimised windows up along the bottom of the
    // area, side by side, and leaves the open ones where they are.
    void arrangeIconsLinesUpMinimisedWindows()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QMdiArea* area = m.mdiArea();
        QList<QMdiSubWindow*> open, minimised;
        for (int i = 0; i < 5; ++i) {
            auto* w = new QWidget;
            w->setWindowTitle(QStringLiteral("child %1").arg(i));
            QMdiSubWindow* sub = area->addSubWindow(w);
            sub->setGeometry(20 + 30 * i, 10 + 20 * i, 200, 150);
            sub->show();
            (i % 2 ? minimised : open) << sub;
        }
        for (QMdiSubWindow* sub : std::as_const(minimised)) {
            sub->showMinimized();
            sub->move(120, 40); // anywhere, as a user may have dragged it
        }
        QTRY_VERIFY(minimised.last()->isMinimized());
        QList<QRect> before;
        for (QMdiSubWindow* sub : std::as_const(open))
            before << sub->geometry();
        const QRect openVideo = m.videoScreen()->parentWidget()->geometry();

        m.action(Command::Arrange)->trigger();

        for (int i = 0; i < open.size(); ++i)
            QCOMPARE(open[i]->geometry(), before[i]);
        QCOMPARE(m.videoScreen()->parentWidget()->geometry(), openVideo);
        const int bottom = area->viewport()->height();
        int x = 0;
        for (QMdiSubWindow* sub : std::as_const(minimised)) {
            QVERIFY(sub->isMinimized());
            QCOMPARE(sub->geometry().bottom() + 1, bottom);
            QCOMPARE(sub->x(), x);
            x += sub->width();
        }
        QVERIFY(x <= area->viewport()->width());
    }

    void seriesFileTypeChanges()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        m.SelectMultipleMode();
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(1);
        app.model().setFileName(QStringLiteral("/pics/cam.bmp"));
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(2);
        QCOMPARE(app.model().fileName(), QStringLiteral("/pics/cam.JPG"));
        QCOMPARE(m.panelText(QStringLiteral("filename")), QStringLiteral("Filename: /pics/cam.JPG"));
        QVERIFY(part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->button(QStringLiteral("ftp"))->isEnabled());
        QVERIFY(!part<QComboBox>(m, "MultipleImageFrameRate")->isEnabled());
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(5);
        QVERIFY(!part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->button(QStringLiteral("filename"))->isEnabled());
        QVERIFY(!part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->button(QStringLiteral("netset"))->isEnabled());
        QVERIFY(!part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->button(QStringLiteral("ftp"))->isEnabled());
        QCOMPARE(m.panelText(QStringLiteral("filename")), QString());
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(0);
        QVERIFY(part<QComboBox>(m, "MultipleImageFrameRate")->isEnabled());
        QVERIFY(!part<lv::KeyedToolBar>(m, "MultipleImageToolbar2")->isEnabled());
        QCOMPARE(part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->imageKey(QStringLiteral("filename")), QStringLiteral("filename"));
        // A name too short for an extension gets one added, not a mangled one.
        app.model().setFileName(QStringLiteral("ab"));
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(1);
        QCOMPARE(app.model().fileName(), QStringLiteral("ab.BMP"));
    }

    void controlRules()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        // A zero duration is never left standing, in any order.
        part<QSpinBox>(m, "MovieHoursControl")->setValue(0);
        part<QSpinBox>(m, "MovieMinutesControl")->setValue(0);
        part<QSpinBox>(m, "MovieSecondsControl")->setValue(0);
        QCOMPARE(part<QSpinBox>(m, "MovieSecondsControl")->value(), 1);
        QCOMPARE(part<QLabel>(m, "MovieSecondsDisplay")->text(), QStringLiteral("01"));
        part<QSpinBox>(m, "MultipleImageSecondsControl")->setValue(0);
        QCOMPARE(part<QSpinBox>(m, "MultipleImageSecondsControl")->value(), 1);
        // The frame-rate display click sets 29.97.
        m.moviePanel().setFrameRate2997();
        QCOMPARE(part<QSpinBox>(m, "MovieFrameRateControl")->value(), 29);
        QCOMPARE(part<lv::ClickLabel>(m, "MovieFrameRateDisplay")->text(), QStringLiteral(" 29.97 fps"));
        QCOMPARE(app.model().settings().FrameRate, 29.97);
        part<QSpinBox>(m, "MovieFrameRateControl")->setValue(15);
        QCOMPARE(part<lv::ClickLabel>(m, "MovieFrameRateDisplay")->text(), QStringLiteral(" 15 fps"));
        // Sound off disables the lists and the menu mirrors it.
        m.SetAudioCapture(false);
        QVERIFY(!part<QComboBox>(m, "AudioRate")->isEnabled());
        QVERIFY(m.action(Command::AudioOff)->isChecked());
        QVERIFY(!m.action(Command::AudioOn)->isChecked());
        // The sample-rate menu and the list agree.
        m.sampleRateItem(22050)->trigger();
        QCOMPARE(part<QComboBox>(m, "AudioRate")->currentIndex(), 2);
        part<QComboBox>(m, "AudioRate")->setCurrentIndex(0);
        QVERIFY(m.sampleRateItem(8000)->isChecked());
        QVERIFY(!m.sampleRateItem(22050)->isChecked());
        // "No Limit" greys the duration out.
        part<QCheckBox>(m, "MovieDisableLimit")->setChecked(true);
        QVERIFY(!part<QSpinBox>(m, "MovieHoursControl")->isEnabled());
        // The trigger toolbar shows what each trigger needs.
        m.seriesPanel().setTrigger(lv::TriggerKind::Timer);
        QVERIFY(part<QPushButton>(m, "Shooter")->isHidden());
        QVERIFY(!part<QSpinBox>(m, "MultipleImageSecondsControl")->isHidden());
        QVERIFY(part<QLabel>(m, "MotionLabel")->isHidden());
        m.seriesPanel().setTrigger(lv::TriggerKind::Motion);
        QVERIFY(!part<QLabel>(m, "MotionLabel")->isHidden());
        QVERIFY(part<QSpinBox>(m, "MultipleImageSecondsControl")->isHidden());
        QVERIFY(!part<lv::KeyedToolBar>(m, "TriggerType")->isPressed(QStringLiteral("timer")));
    }

    // The panels and the settings model show the same thing, whichever side changes.
    void panelsBindToTheModel()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        CaptureModel& model = m.model();

        // A user's edits reach the model.
        m.SelectMultipleMode();
        part<lv::KeyedToolBar>(m, "MultipleImageToolbar2")->setPressed(QStringLiteral("date"), true);
        part<QComboBox>(m, "MultipleImageDatePosition")->setCurrentIndex(4);
        part<QLineEdit>(m, "MultipleImageText")->setText(QStringLiteral("gate &FRM&"));
        part<lv::KeyedToolBar>(m, "MultipleImageToolbar")->setPressed(QStringLiteral("ftp"), true);
        part<QComboBox>(m, "MultipleImageMode")->setCurrentIndex(2);
        m.seriesPanel().setTrigger(lv::TriggerKind::Timer);
        part<QSpinBox>(m, "MultipleImageMinutesControl")->setValue(2);
        CaptureSettings c = model.settings();
        QCOMPARE(c.Capture, std::optional<CaptureKind>(CaptureKind::MultipleImage));
        QVERIFY(c.SeriesStamps.InsertDate);
        QVERIFY(!c.ImageStamps.InsertDate);
        QCOMPARE(c.SeriesStamps.DatePosition, int16_t(4));
        QCOMPARE(c.SeriesStamps.Text, QStringLiteral("gate &FRM&"));
        QVERIFY(c.SendToFTPServer);
        QCOMPARE(c.MultipleImageType, int16_t(2));
        QCOMPARE(c.Trigger, std::optional<TriggerKind>(TriggerKind::Timer));
        QCOMPARE(c.Interval, 2 * 60 + part<QSpinBox>(m, "MultipleImageSecondsControl")->value());

        // The model's changes reach the controls, and their handlers run.
        model.edit([](CaptureSettings& s) {
            s.Trigger = TriggerKind::Manual;
            s.Interval = 3725;
            s.Audio = false;
            s.AudioRate = 22050;
            s.FrameRate = 29.97;
            s.Limit = false;
            s.ImageStamps.InsertText = true;
            s.ImageStamps.Text = QStringLiteral("door");
            s.MovieAviInfo = true;
        });
        QVERIFY(part<lv::KeyedToolBar>(m, "TriggerType")->isPressed(QStringLiteral("manual")));
        QVERIFY(!part<lv::KeyedToolBar>(m, "TriggerType")->isPressed(QStringLiteral("timer")));
        QVERIFY(!part<QPushButton>(m, "Shooter")->isHidden());
        QCOMPARE(part<QLabel>(m, "MultipleImageHoursDisplay")->text(), QStringLiteral("01"));
        QCOMPARE(part<QLabel>(m, "MultipleImageMinutesDisplay")->text(), QStringLiteral("02"));
        QCOMPARE(part<QLabel>(m, "MultipleImageSecondsDisplay")->text(), QStringLiteral("05"));
        QVERIFY(!part<lv::KeyedToolBar>(m, "MovieToolbar")->isPressed(QStringLiteral("audio")));
        QVERIFY(!part<QComboBox>(m, "AudioRate")->isEnabled());
        QCOMPARE(part<QComboBox>(m, "AudioRate")->currentIndex(), 2);
        QVERIFY(m.sampleRateItem(22050)->isChecked());
        QCOMPARE(part<lv::ClickLabel>(m, "MovieFrameRateDisplay")->text(), QStringLiteral(" 29.97 fps"));
        QCOMPARE(app.model().settings().FrameRate, 29.97);
        QVERIFY(part<QCheckBox>(m, "MovieDisableLimit")->isChecked());
        QVERIFY(!part<QSpinBox>(m, "MovieHoursControl")->isEnabled());
        QVERIFY(part<lv::KeyedToolBar>(m, "ImageToolbar")->isPressed(QStringLiteral("text")));
        QCOMPARE(part<QLineEdit>(m, "ImageText")->text(), QStringLiteral("door"));
        QCOMPARE(part<QLineEdit>(m, "MultipleImageText")->text(), QStringLiteral("gate &FRM&")); // the other panel keeps its own
        QVERIFY(part<lv::KeyedToolBar>(m, "MovieToolbar")->isPressed(QStringLiteral("writeinfo")));

        // What a control's rule makes of a value comes back into the model.
        model.edit([](CaptureSettings& s) { s.Interval = 0; });
        QCOMPARE(part<QSpinBox>(m, "MultipleImageSecondsControl")->value(), 1);
        QCOMPARE(model.settings().Interval, 1);
        model.edit([](CaptureSettings& s) { s.FrameRate = 90; });
        QCOMPARE(part<QSpinBox>(m, "MovieFrameRateControl")->value(), 40);
        QCOMPARE(model.settings().FrameRate, 40.0);

        // The run state decides the record button's picture.
        m.SelectMovieMode();
        model.setRunState(RunState::Recording);
        QCOMPARE(m.OperationBar->imageKey(QStringLiteral("record")), QStringLiteral("stop"));
        model.setRunState(RunState::Idle);
        QCOMPARE(m.OperationBar->imageKey(QStringLiteral("record")), QStringLiteral("record"));
        m.SelectImageMode();
        model.setRunState(RunState::MotionArmed);
        QCOMPARE(m.OperationBar->imageKey(QStringLiteral("record")), QStringLiteral("stop"));
        model.setRunState(RunState::Idle);
        QCOMPARE(m.OperationBar->imageKey(QStringLiteral("record")), QStringLiteral("pause"));
    }

    void allControlsLeavesMenusAlone()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.AllControls(false);
        for (QWidget* w : std::initializer_list<QWidget*>{m.DeviceToolbar, m.previewrate, part<lv::KeyedToolBar>(m, "MovieToolbar"), m.MainToolbar,
                                                          part<lv::KeyedToolBar>(m, "TriggerType"), part<QComboBox>(m, "MultipleImageMode"), part<lv::KeyedToolBar>(m, "ImageToolbar"), part<QWidget>(m, "MoviePanel")})
            QVERIFY(!w->isEnabled());
        QVERIFY(m.FileMenu->isEnabled());
        QVERIFY(m.action(Command::MovieMode)->isEnabled());
        m.AllControls(true);
        QVERIFY(m.DeviceToolbar->isEnabled());
    }

    void previewRateFromListAndMenuAgree()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.previewrate->setCurrentIndex(19);
        m.PreviewRateClicked(19);
        QCOMPARE(app.model().settings().PreviewRate, int16_t(20));
        CaptureStatus st;
        QVERIFY(app.master()->videoScreen()->captureWindow()->GetStatus(st));
        QCOMPARE(st.fLiveWindow, 1u);
        QVERIFY(m.DeviceToolbar->isPressed(QStringLiteral("preview")));
        m.action(Command::Overlay)->trigger(); // Overlay Mode
        QVERIFY(m.DeviceToolbar->isPressed(QStringLiteral("overlay")));
        m.action(Command::Preview)->trigger(); // Preview Mode at the same rate
        QVERIFY(m.DeviceToolbar->isPressed(QStringLiteral("preview")));
        QCOMPARE(app.model().settings().PreviewRate, int16_t(20));
    }

    void deviceThatDoesNotOpenShowsNoSignal()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        OneDriver cat(false);
        ScopedDriverCatalogue scoped(&cat);
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QCOMPARE(m.videoScreen()->windowTitle(), QStringLiteral("No Signal"));
        QCOMPARE(m.videoScreen()->ConnectionTag, QStringLiteral("0"));
        QCOMPARE(part<QLabel>(m, "StatusString")->text(), QStringLiteral("Not Connected"));
        QCOMPARE(m.panelText(QStringLiteral("resolution")), QStringLiteral("N/A"));
        QVERIFY(!m.DeviceToolbar->button(QStringLiteral("fullscreen"))->isEnabled());
        // Not connected: the file name falls back to the program directory.
        QCOMPARE(m.videoScreen()->GetFilename(), QStringLiteral("Error"));
        QCOMPARE(app.model().fileName(), app.model().programDirectory() + QStringLiteral("lumivark.avi"));
    }

    void noDriversAtAll()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        qputenv("LUMIVARK_TEST_DEVICE", "0");
        SystemDriverCatalogue none;
        ScopedDriverCatalogue scoped(&none);
        qunsetenv("LUMIVARK_TEST_DEVICE");
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QCOMPARE(deviceMenuTexts(m), (QStringList{QStringLiteral("no MSVIDEO devices detected"), QStringLiteral("-"),
                                                 QStringLiteral("Video Device Information..."),
                                                 QStringLiteral("Disconnect driver to unplug external device")}));
        QVERIFY(!part<QMenu>(m, "DeviceMenu")->actions().first()->isEnabled());
        QCOMPARE(m.videoScreen()->ConnectionTag, QString());
    }

    void deviceValuesShownAfterConnect()
    {
        // Without the parameters file layer, what the device reports is what the panel shows.
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        OneDriver cat(true);
        ScopedDriverCatalogue scoped(&cat);
        CaptureModel model;
        RunRecord run;
        model.setProgramDirectory(env.home());
        MainWindow m(model, run);
        m.load({});
        QCOMPARE(m.videoScreen()->ConnectionTag, QStringLiteral("vfw"));
        QCOMPARE(part<QSpinBox>(m, "MovieFrameRateControl")->value(), 12);           // a frame period of 0
        QCOMPARE(part<QSpinBox>(m, "MovieSecondsControl")->value(), 1);              // a time limit of 0
        QVERIFY(part<QCheckBox>(m, "MovieDisableLimit")->isChecked() == false);       // movie mode clears "No Limit"
        QVERIFY(!m.DeviceToolbar->button(QStringLiteral("overlay"))->isEnabled());
        QVERIFY(!m.action(Command::Overlay)->isEnabled());
        QVERIFY(m.DeviceToolbar->isPressed(QStringLiteral("preview")));
        QCOMPARE(m.panelText(QStringLiteral("resolution")), QStringLiteral(" Resolution:160x120 "));
        m.videoScreen()->Disconnect();
    }

    void unplugAndReconnect()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const QString deviceFile = app.model().programDirectory() + QStringLiteral("lvsr.lv3");
        QFile::remove(deviceFile);
        m.DeviceMenuCommand(2, QStringLiteral("unplug"));
        QCOMPARE(m.videoScreen()->windowTitle(), QStringLiteral("Disconnected"));
        QVERIFY(app.master()->videoScreen()->captureWindow() == nullptr);
        QVERIFY(QFileInfo::exists(deviceFile));
        QCOMPARE(dlg.d.messages().last(),
                 QStringLiteral("Device Driver Disconnected.\r\nCan be now removed if is a USB device..."));
        // Choosing the driver again connects it again.
        m.DeviceMenuCommand(0, QStringLiteral("vfw"));
        QVERIFY(app.master()->videoScreen()->captureWindow() != nullptr);
        QCOMPARE(m.videoScreen()->windowTitle(), QStringLiteral("Lumivark Test Pattern"));
    }

    void fullScreenTakesAndGivesBackTheDevice()
    {
        QCOMPARE(Fullscreen::centredPosition(QSize(1024, 768), QSize(640, 480)), QPoint(192, 144));
        QCOMPARE(Fullscreen::centredPosition(QSize(1024, 768), QSize(1024, 768)), QPoint(0, 0));

        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.action(Command::Overlay)->trigger(); // overlay on before going full screen
        bool sawFullscreen = false;
        bool videoLetGo = false;
        QTimer::singleShot(300, [&] {
            auto* full = qobject_cast<Fullscreen*>(QApplication::activeModalWidget());
            sawFullscreen = full && full->captureWindow() && full->captureWindow()->isConnected();
            videoLetGo = app.master()->videoScreen()->captureWindow() == nullptr;
            if (full)
                QTest::keyClick(full->findChild<QLineEdit*>(QStringLiteral("Keyy")), Qt::Key_Space);
        });
        m.DeviceToolbar->button(QStringLiteral("fullscreen"))->trigger();
        QVERIFY(sawFullscreen);
        QVERIFY(videoLetGo);
        QVERIFY(app.master()->videoScreen()->captureWindow() != nullptr);
        QVERIFY(m.DeviceToolbar->isPressed(QStringLiteral("overlay")));
        QCOMPARE(part<QLabel>(m, "StatusString")->text(), QString());
    }
};

QTEST_MAIN(TestMaster)
#include "tst_master.moc"
