// The ways into the movie window, through the real application windows.
#include "apptestenv.h"

#include "app/application.h"
#include "app/keyedtoolbar.h"
#include "app/mainwindow.h"
#include "app/moviewindows.h"
#include "base/scripteddialogs.h"
#include "image/ui/imageeditor.h"
#include "movie/movieplayer.h"
#include "movie/ui/movieviewer.h"
#include "mainwindowparts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <malloc.h>
#include <unistd.h>

using lv::test::part;

extern "C" {
#include <libavutil/log.h>
}

using namespace lv;

namespace {

bool makeClip(const QString& file, int frames)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-y"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc=size=160x120:rate=25"), QStringLiteral("-frames:v"), QString::number(frames),
             QStringLiteral("-c:v"), QStringLiteral("mjpeg"), file});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

QList<ImageEditor*> editors(MainWindow& m)
{
    QList<ImageEditor*> out;
    for (QMdiSubWindow* sub : m.mdiArea()->subWindowList())
        if (auto* e = qobject_cast<ImageEditor*>(sub->widget()))
            out << e;
    return out;
}

bool loaded(MovieViewer* v)
{
    return v && v->player().readyState() == MoviePlayer::Complete && v->player().imageFrame() >= 0;
}

// The program's resident size, in kilobytes.
qint64 residentKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// The bytes the program has taken from the heap and not given back: unlike
// the resident size, not blurred by pages the allocator keeps.
qint64 heapInUse()
{
    return qint64(mallinfo2().uordblks);
}

// What the objects that live as long as the program hold: a growing count
// is something kept per movie window.
struct Held {
    qsizetype app, master, area, viewport, widgets;
    bool operator==(const Held&) const = default;
};
Held heldBy(MainWindow& m)
{
    return {qApp->children().size(), m.findChildren<QObject*>().size(), m.mdiArea()->children().size(),
            m.mdiArea()->viewport()->children().size(), QApplication::allWidgets().size()};
}
QString describe(const Held& h)
{
    return QStringLiteral("application %1, main window %2, area %3, viewport %4, widgets %5")
        .arg(h.app).arg(h.master).arg(h.area).arg(h.viewport).arg(h.widgets);
}

} // namespace

class MovieEntryTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;

