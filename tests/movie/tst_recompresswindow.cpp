#include "ffprobe.h"
#include "moviefiles.h"
#include "base/scripteddialogs.h"
#include "movie/ui/compressiondialog.h"
#include "movie/movieplayer.h"
#include "movie/ui/movieviewer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

extern "C" {
#include <libavutil/log.h>
}

using namespace lv;

namespace {

// What the movie window asked of the main window.
struct HostLog {
    QStringList statuses;
    QList<bool> allControls;
    std::function<void()> cancel;

    MovieViewerHost host()
    {
        MovieViewerHost h;
        h.status = [this](const QString& s) { statuses << s; };
        h.allControls = [this](bool on) { allControls << on; };
        h.busy = [](bool) {};
        h.offerCancel = [this](std::function<void()> fn) { cancel = std::move(fn); };
        h.viewerShown = [] {};
        h.jpegQuality = [] { return 90; };
        return h;
    }
};

// Answers the next compression options dialog: options set, then OK (or Cancel).
void answerOptions(const RecompressOptions& options, bool accept = true)
{
    QTimer::singleShot(0, [options, accept] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CompressionDialog*>(w); d && d->isVisible()) {
                d->setRecompressOptions(options);
                accept ? d->accept() : d->reject();
            }
    });
}

bool waitReady(MoviePlayer& p)
{
    return QTest::qWaitFor([&] { return p.readyState() == MoviePlayer::Complete; }, 20000);
}

} // namespace

class RecompressWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip; // 50 frames with sound
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        av_log_set_level(AV_LOG_QUIET);
        qputenv("LUMIVARK_HOME", m_dir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toLocal8Bit());
        qRegisterMetaType<lv::RecompressResult>();
        m_clip = path(QStringLiteral("clip.avi"));
        QVERIFY(moviefiles::makeMovie(m_clip, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 50, 160, 120, true));
    }

    // The whole tool: save dialog, options, the worker, the status line, the
    // new movie loaded into the player under its own name.
    void recompressFromTheToolBar()
    {
        ScopedScriptedDialogs dlg;
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        const QString output = path(QStringLiteral("new.avi"));
        dlg.d.fileAnswers.enqueue(output);
        RecompressOptions o;
        o.encoder = QStringLiteral("ffv1");
        answerOptions(o);
        QSignalSpy done(&w.recompression(), &Recompression::finished);
        w.Mastertoolbar()->actions().at(0)->trigger();
        QCOMPARE(dlg.d.requests.size(), 1);
        QCOMPARE(dlg.d.requests.first().text, QStringLiteral("Save Recompressed AVI..."));
        QCOMPARE(dlg.d.requests.first().caption, QStringLiteral("Movie File (*.avi)|*.avi|Matroska Movie (*.mkv)|*.mkv|MP4 Movie (*.mp4)|*.mp4"));
        QCOMPARE(dlg.d.requests.first().initial, path(QStringLiteral("clip")));
        // While it runs: everything disabled, a way to cancel, and no closing.
        QVERIFY(!w.isEnabled());
        QCOMPARE(log.allControls, QList<bool>{false});
        QVERIFY(log.cancel);
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QVERIFY(done.wait(60000));

        QCOMPARE(log.statuses.first(), QStringLiteral("Compressing... 0%"));
        QVERIFY(log.statuses.contains(QStringLiteral("Compressing... 100%")));
        QCOMPARE(log.statuses.last(), QStringLiteral("Recompressed"));
        QVERIFY(w.isEnabled());
        QCOMPARE(log.allControls.last(), true);
        QVERIFY(!log.cancel);
        QCOMPARE(w.windowTitle(), QStringLiteral("new.avi"));
        QCOMPARE(w.player().fileName(), output);
        QVERIFY(waitReady(w.player()));
        QCOMPARE(w.player().frameCount(), 50);
        QCOMPARE(probeStream(ffprobe(output), QStringLiteral("video")).value(QStringLiteral("codec_name")).toString(),
                 QStringLiteral("ffv1"));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("new.wav"))));
        QVERIFY(w.close());
    }

    // Cancelling either dialog ends quietly and writes nothing.
    void dialogsCancelled()
    {
        ScopedScriptedDialogs dlg;
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);
        w.RecompressFile(); // the save dialog answers Cancel
        dlg.d.fileAnswers.enqueue(path(QStringLiteral("never.avi")));
        answerOptions({}, false);
        w.RecompressFile();
        QCOMPARE(dlg.d.requests.size(), 2);
        QVERIFY(log.statuses.isEmpty());
        QVERIFY(log.allControls.isEmpty());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
        QVERIFY(w.isEnabled());
    }

    void refusedAndCancelled()
    {
        ScopedScriptedDialogs dlg;
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.openMovie(m_clip, QStringLiteral("clip.avi"));
        QVERIFY(waitReady(w.player()));
        const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);

        // The movie itself as the output: refused, with the reason.
        dlg.d.fileAnswers.enqueue(m_clip);
        answerOptions({});
        QSignalSpy done(&w.recompression(), &Recompression::finished);
        w.RecompressFile();
        QVERIFY(done.wait(30000));
        QVERIFY2(log.statuses.last().startsWith(QStringLiteral("Error Recompressing ") + m_clip + QStringLiteral(": ")),
                 qPrintable(log.statuses.last()));
        QVERIFY(log.statuses.last().contains(QLatin1String("replace the movie itself")));
        QVERIFY(decodesCleanly(m_clip));
        QVERIFY(w.isEnabled());

        // Cancelled through the offered control: nothing is left.
        dlg.d.fileAnswers.enqueue(path(QStringLiteral("stopped.avi")));
        RecompressOptions o;
        o.encoder = QStringLiteral("huffyuv");
        answerOptions(o);
        w.RecompressFile();
        QVERIFY(log.cancel);
        log.cancel();
        QVERIFY(done.wait(30000));
        QCOMPARE(log.statuses.last(), QStringLiteral("Cancelled."));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
        QCOMPARE(w.windowTitle(), QStringLiteral("clip.avi"));
        QVERIFY(w.isEnabled());
        QCOMPARE(log.allControls.last(), true);
    }

    // Nothing is asked for a movie that cannot be read.
    void unreadableMovie()
    {
        ScopedScriptedDialogs dlg;
        HostLog log;
        MovieViewer w(log.host(), QString());
        w.RecompressFile();
        QVERIFY(dlg.d.requests.isEmpty());
        QCOMPARE(log.statuses, QStringList{QStringLiteral("Error Recompressing ")});
    }

    // The options dialog of a recompression: key frames and data rate beside
    // codec and quality, each only where the codec can use it.
    void optionsDialog_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<bool>("quality");
        QTest::addColumn<bool>("keyFrames");
        QTest::addColumn<bool>("dataRate");
        QTest::newRow("mpeg4") << "mpeg4" << true << true << true;
        QTest::newRow("mjpeg: every frame a key frame") << "mjpeg" << true << false << true;
        QTest::newRow("ffv1: lossless") << "ffv1" << false << false << false;
        QTest::newRow("raw") << "rawvideo" << false << false << false;
    }
    void optionsDialog()
    {
        QFETCH(QString, encoder);
        QFETCH(bool, quality);
        QFETCH(bool, keyFrames);
        QFETCH(bool, dataRate);
        CompressionDialog d(nullptr, CodecChoice{}, CompressionDialog::Purpose::Recompression);
        RecompressOptions o;
        o.encoder = encoder;
        o.quality = 90;
        o.keyFrameEvery = 12;
        o.dataRate = 250;
        d.setRecompressOptions(o);
        QCOMPARE(d.qualityEnabled(), quality);
        QCOMPARE(d.findChild<QCheckBox*>(QStringLiteral("keyFramesOn"))->isEnabled(), keyFrames);
        QCOMPARE(d.findChild<QSpinBox*>(QStringLiteral("keyFrameEvery"))->isEnabled(), keyFrames);
        QCOMPARE(d.findChild<QCheckBox*>(QStringLiteral("dataRateOn"))->isEnabled(), dataRate);
        const RecompressOptions got = d.recompressOptions();
        QCOMPARE(got.encoder, encoder);
        QCOMPARE(got.quality, 90);
        QCOMPARE(got.keyFrameEvery, keyFrames ? 12 : 0);
        QCOMPARE(got.dataRate, dataRate ? 250 : 0);

        // Switched off, they give nothing.
        d.findChild<QCheckBox*>(QStringLiteral("keyFramesOn"))->setChecked(false);
        d.findChild<QCheckBox*>(QStringLiteral("dataRateOn"))->setChecked(false);
        QCOMPARE(d.recompressOptions().keyFrameEvery, 0);
        QCOMPARE(d.recompressOptions().dataRate, 0);
        QVERIFY(!d.findChild<QSpinBox*>(QStringLiteral("dataRate"))->isEnabled());
    }

    // The recording form has no such rows.
    void recordingDialogUnchanged()
    {
        CompressionDialog d(nullptr, CodecChoice{});
        QVERIFY(!d.findChild<QCheckBox*>(QStringLiteral("keyFramesOn")));
        QCOMPARE(d.recompressOptions().keyFrameEvery, 0);
    }

    // Last: it leaves a codec choice stored.
    void compressionDialogOffersAndKeepsTheChoice()
    {
        QVERIFY(isAviVideoCodec(QStringLiteral("mjpeg")));
        QVERIFY(isAviVideoCodec(QStringLiteral("rawvideo")));
        QVERIFY(!isAviVideoCodec(QStringLiteral("png-in-avi-nonsense")));
        CompressionDialog dlg(nullptr, CodecChoice{});
        const QStringList listed = dlg.listedEncoders();
        QCOMPARE(listed.value(0), QStringLiteral("rawvideo"));
        QCOMPARE(listed.value(1), QStringLiteral("mjpeg"));
        QCOMPARE(dlg.choice().encoder, QStringLiteral("mjpeg"));
        QVERIFY(dlg.qualityEnabled());
        dlg.setChoice({QStringLiteral("ffv1"), 40});
        QVERIFY(!dlg.qualityEnabled()); // lossless
        dlg.setChoice({QStringLiteral("no-such-encoder"), 250});
        QCOMPARE(dlg.choice().encoder, QStringLiteral("mjpeg"));
        QCOMPARE(dlg.choice().quality, 100);

        saveCodecChoice({QStringLiteral("ffv1"), 33});
        QCOMPARE(savedCodecChoice().encoder, QStringLiteral("ffv1"));
        QCOMPARE(savedCodecChoice().quality, 33);
        CompressionDialog reopened;
        QCOMPARE(reopened.choice().encoder, QStringLiteral("ffv1"));
        // A stored codec this machine lacks falls back to Motion JPEG.
        saveCodecChoice({QStringLiteral("gone"), 50});
        QCOMPARE(savedCodecChoice().encoder, QStringLiteral("mjpeg"));
    }
};

QTEST_MAIN(RecompressWindowTest)
#include "tst_recompresswindow.moc"
