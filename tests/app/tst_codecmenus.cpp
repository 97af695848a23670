#include "apptestenv.h"
#include "../movie/moviefiles.h"

#include "app/application.h"
#include "app/keyedtoolbar.h"
#include "app/mainwindow.h"
#include "app/moviewindows.h"
#include "base/scripteddialogs.h"
#include "app/systeminformation.h"
#include "app/systeminformationwindow.h"
#include "base/diskspace.h"
#include "movie/ui/codecswindow.h"
#include "movie/ui/compressiondialog.h"
#include "movie/movieplayer.h"
#include "movie/ui/movieviewer.h"
#include "v4l2_replayio.h"
#include "mainwindowparts.h"

using lv::test::part;

extern "C" {
#include <libavutil/avutil.h>
}

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace lv;

// The video menu's codec commands and the file menu's system information,
// reached through the main window as a user reaches them.
class TestCodecMenus : public QObject {
    Q_OBJECT

private slots:
    void videoCodecsListsInstalledEncoders()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        QAction* item = m.action(Command::Codecs);
        QCOMPARE(item->text(), QStringLiteral("Video Codecs"));
        QVERIFY(item->isEnabled());

        int nodes = -1;
        QString first;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* c = qobject_cast<Codecs*>(w)) {
                    nodes = c->tree()->topLevelItemCount();
                    first = c->tree()->topLevelItem(0) ? c->tree()->topLevelItem(0)->text(0) : QString();
                    c->accept();
                }
        });
        item->trigger();
        // The notice, and no C100: the shipped catalogue is found.
        QCOMPARE(dlg.d.messages().size(), 1);
        QVERIFY(dlg.d.messages().first().contains(QLatin1String("installed FFmpeg")));
        QVERIFY(nodes > 3);
        QVERIFY(!first.isEmpty());
        QVERIFY(!first.startsWith(QLatin1String("Unknown CODEC")));
    }

    void whatCodecNamesAMovie()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        const QString file = env.dir("movies") + QStringLiteral("/clip.avi");
        QVERIFY(moviefiles::makeMovie(file, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 2, 64, 48));
        QAction* item = m.action(Command::WhatCodec);
        QCOMPARE(item->text(), QStringLiteral("What Codec..."));
        QVERIFY(item->isEnabled());
        dlg.d.fileAnswers.enqueue(file);
        item->trigger();
        QCOMPARE(dlg.d.messages(),
                 QStringList{QStringLiteral("Filename: ") + file + QStringLiteral("\r\nCompressed with:\r\nMotion JPEG")});
    }

    // A command nobody registered work for is reported in the log instead of vanishing.
    void unhandledCommandIsLogged()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        // The device button only opens its menu: nothing carries out its command.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unhandled command.*\\bdevice\\b")));
        emit m.commandRequested(Command::Device);
        QVERIFY(dlg.d.messages().isEmpty());
    }

    // The text names the cameras the V4L2 seam reports, with their formats,
    // sizes and rates; the metadata node is not a camera.
    void systemInformationText()
    {
        AppTestEnv env;
        ReplayIo replay(qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR")
                        + QStringLiteral("/tests/capture/data/v4l2/replaycam.json"));
        v4l2::setIo(&replay);
        const QString movie = env.dir("movies") + QStringLiteral("/not-yet.avi");
        const QString text = SystemInformation(movie).text();
        v4l2::setIo(nullptr);
        QCOMPARE(replay.openDescriptors(), 0);

        for (const QString& line :
             {QStringLiteral("Video Lumivark 2000\nVersion "), QStringLiteral("  Qt ") + QString::fromLatin1(qVersion()),
              QStringLiteral("  FFmpeg ") + QString::fromLatin1(av_version_info()), QStringLiteral("  libjpeg-turbo 2."),
              QStringLiteral("  libcurl "), QStringLiteral("  ALSA 1."), QStringLiteral("  Kernel: Linux "),
              QStringLiteral("  Desktop: "),
              QStringLiteral("  /dev/video0: Replay HD Camera\n    driver uvcvideo 6.1.0, bus replay\n"
                             "    YUYV (YUYV 4:2:2)\n      160x120 at 30, 15 frames/s\n      320x240 at 15 frames/s"),
              QStringLiteral("      160x120 at 30, 29.97 frames/s"),
              QStringLiteral("    H264 (H.264), not usable by this program"),
              QStringLiteral("  /dev/video2: Replay Second Camera\n    driver vivid 5.10.3, bus replay"),
              QStringLiteral("  Test pattern (built in): "), QStringLiteral("Sound:\n  "),
              QStringLiteral("Movies:\n  ") + env.dir("movies") + QStringLiteral("\n  free space: ")})
            QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral("\n---\n") + text));
        QVERIFY(!text.contains(QLatin1String("/dev/video1")));
        QVERIFY(freeDiskSpace(movie) > 0);
        QVERIFY(text.contains(QStringLiteral(" bytes)")));
    }

    void systemInformationWindowCopies()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        QAction* item = m.action(Command::SystemInformation);
        QCOMPARE(item->text(), QStringLiteral("&System Information..."));
        QVERIFY(item->isEnabled());
        QApplication::clipboard()->setText(QStringLiteral("before"));
        QString shown;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* s = qobject_cast<SystemInformationWindow*>(w)) {
                    shown = s->text();
                    s->findChild<QPushButton*>(QStringLiteral("Copy"))->click();
                    s->findChild<QPushButton*>(QStringLiteral("Close"))->click();
                }
        });
        item->trigger();
        QVERIFY(shown.startsWith(QLatin1String("Video Lumivark 2000")));
        QVERIFY(shown.contains(QLatin1String("Cameras:")));
        QCOMPARE(QApplication::clipboard()->text(), shown);
        QVERIFY(dlg.d.requests.isEmpty());
    }

    // Recompress from the movie window inside the application: the main
    // window's status line and controls, its Cancel button, the refused close.
    void recompressInTheApplication()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        const QString clip = env.dir("movies") + QStringLiteral("/clip.avi");
        QVERIFY(moviefiles::makeMovie(clip, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 300, 320, 240));
        dlg.d.fileAnswers.enqueue(clip);
        m.action(Command::Viewer)->trigger(); // Movie Viewer...
        MovieViewer* v = app.movieWindows()->viewer();
        QVERIFY(v);
        QTRY_VERIFY_WITH_TIMEOUT(v->player().readyState() == MoviePlayer::Complete, 20000);

        const QString output = env.dir("movies") + QStringLiteral("/small.avi");
        dlg.d.fileAnswers.enqueue(output);
        QTimer::singleShot(0, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<CompressionDialog*>(w); d && d->isVisible()) {
                    RecompressOptions o;
                    o.encoder = QStringLiteral("mpeg4");
                    d->setRecompressOptions(o);
                    d->accept();
                }
        });
        v->toolbarClicked(QStringLiteral("recompress"));
        QVERIFY(!m.MainToolbar->isEnabled());
        QVERIFY(m.findChild<QPushButton*>(QStringLiteral("ExtractCancel")));
        auto* sub = qobject_cast<QMdiSubWindow*>(v->parentWidget());
        QVERIFY(!sub->close());
        QTRY_COMPARE_WITH_TIMEOUT(part<QLabel>(m, "StatusString")->text(), QStringLiteral("Recompressed"), 60000);
        QVERIFY(m.MainToolbar->isEnabled());
        QTRY_VERIFY(!m.findChild<QPushButton*>(QStringLiteral("ExtractCancel")));
        QCOMPARE(v->windowTitle(), QStringLiteral("small.avi"));
        QCOMPARE(v->player().fileName(), output);
        QVERIFY(!QFileInfo::exists(env.dir("movies") + QStringLiteral("/small.wav"))); // no sound in the clip
        QVERIFY(sub->close());
    }
};

QTEST_MAIN(TestCodecMenus)
#include "tst_codecmenus.moc"
