#include "moviefiles.h"
#include "base/scripteddialogs.h"
#include "movie/moviereader.h"
#include "movie/movieplayer.h"
#include "movie/ui/movieplayerview.h"
#include "movie/ui/movieviewer.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <QSet>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

extern "C" {
#include <libavutil/log.h>
}

using namespace lv;
using namespace moviefiles;

namespace {

// What the movie window asked of the main window.
struct HostLog {
    QStringList statuses;
    QList<bool> allControls;
    QList<bool> busy;
    QList<QPair<QImage, QString>> editors;
    int viewerShown = 0;
    std::function<void()> cancel;

    MovieViewerHost host()
    {
        MovieViewerHost h;
        h.status = [this](const QString& s) { statuses << s; };
        h.allControls = [this](bool on) { allControls << on; };
        h.busy = [this](bool on) { busy << on; };
        h.openInEditor = [this](const QImage& img, const QString& caption) { editors.append({img, caption}); };
        h.offerCancel = [this](std::function<void()> fn) { cancel = std::move(fn); };
        h.viewerShown = [this] { ++viewerShown; };
        h.jpegQuality = [] { return 90; };
        return h;
    }
};

bool waitReady(MoviePlayer& p)
{
    return QTest::qWaitFor([&] { return p.readyState() == MoviePlayer::Complete && !p.currentImage().isNull(); }, 20000);
}

bool waitFrame(MoviePlayer& p, qint64 n)
{
    return QTest::qWaitFor([&] { return p.currentFrame() == n && p.imageFrame() == n; }, 20000);
}

} // namespace

class MovieViewerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;  // 50 frames, 25 per second, with sound
    QString m_long;  // 400 frames
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        av_log_set_level(AV_LOG_QUIET);
        qputenv("LUMIVARK_HOME", m_dir.path().toLocal8Bit());
        m_clip = path(QStringLiteral("clip.avi"));
        QVERIFY(makeMovie(m_clip, {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("3")},
                          50, 160, 120, true));
        m_long = path(QStringLiteral("long.avi"));
        QVERIFY(makeMovie(m_long, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 400, 320, 240));
    }

    void positionText_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QString>("text");
        QTest::newRow("frames") << 1 << 5.0 << 120.0 << QStringLiteral("00000005 / 0000120");
        QTest::newRow("frames, long") << 1 << 123456789.0 << 123456789.0 << QStringLiteral("123456789 / 123456789");
        QTest::newRow("time") << 0 << 3725.0 << 7200.0 << QStringLiteral("01:02:05 / 02:00:00");
        QTest::newRow("time, fractions") << 0 << 1.96 << 2.0 << QStringLiteral("00:00:01 / 00:00:02");
        QTest::newRow("time, zero") << 0 << 0.0 << 0.0 << QStringLiteral("00:00:00 / 00:00:00");
        QTest::newRow("time, 100 hours") << 0 << 360000.0 << 359999.0 << QStringLiteral("100:00:00 / 99:59:59");
        // Exact sums that a floating split of hours gets wrong.
        QTest::newRow("time, 59 s") << 0 << 59.0 << 3599.0 << QStringLiteral("00:00:59 / 00:59:59");
    }

    void positionText()
    {
        QFETCH(int, mode);
        QFETCH(double, position);
        QFETCH(double, duration);
        QFETCH(QString, text);
        QCOMPARE(movieInfoText(mode, position, duration), text);
    }

    // Seeking and stepping show exactly the reader's frame of that number.
    void playerSeeksAndSteps()
    {
        MoviePlayer p;
        QSignalSpy opening(&p, &MoviePlayer::openingStarted);
        QSignalSpy ready(&p, &MoviePlayer::readyStateChanged);
        QSignalSpy stream(&p, &MoviePlayer::newStreamReady);
        p.setFileName(m_clip);
        QCOMPARE(opening.size(), 1);
        QCOMPARE(p.readyState(), int(MoviePlayer::Loading));
        QVERIFY(waitReady(p));
        QCOMPARE(stream.size(), 1);
        QCOMPARE(ready.size(), 1);
        QCOMPARE(ready.first().first().toInt(), 4);
        QCOMPARE(p.frameCount(), 50);
        QCOMPARE(p.frameSize(), QSize(160, 120));
        QVERIFY(p.hasSound());
        QCOMPARE(p.currentFrame(), 0);

        MovieReader reader;
        QVERIFY(reader.open(m_clip));
        const auto expect = [&](qint64 n) {
            QVERIFY2(waitFrame(p, n), qPrintable(QString::number(n)));
            QCOMPARE(p.currentImage(), reader.image(n, QImage::Format_RGB32));
        };
        p.seekFrame(17);
        expect(17);
        p.step(1);
        expect(18);
        p.step(-1);
        p.step(-1);
        expect(16);
        p.toEnd();
        expect(49);
        p.step(1); // past the end stays at the end
        expect(49);
        p.toStart();
        expect(0);
        p.step(-1);
        expect(0);
        p.seekFrame(1000);
        expect(49);

        p.setDisplayMode(MoviePlayer::Frames);
        QCOMPARE(p.currentPosition(), 49.0);
        QCOMPARE(p.duration(), 50.0);
        p.setDisplayMode(MoviePlayer::Time);
        QCOMPARE(p.duration(), 2.0);
        QCOMPARE(p.currentPosition(), 49 / 25.0);
    }

    // Without a sound output the movie plays on the video clock to its end.
    void playerPlaysToTheEnd()
    {
        MoviePlayer p;
        p.setFileName(m_clip);
        QVERIFY(waitReady(p));
        QList<qint64> shown;
        connect(&p, &MoviePlayer::frameShown, &p, [&](const QImage&, qint64 n) { shown << n; });
        QSignalSpy ended(&p, &MoviePlayer::ended);
        QSignalSpy playing(&p, &MoviePlayer::playingChanged);
        p.play();
        QVERIFY(p.isPlaying());
        QVERIFY(ended.wait(20000));
        QVERIFY(!p.isPlaying());
        QCOMPARE(p.currentFrame(), 50); // the position stands at the very end
        QVERIFY(!shown.isEmpty());
        QVERIFY(std::is_sorted(shown.begin(), shown.end()));
        QCOMPARE(playing.size(), 2);
        // Play again starts from the beginning; pause keeps the place.
        p.play();
        QVERIFY(QTest::qWaitFor([&] { return p.currentFrame() >= 3 && p.currentFrame() < 50; }, 20000));
        p.pause();
        const qint64 at = p.currentFrame();
        QTest::qWait(200);
        QCOMPARE(p.currentFrame(), at);
        p.stop();
        QVERIFY(waitFrame(p, 0));
    }

    // With a sound output the track plays beside the picture; without one the
    // movie plays silently; both run to the end on the video clock.
    void playerSound_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("audible");
        QTest::newRow("ALSA null output") << QByteArray("null") << true;
        QTest::newRow("no such output") << QByteArray("lumivark_no_such_device") << false;
    }

    void playerSound()
    {
        QFETCH(QByteArray, device);
        QFETCH(bool, audible);
        qputenv("LUMIVARK_SOUND_DEVICE", device);
        MoviePlayer p;
        p.setFileName(m_clip);
        QVERIFY(waitReady(p));
        QVERIFY(p.hasSound());
        QSignalSpy ended(&p, &MoviePlayer::ended);
        p.play();
        QTRY_COMPARE_WITH_TIMEOUT(p.soundAudible(), audible, 5000);
        QTest::qWait(100);
        QCOMPARE(p.soundAudible(), audible);
        QVERIFY(ended.wait(20000));
        QCOMPARE(p.currentFrame(), 50);
        QVERIFY(!p.soundAudible());
        qunsetenv("LUMIVARK_SOUND_DEVICE");
    }

    void playerRefusesBadFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not an avi") << QStringLiteral("text");
        QTest::newRow("sound only") << QStringLiteral("sound");
        QTest::newRow("missing") << QStringLiteral("missing");
    }

    void playerRefusesBadFiles()
    {
        QFETCH(QString, kind);
        const QString file = path(QStringLiteral("bad-%1.avi").arg(kind));
        if (kind == QLatin1String("text")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a movie");
        } else if (kind == QLatin1String("sound")) {
            QVERIFY(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=duration=1"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), file}));
        }
        MoviePlayer p;
        QSignalSpy failed(&p, &MoviePlayer::openFailed);
        p.setFileName(file);
        QVERIFY(failed.wait(20000));
        QVERIFY(!failed.first().first().toString().isEmpty());
        QCOMPARE(p.readyState(), int(MoviePlayer::Uninitialized));
        p.play();
        p.step(1);
        QVERIFY(!p.isPlaying());
        // The same player takes a good file afterwards.
        p.setFileName(m_clip);
        QVERIFY(waitReady(p));
    }

    void windowOpensAndShowsPosition()
    {
        HostLog log;
        MovieViewer w(log.host(), QString());
        QCOMPARE(w.windowTitle(), QStringLiteral("Movie Window"));
        QCOMPARE(log.viewerShown, 1);
        QStringList keys;
        for (QAction* a : w.Mastertoolbar()->actions())
            keys << a->objectName();
        QCOMPARE(keys, (QStringList{QStringLiteral("recompress"), QStringLiteral("extractimg"), QStringLiteral("extractall")}));
        QVERIFY(w.Mastertoolbar()->actions().at(0)->isEnabled());
        QCOMPARE(w.DisplayType(0)->text(), QStringLiteral("Time"));
        QCOMPARE(w.DisplayType(1)->text(), QStringLiteral("Frames"));
        QVERIFY(w.DisplayType(0)->isChecked());
        QCOMPARE(w.Timer1().interval(), 10);
        QVERIFY(w.Timer1().isActive());

        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QCOMPARE(w.windowTitle(), QStringLiteral("clip.avi"));
        QCOMPARE(w.MovieInfo()->text(), QStringLiteral("Openning..."));
        QVERIFY(w.isVisible());
        QVERIFY(waitReady(w.player()));
        QTRY_COMPARE(w.MovieInfo()->text(), QStringLiteral("00:00:00 / 00:00:02"));
        QVERIFY(!w.player().isPlaying());

        // FitToMovie: the player at the movie's size under the cool bar, centred.
        QCOMPARE(w.movie()->pictureRect().height(), 120);
        QVERIFY(w.movie()->pictureRect().width() >= 160);
        QVERIFY(w.movie()->y() >= w.findChild<QWidget*>(QStringLiteral("CoolBar1"))->geometry().bottom() + 8);
        QVERIFY(qAbs(w.movie()->x() - (w.width() - w.movie()->width()) / 2) <= 1);
        QVERIFY(w.width() >= w.Mastertoolbar()->sizeHint().width());
        // The label sits at the right of the strip, 20 pixels in.
        QWidget* strip = w.findChild<QWidget*>(QStringLiteral("TopPic"));
        QCOMPARE(w.MovieInfo()->geometry().right() + 1, strip->width() - 20);

        w.DisplayType(1)->click();
        QTRY_COMPARE(w.MovieInfo()->text(), QStringLiteral("00000000 / 0000050"));

        // Keys: right steps, left steps back, End and Home.
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(&w, Qt::Key_Right);
        QTRY_COMPARE(w.MovieInfo()->text(), QStringLiteral("00000003 / 0000050"));
        QVERIFY(waitFrame(w.player(), 3));
        QTest::keyClick(&w, Qt::Key_End);
        QVERIFY(waitFrame(w.player(), 49));
        QTest::keyClick(&w, Qt::Key_Left);
        QVERIFY(waitFrame(w.player(), 48));
        QTest::keyClick(&w, Qt::Key_Home);
        QVERIFY(waitFrame(w.player(), 0));
        QTest::keyClick(&w, Qt::Key_Space);
        QVERIFY(w.player().isPlaying());
        QTest::keyClick(&w, Qt::Key_Space);
        QVERIFY(!w.player().isPlaying());

        // The transport bar: the seek bar follows the frame and moves it.
        w.player().seekFrame(20);
        QVERIFY(waitFrame(w.player(), 20));
        QCOMPARE(w.movie()->seekBar()->maximum(), 49);
        QTRY_COMPARE(w.movie()->seekBar()->value(), 20);
        w.movie()->seekBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QVERIFY(waitFrame(w.player(), 20 + w.movie()->seekBar()->pageStep()));
        w.movie()->forwardButton()->click();
        QVERIFY(waitFrame(w.player(), 21 + w.movie()->seekBar()->pageStep()));
        w.movie()->stopButton()->click();
        QVERIFY(waitFrame(w.player(), 0));
    }

    // The frame on screen after seeking and stepping is the one the editor gets.
    // Time/Frames switch the display however they are checked: a screen reader's
    // toggle or press action, or a program checking the button.
    void displayTypeFollowsItsButton_data()
    {
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("how");
        for (int to : {1, 0})
            for (const char* how : {"toggle", "press", "setChecked"})
                QTest::addRow("%s by %s", to ? "Frames" : "Time", how) << to << QString::fromLatin1(how);
    }
    void displayTypeFollowsItsButton()
    {
        QFETCH(int, to);
        QFETCH(QString, how);
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        if (to == 0) {
            w.DisplayType(1)->click();
            QCOMPARE(w.player().displayMode(), 1);
        }
        QRadioButton* button = w.DisplayType(to);
        if (how == QLatin1String("setChecked")) {
            button->setChecked(true);
        } else {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
            QVERIFY(iface && iface->actionInterface());
            iface->actionInterface()->doAction(how == QLatin1String("toggle") ? QAccessibleActionInterface::toggleAction()
                                                                             : QAccessibleActionInterface::pressAction());
        }
        QTRY_COMPARE(w.player().displayMode(), to);
        QVERIFY(w.DisplayType(to)->isChecked());
        QVERIFY(!w.DisplayType(1 - to)->isChecked());
        QTRY_COMPARE(w.MovieInfo()->text(), to ? QStringLiteral("00000000 / 0000050") : QStringLiteral("00:00:00 / 00:00:02"));
    }

    // Tab reaches every button of the window and the Time/Frames choice.
    void keyboardReachesEveryControl()
    {
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.setFocus();
        QSet<QString> reached;
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_Tab);
            if (QWidget* f = QApplication::focusWidget()) {
                if (auto* b = qobject_cast<QToolButton*>(f); b && b->defaultAction())
                    reached.insert(b->defaultAction()->objectName());
                else
                    reached.insert(f->objectName());
            }
        }
        for (const char* name : {"recompress", "extractimg", "extractall"})
            QVERIFY2(reached.contains(QString::fromLatin1(name)), name);
        // Tab stops at the checked one of Time/Frames; an arrow key switches, as in any radio group.
        QVERIFY(reached.contains(QStringLiteral("DisplayType0")) || reached.contains(QStringLiteral("DisplayType1")));
        const int shown = w.player().displayMode();
        w.DisplayType(shown)->setFocus();
        QTest::keyClick(w.DisplayType(shown), shown == 0 ? Qt::Key_Right : Qt::Key_Left);
        QTRY_COMPARE(w.player().displayMode(), 1 - shown);
    }

    void extractImageTakesTheFrameShown_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("time mode") << 0;
        QTest::newRow("frames mode") << 1;
    }

    void extractImageTakesTheFrameShown()
    {
        QFETCH(int, mode);
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        w.DisplayType(mode)->click();
        w.player().seekFrame(30);
        QTest::keyClick(&w, Qt::Key_Left);
        QTest::keyClick(&w, Qt::Key_Left);
        QTest::keyClick(&w, Qt::Key_Right);
        QVERIFY(waitFrame(w.player(), 29));
        QSignalSpy done(&w.extractor(), &FrameExtractor::finished);
        w.toolbarClicked(QStringLiteral("extractimg"));
        QVERIFY(!w.isEnabled());
        QCOMPARE(log.allControls, QList<bool>{false});
        QVERIFY(done.wait(20000));
        QVERIFY(w.isEnabled());
        QCOMPARE(log.allControls, (QList<bool>{false, true}));
        QCOMPARE(log.busy, (QList<bool>{true, false}));
        QCOMPARE(log.editors.size(), 1);
        QCOMPARE(log.editors.first().second, QStringLiteral("clip_Frame_29"));
        QCOMPARE(log.editors.first().first, w.player().currentImage());
        QCOMPARE(log.statuses.last(), QStringLiteral("Image Extracted"));
        QCOMPARE(w.player().displayMode(), mode);
    }

    void extractImageAtTheEndTakesTheLastFrame()
    {
        HostLog log;
        MovieViewer w(log.host(), QStringLiteral("1"));
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QSignalSpy ended(&w.player(), &MoviePlayer::ended);
        QVERIFY(ended.wait(20000)); // Autoplay "1" started it
        QCOMPARE(w.player().currentFrame(), 50);
        QSignalSpy done(&w.extractor(), &FrameExtractor::finished);
        w.ExtractImage();
        QVERIFY(done.wait(20000));
        QCOMPARE(log.editors.size(), 1);
        QCOMPARE(log.editors.first().second, QStringLiteral("clip_Frame_49"));
        MovieReader reader;
        QVERIFY(reader.open(m_clip));
        QCOMPARE(log.editors.first().first, reader.image(49, QImage::Format_RGB32));
    }

    void autoplayOffStaysStill()
    {
        HostLog log;
        MovieViewer w(log.host(), QStringLiteral("0"));
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        QTest::qWait(100);
        QVERIFY(!w.player().isPlaying());
        QCOMPARE(w.player().currentFrame(), 0);
    }

    // Extract All from the window: the dialog, the status texts, a close
    // refused meanwhile, Cancel offered and working.
    void extractAllFromTheWindow()
    {
        ScopedScriptedDialogs dlg;
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        QDir().mkpath(path(QStringLiteral("all")));
        dlg.d.fileAnswers.enqueue(path(QStringLiteral("all/shot.bmp")));
        QSignalSpy done(&w.extractor(), &FrameExtractor::finished);
        w.toolbarClicked(QStringLiteral("extractall"));
        QCOMPARE(dlg.d.requests.size(), 1);
        QCOMPARE(dlg.d.requests.first().text, QStringLiteral("Location to save images..."));
        QCOMPARE(dlg.d.requests.first().caption, QStringLiteral("Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|"));
        QVERIFY(!w.isEnabled());
        QVERIFY(log.cancel);
        QVERIFY(!w.close()); // refused while disabled
        QVERIFY(w.isVisible());
        QVERIFY(w.Timer1().isActive());
        QVERIFY(done.wait(30000));
        QVERIFY(!log.cancel);
        QCOMPARE(log.statuses.first(), QStringLiteral("Saving  of 49 frames"));
        QCOMPARE(log.statuses.at(log.statuses.size() - 2), QStringLiteral("Saving 49 of 49 frames"));
        QCOMPARE(log.statuses.last(), QStringLiteral("Done"));
        QCOMPARE(QDir(path(QStringLiteral("all"))).entryList(QDir::Files).size(), 50);
        QVERIFY(!QFile::exists(path(QStringLiteral("temp.bmp"))));

        // The next dialog offers the last name without its extension; cancel ends quietly.
        log.statuses.clear();
        w.ExtractAllImages();
        QCOMPARE(dlg.d.requests.last().initial, path(QStringLiteral("all/shot")));
        QVERIFY(w.isEnabled());
        QVERIFY(log.statuses.isEmpty());

        // Cancel on a long movie keeps what was written.
        w.openMovie(m_long, QStringLiteral("long.avi"));
        QVERIFY(waitReady(w.player()));
        QDir().mkpath(path(QStringLiteral("cancel")));
        dlg.d.fileAnswers.enqueue(path(QStringLiteral("cancel/c.jpg")));
        QSignalSpy done2(&w.extractor(), &FrameExtractor::finished);
        connect(&w.extractor(), &FrameExtractor::progress, &w, [&log](qint64 i) {
            if (i == 1 && log.cancel)
                log.cancel();
        });
        w.ExtractAllImages();
        QVERIFY(done2.wait(30000));
        QCOMPARE(log.statuses.last(), QStringLiteral("Cancelled."));
        const int written = int(QDir(path(QStringLiteral("cancel"))).entryList(QDir::Files).size());
        QVERIFY(written >= 2 && written < 400);
        QVERIFY(w.isEnabled());
        QVERIFY(w.close());
    }

    // JPEG frames that cannot be written: one message box for the run, each
    // failure in the status, and the run still ends with "Done".
    void extractAllJpegFailures()
    {
        ScopedScriptedDialogs dlg;
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        QFile blocker(path(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        dlg.d.fileAnswers.enqueue(path(QStringLiteral("blocked/x.jpg")));
        QSignalSpy done(&w.extractor(), &FrameExtractor::finished);
        w.ExtractAllImages();
        QVERIFY(done.wait(30000));
        QCOMPARE(dlg.d.messages(), QStringList{QStringLiteral("Failed to save to JPG")});
        QVERIFY(log.statuses.contains(QStringLiteral("Error writing ") + path(QStringLiteral("blocked/x_Frame_7.jpg"))
                                      + QStringLiteral("JPEG File.")));
        QCOMPARE(log.statuses.last(), QStringLiteral("Done"));
    }

    void extractFromBrokenFileSaysSo()
    {
        ScopedScriptedDialogs dlg;
        HostLog log;
        MovieViewer w(log.host(), QString());
        // The movie disappears after it was loaded.
        const QString gone = path(QStringLiteral("gone.avi"));
        QVERIFY(QFile::copy(m_clip, gone));
        w.openMovie(gone, QStringLiteral("gone.avi"));
        QVERIFY(waitReady(w.player()));
        QVERIFY(QFile::remove(gone));
        dlg.d.fileAnswers.enqueue(path(QStringLiteral("gone-shot.bmp")));
        QSignalSpy done(&w.extractor(), &FrameExtractor::finished);
        w.ExtractAllImages();
        QVERIFY(done.wait(20000));
        QCOMPARE(log.statuses.last(), QStringLiteral("Error Extracting Image"));
        QVERIFY(w.isEnabled());
        QCOMPARE(log.allControls.last(), true);
    }
};

QTEST_MAIN(MovieViewerTest)
#include "movieviewer_test.moc"
