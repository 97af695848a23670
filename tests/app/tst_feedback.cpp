// The program tells the user what it did and why it did not: saves that keep
// the chosen type, starts without a device or without sound, help without a
// browser, and the texts of the status bar, the device information and the
// preferences.
#include "tst_capturerig.h"

#include "app/application.h"
#include "capture/alsaaudiosource.h"
#include "capture/drivercatalogue.h"
#include "image/ui/imageeditor.h"
#include "settings/ui/preferences.h"
#include "settings/ui/videoinfo.h"
#include "mainwindowparts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <functional>

using lv::test::part;

using namespace lv;
using namespace captest;

namespace {

// Runs inspect on the next modal window of type W once it is up (the caller
// then opens it with a blocking call); inspect must close it.
template <typename W>
void onModal(std::function<void(W*)> inspect)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect] {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            inspect(w);
        }
    });
    poll->start();
}

QString identify(const QString& file)
{
    return QString::fromLatin1(run(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%m"), file}));
}

QString helpPage() { return findDataFile(QStringLiteral("help/index.html")); }

// The test pattern's picture, with the sound a machine may or may not have.
class SoundDriver final : public CaptureDriver {
public:
    enum class Sound { Pattern, None, MissingInput };
    explicit SoundDriver(Sound sound) : m_sound(sound) {}
    QString name() const override { return m_inner.name(); }
    QString version() const override { return m_inner.version(); }
    bool open() override { return m_inner.open(); }
    void close() override { m_inner.close(); }
    QSize frameSize() const override { return m_inner.frameSize(); }
    double frameRate() const override { return m_inner.frameRate(); }
    bool hasOverlay() const override { return false; }
    bool hasSourceDialog() const override { return false; }
    bool hasFormatDialog() const override { return false; }
    bool showSourceDialog(QWidget*) override { return false; }
    bool showFormatDialog(QWidget*) override { return false; }
    bool start(FrameSink frames, ErrorSink errors) override { return m_inner.start(std::move(frames), std::move(errors)); }
    void stop() override { m_inner.stop(); }
    std::unique_ptr<AudioSource> createAudioSource() override
    {
        switch (m_sound) {
        case Sound::Pattern: return m_inner.createAudioSource();
        case Sound::None: return nullptr;
        case Sound::MissingInput: return std::make_unique<AlsaAudioSource>(QStringLiteral("lumivark_no_such_input"));
        }
        return nullptr;
    }

private:
    TestPatternDriver m_inner;
    Sound m_sound;
};

class SoundCatalogue final : public DriverCatalogue {
public:
    explicit SoundCatalogue(SoundDriver::Sound sound) : m_sound(sound) {}
    bool describe(int index, QString* name, QString* version) const override
    {
        if (index != 0)
            return false;
        if (name)
            *name = TestPatternDriver::driverName();
        if (version)
            *version = TestPatternDriver::driverVersion();
        return true;
    }
    std::unique_ptr<CaptureDriver> create(int index) const override
    {
        return index == 0 ? std::make_unique<SoundDriver>(m_sound) : nullptr;
    }

private:
    SoundDriver::Sound m_sound;
};

// Receives what the desktop would be asked to open.
class UrlCatcher final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void openUrl(const QUrl& url) { urls << url; }
};

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestFeedback : public QObject {
    Q_OBJECT

private slots:
    // --- Saving keeps the type the user chose ---

    void editorSaveTakesTheChosenFiltersExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written"); // empty: nothing may be written
        QTest::addColumn<QString>("format");
        QTest::newRow("bitmap filter") << "snap" << 0 << "snap.bmp" << "BMP3";
        QTest::newRow("JPEG filter") << "snap" << 1 << "snap.jpg" << "JPEG";
        QTest::newRow("typed ending wins over the filter") << "snap.jpg" << 0 << "snap.jpg" << "JPEG";
        QTest::newRow("unknown ending is refused with the reason") << "snap.png" << 0 << "" << "";
    }
    void editorSaveTakesTheChosenFiltersExtension()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QFETCH(QString, format);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        rig.master->action(Command::Snapshot)->trigger(); // Capture Frame (F11)
        QVERIFY(rig.ctl->editor());
        QTRY_VERIFY(!rig.ctl->editor()->MasterImage().isNull());

        dialogs.d.fileAnswers.enqueue(out.filePath(typed));
        dialogs.d.filterAnswers.enqueue(filter);
        rig.ctl->editor()->toolbar()->findChild<QAction*>(QStringLiteral("save"))->trigger();
        QCOMPARE(dialogs.d.requests.last().kind, ScriptedDialogs::Request::Kind::SaveFile);
        if (written.isEmpty()) {
            QVERIFY(QDir(out.path()).entryList({QStringLiteral("snap*")}, QDir::Files).isEmpty());
            QCOMPARE(rig.status(), QStringLiteral("Cannot save ") + out.filePath(typed)
                                       + QStringLiteral(": a picture's name must end in .bmp or .jpg"));
            return;
        }
        QCOMPARE(QDir(out.path()).entryList({QStringLiteral("snap*")}, QDir::Files), QStringList{written});
        QCOMPARE(identify(out.filePath(written)), format);
        QCOMPARE(rig.ctl->editor()->windowTitle(), written);
    }

    void editorSaveIntoAReadOnlyFolderSaysWhy()
    {
        AppTestEnv env;
        ScopedTmpfs fs(QStringLiteral("ro,size=1m"));
        if (!fs.mounted())
            QSKIP("cannot mount a tmpfs here");
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        rig.master->action(Command::Snapshot)->trigger();
        QVERIFY(rig.ctl->editor());
        dialogs.d.fileAnswers.enqueue(fs.path(QStringLiteral("snap")));
        rig.ctl->editor()->toolbar()->findChild<QAction*>(QStringLiteral("save"))->trigger();
        const QString start = QStringLiteral("Error writing ") + fs.path(QStringLiteral("snap.bmp")) + QStringLiteral(": ");
        QVERIFY2(rig.status().startsWith(start) && rig.status().size() > start.size(), qPrintable(rig.status()));
    }

    void captureFileKeepsItsExtensionAndAFailedSaveSaysWhy()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.SelectImageMode();
        const QString dir = env.dir("params");
        dlg.d.fileAnswers.enqueue(dir + QStringLiteral("/garden"));
        m.action(Command::Save)->trigger(); // Save Capture File...
        // "Open Capture File" lists it, and reading it back restores the mode.
        QCOMPARE(QDir(dir).entryList({QStringLiteral("*.lvp")}, QDir::Files), QStringList{QStringLiteral("garden.lvp")});
        m.SelectMovieMode();
        dlg.d.fileAnswers.enqueue(dir + QStringLiteral("/garden.lvp"));
        m.action(Command::Open)->trigger();
        QCOMPARE(m.visibleBand(), QStringLiteral("image"));
        QVERIFY(dlg.d.messages().isEmpty());

        // A file stands where the folder should be: nothing is written, and the box says why.
        QFile blocker(dir + QStringLiteral("/not a folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString target = blocker.fileName() + QStringLiteral("/garden.lvp");
        dlg.d.fileAnswers.enqueue(blocker.fileName() + QStringLiteral("/garden"));
        m.action(Command::Save)->trigger();
        QCOMPARE(dlg.d.messages().size(), 1);
        const QString text = dlg.d.messages().first();
        QVERIFY2(text.startsWith(QStringLiteral("Cannot save ") + target + QStringLiteral(": ")), qPrintable(text));
        QVERIFY2(text.size() > (QStringLiteral("Cannot save ") + target + QStringLiteral(": ")).size(), qPrintable(text));
        QCOMPARE(dlg.d.requests.last().icon, Dialogs::Icon::Error);
    }

    // --- Nothing starts without a word ---

    void recordAfterUnplugSaysNotConnected_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("type");
        QTest::newRow("movie") << "movie" << 0;
        QTest::newRow("series into a movie") << "multiple" << 0;
        QTest::newRow("series of JPEG files") << "multiple" << 2;
        QTest::newRow("single image") << "image" << 0;
    }
    void recordAfterUnplugSaysNotConnected()
    {
        QFETCH(QString, mode);
        QFETCH(int, type);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        // An earlier movie of that name: the overwrite question would come first.
        const QString movie = out.filePath(QStringLiteral("cam.avi"));
        QFile old(movie);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier movie");
        old.close();
        Rig rig(movie);
        rig.fileName = movie;
        if (mode == QLatin1String("movie"))
            rig.master->SelectMovieMode();
        else if (mode == QLatin1String("image"))
            rig.master->SelectImageMode();
        else
            rig.multiple(type);
        rig.model.setFileName(movie);
        const int unplug = int(part<QMenu>(rig.master, "DeviceMenu")->actions().size()) - 1;
        part<QMenu>(rig.master, "DeviceMenu")->actions().at(unplug)->trigger();
        QCOMPARE(dialogs.d.messages().size(), 1); // "Device Driver Disconnected..."
        const QString idle = rig.recordImage();

        rig.master->RecordButtonClicked();
        QCOMPARE(rig.status(), QStringLiteral("Not Connected"));
        QCOMPARE(dialogs.d.messages().size(), 1); // no question about the file
        QCOMPARE(rig.recordImage(), idle);
        QVERIFY(part<QComboBox>(rig.master, "MultipleImageMode")->isEnabled());
        QVERIFY(!part<QPushButton>(rig.master, "Shooter")->isEnabled());
        QVERIFY(!rig.ctl->editor());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{QStringLiteral("cam.avi")});
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier movie"));
    }

    void recordingWithoutSoundSaysSo_data()
    {
        QTest::addColumn<int>("sound");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("audioStream");
        QTest::newRow("device with sound") << int(SoundDriver::Sound::Pattern) << "Recording" << true;
        QTest::newRow("device without sound") << int(SoundDriver::Sound::None) << "Recording without sound" << false;
        QTest::newRow("sound input missing") << int(SoundDriver::Sound::MissingInput) << "Recording without sound"
                                             << false;
    }
    void recordingWithoutSoundSaysSo()
    {
        QFETCH(int, sound);
        QFETCH(QString, status);
        QFETCH(bool, audioStream);
        AppTestEnv env;
        SoundCatalogue catalogue{SoundDriver::Sound(sound)};
        ScopedDriverCatalogue scoped(&catalogue);
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("sound.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(false);
        part<QSpinBox>(rig.master, "MovieSecondsControl")->setValue(2);
        rig.master->action(Command::AudioOn)->trigger(); // Audio On
        QVERIFY(part<lv::KeyedToolBar>(rig.master, "MovieToolbar")->isPressed(QStringLiteral("audio")));

        rig.master->RecordButtonClicked();
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), status, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 15000);
        QVERIFY(!probeStream(movie, QStringLiteral("video")).isEmpty());
        QCOMPARE(!probeStream(movie, QStringLiteral("audio")).isEmpty(), audioStream);
        QVERIFY(dialogs.d.requests.isEmpty());
    }

    // --- Help without a browser ---

    void helpWithoutAHandlerSaysWhereTheFileIs_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("F1 / Help") << "help";
        QTest::newRow("Video Lumivark on Web...") << "web";
        QTest::newRow("click on the status bar") << "panel";
    }
    void helpWithoutAHandlerSaysWhereTheFileIs()
    {
        QFETCH(QString, how);
        AppTestEnv env;
        const QString help = helpPage();
        QVERIFY2(!help.isEmpty(), "the help page ships with the program");
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        auto open = [&] {
            if (how == QLatin1String("help"))
                m.action(Command::Help)->trigger();
            else if (how == QLatin1String("web"))
                m.action(Command::Web)->trigger();
            else
                QTest::mouseClick(m.MasterStatus->findChild<QLabel*>(QStringLiteral("filesize")), Qt::LeftButton);
        };
        {
            // No program on PATH and no browser named: nothing can show the page.
            ScopedEnv path("PATH", env.dir("empty-path").toLocal8Bit());
            ScopedEnv browser("BROWSER", {});
            ScopedEnv defaultBrowser("DEFAULT_BROWSER", {});
            open();
        }
        QCOMPARE(dlg.d.messages(), QStringList{QStringLiteral("No program to show the help is installed.\nThe help file is ")
                                               + help});
        QCOMPARE(dlg.d.requests.last().icon, Dialogs::Icon::Warning);

        // With a handler for local files the page opens without a word.
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "openUrl");
        open();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(help)});
        QCOMPARE(dlg.d.messages().size(), 1);
    }

    // --- Texts ---

    void statusBarShowsThePathAsItIsAndNoPlaceholderAddress()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        const QString mixed = env.dir("Holiday Films") + QStringLiteral("/Garden-CAM.AVI");
        app.model().setFileName(mixed);
        QTRY_COMPARE(m.panelText(QStringLiteral("filename")), QStringLiteral("Filename: ") + mixed);
        // The panel names the page a click on it opens; this build names no
        // home page, so it offers the help, and no path of the machine shows.
        QTRY_COMPARE(m.panelText(QStringLiteral("filesize")), QStringLiteral("Help"));
        const QLabel* address = m.MasterStatus->findChild<QLabel*>(QStringLiteral("filesize"));
        QVERIFY(address);
        for (const QString& shown : {address->text(), address->toolTip()})
            QVERIFY2(!shown.contains(QLatin1String("file:")) && !shown.contains(QLatin1Char('/')), qPrintable(shown));
        for (const char* key : {"filename", "resolution", "filesize", "diskcap"})
            QVERIFY2(!m.panelText(QLatin1String(key)).contains(QLatin1String("example")), key);
    }

    void deviceInformationNamesTheCaptureSystem()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QStringList texts;
        onModal<VideoInfo>([&](VideoInfo* w) {
            for (const InfoLine& l : w->targetPic()->lines())
                texts << l.text;
            w->reject();
        });
        m.action(Command::DeviceInfo)->trigger(); // Video Capture Device...
        QCOMPARE(texts.mid(0, 4), (QStringList{QStringLiteral("Driver:Lumivark Test Pattern"), QStringLiteral("Version: 1.0"),
                                               QString(), QStringLiteral("Capture System: Lumivark test pattern (built in)")}));
    }

    void preferencesShowTheJpegQualityInEffect_data()
    {
        QTest::addColumn<QString>("stored"); // empty: nothing stored
        QTest::addColumn<int>("quality");
        QTest::newRow("nothing stored: the start-up default") << "" << 100;
        QTest::newRow("stored quality") << "75" << 75;
    }
    void preferencesShowTheJpegQualityInEffect()
    {
        QFETCH(QString, stored);
        QFETCH(int, quality);
        AppTestEnv env;
        if (!stored.isEmpty())
            settings::save(QStringLiteral("LV"), QStringLiteral("JPEG"), QStringLiteral("Compression"), stored);
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QCOMPARE(app.model().preferences().JpegQuality, quality);
        int shown = -1;
        onModal<Preferences>([&](Preferences* w) {
            shown = w->findChild<QSlider*>(QStringLiteral("JpegCompression"))->value();
            w->accept();
        });
        m.action(Command::Preferences)->trigger(); // Preferences
        QCOMPARE(shown, quality);
        // OK without a change keeps what was in effect.
        QCOMPARE(app.model().preferences().JpegQuality, quality);

        // A new quality reaches an editor that is already open.
        m.action(Command::Snapshot)->trigger(); // Capture Frame
        ImageEditor* editor = nullptr;
        for (QMdiSubWindow* sub : m.mdiArea()->subWindowList())
            if (auto* e = qobject_cast<ImageEditor*>(sub->widget()))
                editor = e;
        QVERIFY(editor);
        QTRY_VERIFY(!editor->MasterImage().isNull());
        onModal<Preferences>([](Preferences* w) {
            w->findChild<QSlider*>(QStringLiteral("JpegCompression"))->setValue(40);
            w->accept();
        });
        m.action(Command::Preferences)->trigger();
        QCOMPARE(app.model().preferences().JpegQuality, 40);
        const QString jpeg = env.dir("out") + QStringLiteral("/snap.jpg");
        dlg.d.fileAnswers.enqueue(jpeg);
        editor->toolbar()->findChild<QAction*>(QStringLiteral("save"))->trigger();
        QCOMPARE(QString::fromLatin1(run(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%Q"), jpeg})),
                 QStringLiteral("40"));
    }
};

QTEST_MAIN(TestFeedback)
#include "tst_feedback.moc"