private slots:
    void initTestCase()
    {
        av_log_set_level(AV_LOG_QUIET);
        m_clip = m_dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(makeClip(m_clip, 40));
        QVERIFY(QFile::copy(m_clip, m_dir.filePath(QStringLiteral("LOUD.AVI"))));
    }

    void commandsOpenTheViewer_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::newRow("file menu") << QStringLiteral("menu") << QStringLiteral("clip.avi") << QStringLiteral("Open AVI");
        QTest::newRow("toolbar") << QStringLiteral("toolbar") << QStringLiteral("clip.avi") << QStringLiteral("Open AVI");
        QTest::newRow("open capture file") << QStringLiteral("open") << QStringLiteral("clip.avi")
                                           << QStringLiteral("Open Capture Parameters");
        QTest::newRow("open capture file, upper case") << QStringLiteral("open") << QStringLiteral("LOUD.AVI")
                                                       << QStringLiteral("Open Capture Parameters");
        QTest::newRow("cancelled") << QStringLiteral("menu") << QString() << QStringLiteral("Open AVI");
    }

    void commandsOpenTheViewer()
    {
        QFETCH(QString, how);
        QFETCH(QString, file);
        QFETCH(QString, title);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain(QString());
        QVERIFY(m.action(Command::Viewer)->isEnabled());
        QVERIFY(m.MainToolbar->button(QStringLiteral("viewer"))->isEnabled());
        QVERIFY(!app.run().ViewerShown);

        dlg.d.fileAnswers.enqueue(file.isEmpty() ? QString() : m_dir.filePath(file));
        if (how == QLatin1String("menu"))
            m.action(Command::Viewer)->trigger();
        else if (how == QLatin1String("toolbar"))
            m.MainToolbar->button(QStringLiteral("viewer"))->trigger();
        else
            m.action(Command::Open)->trigger();
        QCOMPARE(dlg.d.requests.size(), 1);
        QCOMPARE(dlg.d.requests.first().text, title);
        if (how != QLatin1String("open"))
            QCOMPARE(dlg.d.requests.first().caption, QStringLiteral("Movie Files (*.avi;*.mkv;*.mp4)|*.avi;*.mkv;*.mp4|All Files (*.*)|*.*|"));

        MovieViewer* v = app.movieWindows()->viewer();
        if (file.isEmpty()) {
            QVERIFY(!v);
            QVERIFY(!app.run().ViewerShown);
            return;
        }
        QVERIFY(v);
        QVERIFY(app.run().ViewerShown);
        QCOMPARE(v->windowTitle(), file);
        auto* sub = qobject_cast<QMdiSubWindow*>(v->parentWidget());
        QVERIFY(sub);
        QVERIFY(sub->isVisible());
        QVERIFY(!sub->isMaximized());
        QTRY_VERIFY_WITH_TIMEOUT(loaded(v), 20000);
        QCOMPARE(v->player().frameCount(), 40);

        // A second file goes into the same window.
        dlg.d.fileAnswers.enqueue(m_clip);
        m.action(Command::Viewer)->trigger();
        QCOMPARE(app.movieWindows()->viewer(), v);
        QCOMPARE(v->windowTitle(), QStringLiteral("clip.avi"));
    }

    // Extract Image from the window in the application: an editor opens on the
    // frame; Extract All offers Cancel in the main window and the window
    // refuses to close meanwhile.
    void extractionInTheApplication()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain(QString());
        dlg.d.fileAnswers.enqueue(m_clip);
        m.action(Command::Viewer)->trigger();
        MovieViewer* v = app.movieWindows()->viewer();
        QTRY_VERIFY_WITH_TIMEOUT(loaded(v), 20000);
        v->player().seekFrame(12);
        QTRY_VERIFY_WITH_TIMEOUT(v->player().imageFrame() == 12, 20000);

        v->toolbarClicked(QStringLiteral("extractimg"));
        QVERIFY(!m.MainToolbar->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(editors(m).size(), 1, 20000);
        ImageEditor* editor = editors(m).first();
        QCOMPARE(editor->windowTitle(), QStringLiteral("clip_Frame_12"));
        QCOMPARE(editor->MasterImage().drawnImage().convertToFormat(QImage::Format_RGB32),
                 v->player().currentImage().convertToFormat(QImage::Format_RGB32));
        QCOMPARE(part<QLabel>(m, "StatusString")->text(), QStringLiteral("Image Extracted"));
        QTRY_VERIFY(m.MainToolbar->isEnabled());
        QVERIFY(v->isEnabled());

        const QString longClip = m_dir.filePath(QStringLiteral("long.avi"));
        QVERIFY(makeClip(longClip, 600));
        dlg.d.fileAnswers.enqueue(longClip);
        m.action(Command::Viewer)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(loaded(v) && v->player().frameCount() == 600, 20000);
        QDir().mkpath(m_dir.filePath(QStringLiteral("frames")));
        dlg.d.fileAnswers.enqueue(m_dir.filePath(QStringLiteral("frames/f.bmp")));
        v->toolbarClicked(QStringLiteral("extractall"));
        auto* cancel = m.findChild<QPushButton*>(QStringLiteral("ExtractCancel"));
        QVERIFY(cancel);
        QVERIFY(cancel->isEnabled());
        auto* sub = qobject_cast<QMdiSubWindow*>(v->parentWidget());
        QVERIFY(!sub->close());
        QVERIFY(app.movieWindows()->viewer());
        QTRY_VERIFY_WITH_TIMEOUT(part<QLabel>(m, "StatusString")->text().startsWith(QLatin1String("Saving")), 20000);
        cancel->click();
        QTRY_COMPARE_WITH_TIMEOUT(part<QLabel>(m, "StatusString")->text(), QStringLiteral("Cancelled."), 20000);
        QTRY_VERIFY(!m.findChild<QPushButton*>(QStringLiteral("ExtractCancel")));
        QVERIFY(m.MainToolbar->isEnabled());
        const int written = int(QDir(m_dir.filePath(QStringLiteral("frames"))).entryList(QDir::Files).size());
        QVERIFY(written > 0 && written < 600);
        QVERIFY(sub->close());
        QTRY_VERIFY(!app.movieWindows()->viewer());
    }

    // After a movie capture the viewer pops up on the new file when the
    // preference is on; the next recording closes it first and pops it up again.
    void popUpAfterCaptureAndCloseAtStart_data()
    {
        QTest::addColumn<QString>("preference");
        QTest::newRow("pop-up on") << QStringLiteral("1");
        QTest::newRow("pop-up off") << QStringLiteral("0");
    }

    void popUpAfterCaptureAndCloseAtStart()
    {
        QFETCH(QString, preference);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain(QString());
        app.model().preferences().PopUpMovieViewer = preference;
        app.model().preferences().SystemSounds = QStringLiteral("0");
        const QString movie = m_dir.filePath(QStringLiteral("recorded-%1.avi").arg(preference));
        m.SelectMovieMode();
        app.model().setFileName(movie);
        part<QCheckBox>(m, "MovieDisableLimit")->setChecked(false);
        part<QSpinBox>(m, "MovieHoursControl")->setValue(0);
        part<QSpinBox>(m, "MovieMinutesControl")->setValue(0);
        part<QSpinBox>(m, "MovieSecondsControl")->setValue(1);

        m.RecordButtonClicked();
        QTRY_COMPARE_WITH_TIMEOUT(part<QLabel>(m, "StatusString")->text(), QStringLiteral("Stopped"), 20000);
        MovieViewer* v = app.movieWindows()->viewer();
        if (preference != QLatin1String("1")) {
            QVERIFY(!v);
            QVERIFY(!app.run().ViewerShown);
            return;
        }
        QVERIFY(v);
        QVERIFY(app.run().ViewerShown);
        QCOMPARE(v->windowTitle(), movie);
        QTRY_VERIFY_WITH_TIMEOUT(loaded(v), 20000);
        QVERIFY(v->player().frameCount() > 0);

        // The next recording closes the viewer as it starts.
        m.RecordButtonClicked();
        QTRY_VERIFY_WITH_TIMEOUT(!app.movieWindows()->viewer(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(part<QLabel>(m, "StatusString")->text(), QStringLiteral("Stopped"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(loaded(app.movieWindows()->viewer()), 20000);
        QCOMPARE(app.movieWindows()->viewer()->windowTitle(), movie);
    }

    // Opening and closing the movie window again and again leaves nothing
    // behind: neither objects held by the main window or the application nor
    // memory.
    void openAndCloseManyTimesStaysFlat()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application::prepareDesktop(); // the program's icon on every window, as at start-up
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain(QString());
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        const auto openAndClose = [&] {
            app.movieWindows()->open(m_clip, QStringLiteral("clip.avi"));
            MovieViewer* v = app.movieWindows()->viewer();
            if (!QTest::qWaitFor([v] { return loaded(v); }, 20000))
                return false;
            app.movieWindows()->close();
            return QTest::qWaitFor([&] { return !app.movieWindows()->viewer(); }, 5000);
        };
        for (int i = 0; i < 20; ++i)
            QVERIFY(openAndClose());
        QTest::qWait(50);
        const Held before = heldBy(m);
        const qint64 rssBefore = residentKb();
        const qint64 heapBefore = heapInUse();
        for (int i = 0; i < 200; ++i)
            QVERIFY2(openAndClose(), qPrintable(QStringLiteral("opening %1").arg(i)));
        QTest::qWait(50);
        const Held after = heldBy(m);
        const qint64 rssAfter = residentKb();
        const qint64 heapAfter = heapInUse();
        qInfo("resident %lld KB after the warm-up, %lld KB after 200 more (%+lld KB per opening); heap in use %+lld KB",
              rssBefore, rssAfter, (rssAfter - rssBefore) / 200, (heapAfter - heapBefore) / 1024);
        QVERIFY2(after == before, qPrintable(describe(before) + QStringLiteral(" became ") + describe(after)));
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer keeps freed memory for a while: no memory figures under it");
#endif
        QVERIFY2(rssAfter - rssBefore < 3 * 1024, qPrintable(QStringLiteral("grew by %1 KB").arg(rssAfter - rssBefore)));
        // Nothing kept per opening: what stays in use is well under 5 KB an opening.
        QVERIFY2(heapAfter - heapBefore < 1024 * 1024,
                 qPrintable(QStringLiteral("heap in use grew by %1 KB").arg((heapAfter - heapBefore) / 1024)));
    }
};

QTEST_MAIN(MovieEntryTest)
#include "tst_movieentry.moc"
