#include "tst_capturerig.h"

#include "image/bitmapfile.h"
#include "image/ui/imageeditor.h"
#include "image/ui/seriesviewer.h"
#include "mainwindowparts.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

using lv::test::part;

using namespace lv;
using namespace captest;

namespace {

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

// The picture of a stored file as another program reads it (ImageMagick).
QString identify(const QString& file)
{
    return QString::fromLatin1(run(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%m %wx%h"), file}));
}

QStringList names(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* n : list)
        out << QString::fromLatin1(n);
    return out;
}

// ffmpeg decodes every frame without a complaint.
bool decodes(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-xerror"),
                                       QStringLiteral("-i"), file, QStringLiteral("-f"), QStringLiteral("null"),
                                       QStringLiteral("-")});
    return p.waitForFinished(60000) && p.exitCode() == 0 && p.readAllStandardError().trimmed().isEmpty();
}

} // namespace

class TestCaptureSeries : public QObject {
    Q_OBJECT

private slots:
    void fileTypes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("lastStatus");
        QTest::addColumn<QString>("caption");
        QTest::newRow("1 numbered bitmaps") << 1 << names({"cam00001.bmp", "cam00002.bmp", "cam00003.bmp"})
                                            << "BMP3 320x240" << "Writing... %1/cam00003.bmp" << "%1/cam00003.bmp";
        QTest::newRow("2 numbered JPEG") << 2 << names({"cam00001.jpg", "cam00002.jpg", "cam00003.jpg"})
                                         << "JPEG 320x240" << "Image no. 3" << "%1/cam00003.jpg";
        QTest::newRow("3 refresh bitmap") << 3 << names({"cam.bmp"}) << "BMP3 320x240"
                                          << "Refresh... %1/cam.bmp" << "%1/cam.bmp";
        QTest::newRow("4 refresh JPEG") << 4 << names({"cam.jpg"}) << "JPEG 320x240" << "Image no. 3"
                                        << "%1/cam.jpg";
        QTest::newRow("5 clipboard") << 5 << QStringList() << "" << "Image no. 3" << "Clipboard";
    }
    void fileTypes()
    {
        QFETCH(int, type);
        QFETCH(QStringList, files);
        QFETCH(QString, format);
        QFETCH(QString, lastStatus);
        QFETCH(QString, caption);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        rig.multiple(type);
        QGuiApplication::clipboard()->setText(QStringLiteral("keep"));
        rig.master->RecordButtonClicked();
        QCOMPARE(rig.recordImage(), QStringLiteral("stop"));
        QVERIFY(part<QPushButton>(rig.master, "Shooter")->isEnabled());
        QStringList statuses;
        for (int i = 0; i < 3; ++i) {
            part<QPushButton>(rig.master, "Shooter")->click();
            statuses << rig.status();
        }
        QCOMPARE(statuses.last(), lastStatus.arg(out.path()));
        QCOMPARE(rig.ctl->multiImage()->windowTitle(), caption.arg(out.path()));
        QCOMPARE(rig.run.ImageCount, 3);
        QCOMPARE(filesIn(out.path()), files);
        for (const QString& f : files)
            QCOMPARE(identify(out.filePath(f)), format);
        if (type == 5)
            QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(320, 240));
        else
            QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("keep"));
        QVERIFY(dialogs.d.requests.isEmpty());

        rig.master->RecordButtonClicked();
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QVERIFY(!part<QPushButton>(rig.master, "Shooter")->isEnabled());
        QVERIFY(part<QComboBox>(rig.master, "MultipleImageMode")->isEnabled());
        QVERIFY(!rig.ctl->multiImage()); // the viewer closes with the series
        // A new series counts from 1 again.
        rig.master->RecordButtonClicked();
        part<QPushButton>(rig.master, "Shooter")->click();
        QCOMPARE(rig.run.ImageCount, 1);
        rig.master->RecordButtonClicked();
    }

    void stampsReachTheFiles()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        rig.setPattern({320, 240}, true);
        rig.multiple(1);
        rig.model.edit([&](lv::CaptureSettings& c) { c.TextColor = 0xffffff; });
        part<QLineEdit>(rig.master, "MultipleImageText")->setText(QStringLiteral("FRAME &FRM&"));
        rig.master->RecordButtonClicked();
        part<QPushButton>(rig.master, "Shooter")->click(); // plain
        part<lv::KeyedToolBar>(rig.master, "MultipleImageToolbar2")->setPressed(QStringLiteral("text"), true);
        part<lv::KeyedToolBar>(rig.master, "MultipleImageToolbar2")->setPressed(QStringLiteral("time"), true);
        part<lv::KeyedToolBar>(rig.master, "MultipleImageToolbar2")->setPressed(QStringLiteral("date"), true);
        part<QComboBox>(rig.master, "MultipleImageTimePosition")->setCurrentIndex(4);
        part<QComboBox>(rig.master, "MultipleImageDatePosition")->setCurrentIndex(1);
        part<QPushButton>(rig.master, "Shooter")->click(); // stamped
        rig.master->RecordButtonClicked();
        const QImage plain = LoadPicture(out.filePath(QStringLiteral("cam00001.bmp")));
        const QImage stamped = LoadPicture(out.filePath(QStringLiteral("cam00002.bmp")));
        QCOMPARE(plain.size(), QSize(320, 240));
        auto differs = [&](QRect r) {
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (plain.pixel(x, y) != stamped.pixel(x, y))
                        return true;
            return false;
        };
        QVERIFY(differs({0, 0, 100, 30}));      // text, top left
        QVERIFY(differs({220, 0, 100, 30}));    // date, top right
        QVERIFY(differs({220, 210, 100, 30}));  // time, bottom right
        QVERIFY(!differs({0, 100, 320, 40}));   // the middle is the picture
    }

    void timerCountsDown()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.jpg")));
        rig.fileName = out.filePath(QStringLiteral("cam.jpg"));
        rig.multiple(2, QStringLiteral("timer"));
        rig.startTimerSeriesTickedByHand(5);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(rig.run.TimerInterval, 5);
        // Read only at the start: changing it now changes nothing.
        part<QSpinBox>(rig.master, "MultipleImageSecondsControl")->setValue(2);
        QStringList seen;
        for (int i = 0; i < 10; ++i) {
            rig.ctl->seriesTimerTick();
            seen << (rig.status().startsWith(QLatin1String("Image no.")) ? QStringLiteral("shot") : rig.status());
        }
        const auto left = [](int n) { return QStringLiteral(" %1 seconds to capture another frame").arg(n); };
        QCOMPARE(seen, (QStringList{left(4), left(3), left(2), left(1), QStringLiteral("shot"), left(4), left(3),
                                    left(2), left(1), QStringLiteral("shot")}));
        QCOMPARE(filesIn(out.path()), (names({"cam00001.jpg", "cam00002.jpg"})));
        rig.master->RecordButtonClicked();
        QVERIFY(!rig.ctl->program().seriesTimer().isActive());
    }

    void movieSeries_data()
    {
        QTest::addColumn<int>("rateIndex");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<int>("shots");
        QTest::newRow("5 shots at 5 fps") << 4 << "5/1" << 5;
        QTest::newRow("3 shots at 12 fps") << 11 << "12/1" << 3;
    }
    void movieSeries()
    {
        QFETCH(int, rateIndex);
        QFETCH(QString, rate);
        QFETCH(int, shots);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("series.avi"));
        Rig rig(movie);
        rig.fileName = movie;
        rig.multiple(0);
        part<QComboBox>(rig.master, "MultipleImageFrameRate")->setCurrentIndex(rateIndex);
        part<lv::KeyedToolBar>(rig.master, "MultipleImageToolbar")->setPressed(QStringLiteral("writeinfo"), true);
        rig.model.setInfoFields({QStringLiteral("CR"), QStringLiteral("Artist"), QStringLiteral("Subj"),
                                   QStringLiteral("Prod"), QStringLiteral("Src"), QStringLiteral("Notes")});
        rig.master->RecordButtonClicked();
        QCOMPARE(rig.run.FrameRate, rateIndex + 1);
        QVERIFY(!part<QComboBox>(rig.master, "MultipleImageFrameRate")->isEnabled());
        for (int i = 0; i < shots; ++i) {
            part<QPushButton>(rig.master, "Shooter")->click();
            QCOMPARE(rig.status(), QStringLiteral("Capturing Frame"));
        }
        rig.master->RecordButtonClicked();
        QVERIFY(!rig.ctl->multiImage()); // never stamped, never shown
        const QJsonObject v = probeStream(movie, QStringLiteral("video"));
        QCOMPARE(probeInt(v, "nb_read_packets"), shots);
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), rate);
        // "writeinfo" was pressed: the finished series movie carries the texts.
        const QJsonObject ex = QJsonDocument::fromJson(run(QStringLiteral("exiftool"),
                                                           {QStringLiteral("-j"), QStringLiteral("-RIFF:all"), movie}))
                                   .array()
                                   .first()
                                   .toObject();
        QCOMPARE(ex.value(QStringLiteral("Copyright")).toString(), QStringLiteral("CR"));
        QCOMPARE(ex.value(QStringLiteral("Comment")).toString(), QStringLiteral("Notes"));
        QCOMPARE(ex.value(QStringLiteral("Title")).toString(), QStringLiteral("Video Lumivark"));
        QVERIFY(decodes(movie));

        // Starting again over the file asks first; "No" leaves everything idle.
        dialogs.d.answers.enqueue(Dialogs::Answer::No);
        rig.master->RecordButtonClicked();
        QCOMPARE(dialogs.d.messages().size(), 1);
        QVERIFY(dialogs.d.messages().first().startsWith(QStringLiteral("The file ") + movie + QStringLiteral(" already exists.")));
        QCOMPARE(dialogs.d.requests.first().icon, Dialogs::Icon::None); // a plain question, no icon
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QVERIFY(!part<QPushButton>(rig.master, "Shooter")->isEnabled());
    }

    void singleImageMode()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        rig.setPattern({320, 240}, true);
        rig.master->SelectImageMode();
        QCOMPARE(rig.recordImage(), QStringLiteral("pause"));
        rig.model.edit([&](lv::CaptureSettings& c) { c.TextColor = 0xffffff; });
        part<lv::KeyedToolBar>(rig.master, "ImageToolbar")->setPressed(QStringLiteral("text"), true);
        part<QLineEdit>(rig.master, "ImageText")->setText(QStringLiteral("STAMP"));
        QGuiApplication::clipboard()->setText(QStringLiteral("keep"));
        int sounds = 0;
        rig.ctl->playSound = [&](const QString&) { return ++sounds, true; };
        rig.master->RecordButtonClicked();
        QCOMPARE(rig.recordImage(), QStringLiteral("pause"));
        ImageEditor* ed = rig.ctl->editor();
        QVERIFY(ed);
        QCOMPARE(ed->windowTitle(), QStringLiteral("Untitled "));
        // Stamped, and the stamped picture is what "reset" restores.
        QVERIFY(ed->MasterImage().drawnImage() != ed->MasterImage().frame());
        QCOMPARE(ed->ResetPicture(), ed->MasterImage().drawnImage());
        QCOMPARE(sounds, 0); // no shutter sound here
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("keep"));

        // Snapshot: shutter sound only when system sounds are on; no clipboard.
        rig.model.preferences().SystemSounds = QStringLiteral("1");
        emit rig.master->DeviceToolbar->buttonClicked(QStringLiteral("snapshot"));
        QCOMPARE(sounds, 1);
        QCOMPARE(rig.ctl->editor()->windowTitle(), QStringLiteral("Untitled"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("keep"));
        rig.model.preferences().SystemSounds = QStringLiteral("0");
        rig.master->action(Command::Snapshot)->trigger();
        QCOMPARE(sounds, 1);

        // "Put On Clipboard" is the one that fills the clipboard.
        rig.master->action(Command::Clipboard)->trigger();
        QCOMPARE(rig.ctl->editor()->windowTitle(), QStringLiteral("Image On Clipboard"));
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(320, 240));
    }

    void realShutterSoundIsSkippedWithoutOutput()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        rig.model.preferences().SystemSounds = QStringLiteral("1");
        QElapsedTimer t;
        t.start();
        rig.ctl->CaptureFrameToEditor();
        QVERIFY(rig.ctl->editor());
        QVERIFY(!rig.ctl->editor()->MasterImage().isNull());
        QVERIFY(dialogs.d.requests.isEmpty());
        QVERIFY(t.elapsed() < 5000);
    }

    // Just after connecting the device has no frame yet: the grab goes on when
    // the first arrives, and the picture still reaches the editor and the clipboard.
    void clipboardRightAfterConnecting()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.avi")));
        lv::VideoScreen* video = rig.master->videoScreen();
        video->Disconnect();
        video->ConnectionTag = QStringLiteral("vfw");
        video->Initialize();
        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        rig.master->action(Command::Clipboard)->trigger();
        QTRY_COMPARE(QGuiApplication::clipboard()->image().size(), QSize(320, 240));
        QVERIFY(rig.ctl->editor());
        QCOMPARE(rig.ctl->editor()->windowTitle(), QStringLiteral("Image On Clipboard"));
        QVERIFY(dialogs.d.requests.isEmpty());
    }

    void shortFileName()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(out.path()));
        {
            Rig rig(QStringLiteral("ab"));
            rig.fileName = QStringLiteral("ab"); // too short to lose an extension
            rig.multiple(1);
            rig.master->RecordButtonClicked();
            part<QPushButton>(rig.master, "Shooter")->click();
            rig.master->RecordButtonClicked();
            QCOMPARE(rig.status(), QStringLiteral("Writing... ab00001.bmp"));
        }
        QDir::setCurrent(cwd);
        QCOMPARE(filesIn(out.path()), names({"ab00001.bmp"}));
    }

    void badPlaces_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("mount");
        QTest::addColumn<int>("goodFiles");
        QTest::newRow("read-only folder, bitmaps") << 1 << "ro,size=1m" << 0;
        QTest::newRow("read-only folder, JPEG") << 2 << "ro,size=1m" << 0;
        QTest::newRow("disk fills, bitmaps") << 1 << "size=256k" << 1;
        QTest::newRow("disk fills, refresh bitmap") << 3 << "size=256k" << 1;
    }
    void badPlaces()
    {
        QFETCH(int, type);
        QFETCH(QString, mount);
        QFETCH(int, goodFiles);
        AppTestEnv env;
        ScopedTmpfs fs(mount);
        if (!fs.mounted())
            QSKIP("cannot mount a tmpfs here");
        ScopedScriptedDialogs dialogs;
        Rig rig(fs.path(QStringLiteral("cam.bmp")));
        rig.fileName = fs.path(QStringLiteral("cam.bmp"));
        rig.setPattern({320, 240}, true);
        rig.multiple(type);
        rig.master->RecordButtonClicked();
        for (int i = 0; i < 3; ++i)
            part<QPushButton>(rig.master, "Shooter")->click();
        QVERIFY2(rig.status().startsWith(QLatin1String("Error writing")), qPrintable(rig.status()));
        // A JPEG that cannot be written is a warning box each time, as the
        // JPEG layer words it; a bitmap's reason stays on the status line.
        const bool jpeg = type == 2;
        QCOMPARE(dialogs.d.messages(), jpeg ? QStringList(3, QStringLiteral("Failed to save to JPG")) : QStringList());
        for (const auto& r : dialogs.d.requests)
            QCOMPARE(r.icon, Dialogs::Icon::Warning);
        const QStringList files = filesIn(fs.path(QString()));
        QCOMPARE(files.size(), goodFiles);
        for (const QString& f : files) // what was written before the disk filled is whole
            QCOMPARE(identify(fs.path(f)), QStringLiteral("BMP3 320x240"));
        rig.master->RecordButtonClicked();
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QVERIFY(part<QComboBox>(rig.master, "MultipleImageMode")->isEnabled());
    }

    // A new series under the same name goes on after the highest number already
    // there; no earlier picture is ever written over.
    void newSeriesNumbersOnAfterEarlierPictures_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("JPEG after 1 and 2") << 2 << names({"cam00001.jpg", "cam00002.jpg"})
                                            << names({"cam00003.jpg", "cam00004.jpg"});
        QTest::newRow("bitmaps after a gap") << 1 << names({"cam00001.bmp", "cam00007.bmp"})
                                             << names({"cam00008.bmp", "cam00009.bmp"});
        QTest::newRow("six digits") << 2 << names({"cam123456.jpg"}) << names({"cam123457.jpg", "cam123458.jpg"});
        QTest::newRow("other names and types do not count")
            << 2 << names({"cam00005.bmp", "camera00009.jpg", "cam0001.jpg", "cam00003.jpeg"})
            << names({"cam00001.jpg", "cam00002.jpg"});
    }
    void newSeriesNumbersOnAfterEarlierPictures()
    {
        QFETCH(int, type);
        QFETCH(QStringList, before);
        QFETCH(QStringList, added);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        for (const QString& f : before) {
            QFile file(out.filePath(f));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("earlier picture " + f.toLatin1());
        }
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        rig.multiple(type);
        rig.master->RecordButtonClicked();
        part<QPushButton>(rig.master, "Shooter")->click();
        part<QPushButton>(rig.master, "Shooter")->click();
        rig.master->RecordButtonClicked();
        QVERIFY(dialogs.d.requests.isEmpty());
        QStringList expected = before + added;
        expected.sort();
        QStringList now = filesIn(out.path());
        now.sort();
        QCOMPARE(now, expected);
        for (const QString& f : before) {
            QFile file(out.filePath(f));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), "earlier picture " + f.toLatin1());
        }
        for (const QString& f : added)
            QCOMPARE(identify(out.filePath(f)), type == 1 ? QStringLiteral("BMP3 320x240") : QStringLiteral("JPEG 320x240"));

        // The same series started again goes on once more, while its own count starts at 1.
        rig.master->RecordButtonClicked();
        part<QPushButton>(rig.master, "Shooter")->click();
        QCOMPARE(rig.run.ImageCount, 1);
        rig.master->RecordButtonClicked();
        QCOMPARE(filesIn(out.path()).size(), expected.size() + 1);
    }
};

QTEST_MAIN(TestCaptureSeries)
#include "tst_captureseries.moc"
