#include "modaldriver.h"
#include "tst_capturerig.h"

#include "app/moviewindows.h"
#include "image/ui/imageeditor.h"
#include "image/ui/seriesviewer.h"
#include "movie/movieplayer.h"
#include "movie/ui/movieplayerview.h"
#include "movie/ui/movieviewer.h"
#include "mainwindowparts.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QToolButton>

using lv::test::part;

using namespace lv;
using namespace captest;

namespace {

// Mean difference per channel value of two pictures of one size.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    if (x.size() != y.size() || x.isNull())
        return 255.0;
    int64_t sum = 0;
    for (int r = 0; r < x.height(); ++r) {
        const uchar* p = x.constScanLine(r);
        const uchar* q = y.constScanLine(r);
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::abs(int(p[i]) - int(q[i]));
    }
    return double(sum) / (double(x.width()) * x.height() * 3);
}

// What the user sees of the area: its viewport with every child window on it.
QImage onScreen(MainWindow& m) { return m.mdiArea()->viewport()->grab().toImage(); }

// Checks that a picture is seen whole on the area at rect (viewport
// coordinates): inside the visible area, its own shape, and showing picture.
void verifyWholePicture(MainWindow& m, const QRect& shown, const QImage& picture)
{
    const QRect area = m.mdiArea()->viewport()->rect();
    QVERIFY2(area.contains(shown), qPrintable(QStringLiteral("picture at %1,%2 %3x%4 outside the area %5x%6")
                                                 .arg(shown.x()).arg(shown.y()).arg(shown.width())
                                                 .arg(shown.height()).arg(area.width()).arg(area.height())));
    QVERIFY2(shown.width() >= 100, "the picture is a stub");
    const double shape = double(shown.width()) / shown.height();
    const double own = double(picture.width()) / picture.height();
    QVERIFY2(std::abs(shape - own) < 0.02, qPrintable(QStringLiteral("shape %1 instead of %2").arg(shape).arg(own)));
    const QImage seen = onScreen(m).copy(shown);
    const QImage expected = picture.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY2(meanDifference(seen, expected) < 12.0,
             qPrintable(QStringLiteral("shows other than the picture (mean difference %1)")
                            .arg(meanDifference(seen, expected))));
}

// Where the live picture shows, found on screen: the largest box of the
// video window's client area that is not black padding.
QRect livePicture(MainWindow& m)
{
    LiveView* w = m.videoScreen()->captureWindow();
    const QImage seen = w->grab().toImage();
    int left = seen.width(), top = seen.height(), right = -1, bottom = -1;
    for (int y = 0; y < seen.height(); ++y)
        for (int x = 0; x < seen.width(); ++x)
            if (qGray(seen.pixel(x, y)) > 8) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom)).translated(w->mapTo(m.mdiArea()->viewport(), QPoint(0, 0)));
}

// The video window's client area on the area: a picture reaching past it is cut off.
QRect videoClient(MainWindow& m)
{
    return {m.videoScreen()->mapTo(m.mdiArea()->viewport(), QPoint(0, 0)), m.videoScreen()->size()};
}

void setFormat(MainWindow& m, QSize size)
{
    onNextModal([size](QDialog* d) {
        auto* box = d->findChild<QComboBox*>(QStringLiteral("size"));
        box->setCurrentIndex(box->findData(size));
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("format"))->trigger();
}

void setScaling(MainWindow& m, bool on)
{
    onNextModal([on](QDialog* d) {
        d->findChild<QCheckBox*>(QStringLiteral("scale"))->setChecked(on);
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("display"))->trigger();
}

QString rectText(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// What of a child window the user cannot see: the main window reaching past
// the screen's available area, the child's frame past the document area's
// visible part, or a control of it past either. Empty when all is in sight.
QString outOfSight(MainWindow& m, QMdiSubWindow* sub)
{
    const QRect avail = m.screen()->availableGeometry();
    if (!avail.contains(m.frameGeometry()))
        return QStringLiteral("main window at %1 reaches past the screen's %2").arg(rectText(m.frameGeometry()),
                                                                                   rectText(avail));
    QWidget* viewport = m.mdiArea()->viewport();
    const QRect visible = viewport->rect();
    if (!visible.contains(sub->geometry()))
        return QStringLiteral("child window at %1 reaches past the area %2").arg(rectText(sub->geometry()),
                                                                                rectText(visible));
    QWidget* content = sub->widget();
    const QRect client(content->mapTo(viewport, QPoint(0, 0)), content->size());
    for (QWidget* w : content->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(sub) || w->isWindow())
            continue;
        const QRect at(w->mapTo(viewport, QPoint(0, 0)), w->size());
        if (!visible.contains(at) || !client.contains(at))
            return QStringLiteral("%1 \"%2\" at %3 is outside the area %4 or its window %5")
                .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), rectText(at),
                     rectText(visible), rectText(client));
    }
    return {};
}

