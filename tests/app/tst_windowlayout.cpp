#include "modaldriver.h"
#include "tst_capturerig.h"

#include "image/image.h"
#include "image/multiimage.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

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
QImage onScreen(Master& m) { return m.mdiArea()->viewport()->grab().toImage(); }

// Checks that a picture is seen whole on the area at rect (viewport
// coordinates): inside the visible area, its own shape, and showing picture.
void verifyWholePicture(Master& m, const QRect& shown, const QImage& picture)
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
QRect livePicture(Master& m)
{
    CaptureWindow* w = m.state().CaptureHandle;
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
QRect videoClient(Master& m)
{
    return {m.videoScreen()->mapTo(m.mdiArea()->viewport(), QPoint(0, 0)), m.videoScreen()->size()};
}

void setFormat(Master& m, QSize size)
{
    onNextModal([size](QDialog* d) {
        auto* box = d->findChild<QComboBox*>(QStringLiteral("size"));
        box->setCurrentIndex(box->findData(size));
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("format"))->trigger();
}

void setScaling(Master& m, bool on)
{
    onNextModal([on](QDialog* d) {
        d->findChild<QCheckBox*>(QStringLiteral("scale"))->setChecked(on);
        return true;
    });
    m.DeviceToolbar->button(QStringLiteral("display"))->trigger();
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
        Master& m = *rig.master;
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
        const QImage frame = rig.state.CaptureHandle->latestFrame()->image;
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
        Master& m = *rig.master;
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
        verifyWholePicture(m, shown, rig.state.CaptureHandle->latestFrame()->image);
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
        Master& m = *rig.master;
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        rig.setPattern(format, true);
        m.action(Command::Snapshot)->trigger(); // the snapshot key
        Image* ed = rig.ctl->editor();
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
        Master& m = *rig.master;
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        rig.setPattern(format, true);
        rig.multiple(1);
        m.RecordButtonClicked();
        m.Shooter->click();
        MultiImage* viewer = rig.ctl->multiImage();
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
};

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