// A short movie of the given frame size.
bool makeClip(const QString& file, QSize size)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                                       QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                                       QStringLiteral("-i"),
                                       QStringLiteral("testsrc=size=%1x%2:rate=25").arg(size.width()).arg(size.height()),
                                       QStringLiteral("-frames:v"), QStringLiteral("10"), QStringLiteral("-c:v"),
                                       QStringLiteral("mjpeg"), file});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// The whole screen, kept for a person to look at when a folder is named.
void keepScreenshot(const QString& name)
{
    const QString dir = qEnvironmentVariable("LUMIVARK_SCREENSHOT_DIR");
    if (dir.isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    QDir().mkpath(dir);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QString file = dir + QStringLiteral("/%1-%2x%3.png").arg(name).arg(screen->size().width()).arg(screen->size().height());
    screen->grabWindow(0).save(file);
    qInfo("screenshot %s", qPrintable(file));
}

} // namespace

// A Window menu command to run before looking, or none.
using Arrangement = std::optional<Command>;

class TestWindowLayout : public QObject {
    Q_OBJECT

private slots:
    void livePictureIsSeenWhole_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<Arrangement>("windowItem"); // none: as it is
        QTest::addColumn<QSize>("format");
        QTest::addColumn<bool>("scale");
        const QSize small(320, 240), wide(1280, 720);
        QTest::newRow("as started") << "movie" << Arrangement() << small << false;
        QTest::newRow("cascade") << "movie" << Arrangement(Command::Cascade) << small << false;
        QTest::newRow("tile horizontally") << "movie" << Arrangement(Command::TileHorizontal) << small << false;
        QTest::newRow("tile vertically") << "movie" << Arrangement(Command::TileVertical) << small << false;
        QTest::newRow("arrange icons") << "movie" << Arrangement(Command::Arrange) << small << false;
        QTest::newRow("multiple image mode") << "multiple" << Arrangement() << small << false;
        QTest::newRow("multiple image mode, cascade") << "multiple" << Arrangement(Command::Cascade) << small << false;
        QTest::newRow("single image mode, cascade") << "image" << Arrangement(Command::Cascade) << small << false;
        QTest::newRow("1280x720") << "movie" << Arrangement() << wide << false;
        QTest::newRow("1280x720 scaled") << "movie" << Arrangement() << wide << true;
        QTest::newRow("1280x720 scaled, cascade") << "movie" << Arrangement(Command::Cascade) << wide << true;
        QTest::newRow("1280x720, multiple image mode") << "multiple" << Arrangement() << wide << false;
    }

    void livePictureIsSeenWhole()
    {
        QFETCH(QString, mode);
        QFETCH(Arrangement, windowItem);
        QFETCH(QSize, format);
        QFETCH(bool, scale);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Rig rig(QDir::temp().filePath(QStringLiteral("cam.avi")));
        MainWindow& m = *rig.master;
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        rig.setPattern(QSize(320, 240), true);
        if (format != QSize(320, 240))
            setFormat(m, format);
        if (scale)
            setScaling(m, true);
        if (mode == QLatin1String("multiple"))
            m.SelectMultipleMode();
        else if (mode == QLatin1String("image"))
            m.SelectImageMode();
        if (windowItem)
            m.action(*windowItem)->trigger();
        QTest::qWait(200); // frames of the new size on screen
        const QImage frame = rig.master->videoScreen()->captureWindow()->latestFrame()->picture();
        QCOMPARE(frame.size(), format);
        QVERIFY(videoClient(m).contains(livePicture(m)));
        verifyWholePicture(m, livePicture(m), frame);
        // With room enough and no scaling, the picture is shown at its own size.
        const QSize room = m.mdiArea()->viewport()->size();
        if (!scale && format.width() + 20 < room.width() && format.height() + 40 < room.height()
            && (!windowItem || windowItem == Command::Cascade))
            QCOMPARE(livePicture(m).size(), format);
    }

    void scalingFillsTheWindowKeepingTheShape()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Rig rig(QDir::temp().filePath(QStringLiteral("cam.avi")));
        MainWindow& m = *rig.master;
        rig.setPattern(QSize(320, 240), true);
        m.resize(1000, 800);
        QTest::qWait(50);
        auto* frame = qobject_cast<QMdiSubWindow*>(m.videoScreen()->parentWidget());
        frame->resize(frame->size() + QSize(200, 40)); // wider than the picture's shape
        QTest::qWait(100);
        QCOMPARE(livePicture(m).size(), QSize(320, 240)); // unscaled: its own size
        setScaling(m, true);
        frame->resize(frame->size() + QSize(200, 40));
        QTest::qWait(100);
        const QRect shown = livePicture(m);
        QVERIFY(videoClient(m).contains(shown));
        QCOMPARE(shown.height(), m.videoScreen()->height()); // as high as the window lets it
        QVERIFY(shown.width() > 320);
        verifyWholePicture(m, shown, rig.master->videoScreen()->captureWindow()->latestFrame()->picture());
    }

    void editorShowsItsWholePicture_data()
    {
        QTest::addColumn<QSize>("format");
        QTest::addColumn<Arrangement>("windowItem");
        QTest::newRow("320x240") << QSize(320, 240) << Arrangement();
        QTest::newRow("320x240, cascade") << QSize(320, 240) << Arrangement(Command::Cascade);
        QTest::newRow("1280x720") << QSize(1280, 720) << Arrangement();
        QTest::newRow("1280x720, tile vertically") << QSize(1280, 720) << Arrangement(Command::TileVertical);
    }

    void editorShowsItsWholePicture()
    {
        QFETCH(QSize, format);
        QFETCH(Arrangement, windowItem);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Rig rig(QDir::temp().filePath(QStringLiteral("cam.avi")));
        MainWindow& m = *rig.master;
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        rig.setPattern(format, true);
        m.action(Command::Snapshot)->trigger(); // the snapshot key
        ImageEditor* ed = rig.ctl->editor();
        QVERIFY(ed);
        if (windowItem)
            m.action(*windowItem)->trigger();
        QTest::qWait(50);
        auto* label = ed->findChild<QLabel*>(QStringLiteral("MasterImage"));
        const QRect shown(label->mapTo(m.mdiArea()->viewport(), QPoint(0, 0)), label->size());
        const QRect client(ed->mapTo(m.mdiArea()->viewport(), QPoint(0, 0)), ed->size());
        QVERIFY(client.contains(shown));
        auto* sub = qobject_cast<QMdiSubWindow*>(ed->parentWidget());
        sub->raise();
        QTest::qWait(20);
        verifyWholePicture(m, shown, ed->MasterImage().drawnImage());
        // The editor never outgrows the main window.
        QVERIFY(m.mdiArea()->viewport()->rect().contains(sub->geometry()));
    }

    void seriesViewerShowsItsWholePicture_data()
    {
        QTest::addColumn<QSize>("format");
        QTest::newRow("320x240") << QSize(320, 240);
        QTest::newRow("1280x720") << QSize(1280, 720);
    }

    void seriesViewerShowsItsWholePicture()
    {
        QFETCH(QSize, format);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        MainWindow& m = *rig.master;
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        rig.setPattern(format, true);
        rig.multiple(1);
        m.RecordButtonClicked();
        part<QPushButton>(m, "Shooter")->click();
        SeriesViewer* viewer = rig.ctl->multiImage();
        QVERIFY(viewer);
        auto* sub = qobject_cast<QMdiSubWindow*>(viewer->parentWidget());
        sub->raise();
        QTest::qWait(50);
        auto* label = viewer->findChild<QLabel*>(QStringLiteral("MasterImage"));
        const QRect shown(label->mapTo(m.mdiArea()->viewport(), QPoint(0, 0)), label->size());
        QVERIFY(QRect(viewer->mapTo(m.mdiArea()->viewport(), QPoint(0, 0)), viewer->size()).contains(shown));
        verifyWholePicture(m, shown, viewer->MasterImage().drawnImage());
        m.RecordButtonClicked();
    }

    // A child window opened in the main window as first started (or as the
    // user sized it) is seen with all its controls: the main window grows
    // for it, within the screen, and where even the screen is too small the
    // child is made smaller and its picture scales.
    void childWindowControlsInSight_data()
    {
        QTest::addColumn<QString>("window"); // movie, editor, series
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("userSize"); // the main window's size the user gave it; none at first start
        for (const char* w : {"movie", "editor", "series"})
            for (QSize p : {QSize(320, 240), QSize(1280, 720)})
                QTest::addRow("%s %dx%d", w, p.width(), p.height()) << QString::fromLatin1(w) << p << QSize();
        QTest::newRow("movie 160x120, in a larger window") << QStringLiteral("movie") << QSize(160, 120)
                                                           << QSize(760, 540);
    }

    void childWindowControlsInSight()
    {
        QFETCH(QString, window);
        QFETCH(QSize, picture);
        QFETCH(QSize, userSize);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        MainWindow& m = *rig.master;
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        if (userSize.isValid()) {
            m.resize(userSize);
            QTRY_COMPARE(m.size(), userSize);
        }
        const QString clip = out.filePath(QStringLiteral("clip.avi"));
        if (window == QLatin1String("movie"))
            QVERIFY(makeClip(clip, picture));
        else
            rig.setPattern(picture, true);
        if (window == QLatin1String("series"))
            rig.multiple(1); // its band, and the window's width with it
        QTest::qWait(50);
        const QSize least = m.minimumSizeHint() + m.frameGeometry().size() - m.size();
        const QSize screenRoom = m.screen()->availableGeometry().size();
        if (least.width() > screenRoom.width() || least.height() > screenRoom.height())
            QSKIP("this screen is smaller than the main window's own least size (the suite runs this on 1280x800 "
                  "and 1024x768 screens)");
        const QSize before = m.size();
        const QSize roomBefore = m.mdiArea()->viewport()->size();
        QWidget* child = nullptr;
        MovieViewer* movie = nullptr;
        if (window == QLatin1String("movie")) {
            auto* movies = new MovieWindows(m);
            movies->open(clip, QStringLiteral("clip.avi"));
            movie = movies->viewer();
            QTRY_VERIFY_WITH_TIMEOUT(movie->player().imageFrame() >= 0, 20000);
            child = movie;
        } else if (window == QLatin1String("editor")) {
            m.action(Command::Snapshot)->trigger();
            child = rig.ctl->editor();
        } else {
            m.RecordButtonClicked();
            part<QPushButton>(m, "Shooter")->click();
            child = rig.ctl->multiImage();
        }
        QVERIFY(child);
        auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
        QVERIFY(sub);
        sub->raise();
        // The window manager takes its time to give the main window its new size.
        const bool settled = QTest::qWaitFor([&] { return outOfSight(m, sub).isEmpty(); }, 3000);
        Q_UNUSED(settled); // what is still out of sight is told below
        QTest::qWait(200);
        keepScreenshot(QStringLiteral("%1-%2x%3").arg(window).arg(picture.width()).arg(picture.height()));
        const QString problem = outOfSight(m, sub);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // It grows as far as the child needs, no further, and the screen allows;
        // a child that fits leaves the user's size alone.
        const QSize wanted = sub->sizeHint();
        const QRect avail = m.screen()->availableGeometry();
        if (wanted.width() <= roomBefore.width())
            QCOMPARE(m.width(), before.width());
        else
            QVERIFY2(sub->width() >= wanted.width() || m.frameGeometry().width() >= avail.width() - 2,
                     qPrintable(QStringLiteral("child %1 wide of %2 wanted, main window %3 on a screen of %4")
                                    .arg(sub->width()).arg(wanted.width()).arg(rectText(m.frameGeometry()), rectText(avail))));
        if (wanted.height() <= roomBefore.height())
            QCOMPARE(m.height(), before.height());
        else
            QVERIFY2(sub->height() >= wanted.height() || m.frameGeometry().height() >= avail.height() - 2,
                     qPrintable(QStringLiteral("child %1 high of %2 wanted, main window %3 on a screen of %4")
                                    .arg(sub->height()).arg(wanted.height()).arg(rectText(m.frameGeometry()), rectText(avail))));
        if (movie) {
            MoviePlayerView* view = movie->movie();
            for (QWidget* control : {static_cast<QWidget*>(view->playButton()), static_cast<QWidget*>(view->stopButton()),
                                     static_cast<QWidget*>(view->backButton()),
                                     static_cast<QWidget*>(view->forwardButton()), static_cast<QWidget*>(view->seekBar())}) {
                QVERIFY(control->isVisible());
                QVERIFY2(control->width() >= 10 && control->height() >= 10,
                         qPrintable(control->objectName() + QLatin1Char(' ') + rectText(control->geometry())));
            }
            // Shown whole: at its own size where the screen has room, else scaled down, never cut.
            const QRect shown = view->pictureRect();
            const QSize room = m.screen()->availableGeometry().size();
            if (picture.width() * 2 < room.width() && picture.height() * 2 < room.height())
                QVERIFY2(shown.width() >= picture.width() && shown.height() >= picture.height(),
                         qPrintable(rectText(shown)));
            else
                QVERIFY2(shown.width() >= picture.width() / 8 && shown.height() >= picture.height() / 8,
                         qPrintable(rectText(shown)));
        }
        if (window == QLatin1String("series"))
            m.RecordButtonClicked();
    }
};

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
