// The main window as a user sees it on a real X server with a window manager:
// every toolbar button and menu command has a picture, commands that differ
// look different, the pictures are drawn at the screen's scale, and the
// window carries the program's icon. Screenshots are left for a person to see.
#include "apptestenv.h"

#include "app/application.h"
#include "app/mainwindow.h"
#include "base/commandicons.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QWindow>

using namespace lv;

namespace {

// Pixels that are not fully transparent.
int paintedPixels(const QImage& image)
{
    int n = 0;
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 0)
                ++n;
    return n;
}

int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            colours.insert(img.pixel(x, y));
    return static_cast<int>(colours.size());
}

struct Shown {
    QString where;   // toolbar/key or menu/caption, for the messages
    QString command; // what it does; equal commands may share a picture
    QImage picture;
};

} // namespace

class ScreenshotIcons : public QObject {
    Q_OBJECT

private:
    AppTestEnv m_env;
    std::unique_ptr<Application> m_app;
    QString m_dir;

    qreal scale() const { return m_app->master()->devicePixelRatioF(); }

    QImage screenshot(const QString& name)
    {
        QTest::qWait(400);
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        if (!m_dir.isEmpty()) {
            const QString file = m_dir + QStringLiteral("/%1-x%2.png").arg(name).arg(scale());
            shot.save(file);
            qInfo("screenshot %s", qPrintable(file));
        }
        return shot;
    }

    void checkDistinct(const QList<Shown>& shown)
    {
        for (int i = 0; i < shown.size(); ++i)
            for (int j = i + 1; j < shown.size(); ++j)
                if (shown[i].command != shown[j].command)
                    QVERIFY2(shown[i].picture != shown[j].picture,
                             qPrintable(shown[i].where + QStringLiteral(" and ") + shown[j].where
                                        + QStringLiteral(" look the same")));
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (run through run-under-x.sh)");
        m_dir = qEnvironmentVariable("LUMIVARK_SCREENSHOT_DIR");
        if (!m_dir.isEmpty())
            QDir().mkpath(m_dir);
        Application::prepareDesktop();
        m_app = std::make_unique<Application>();
        QVERIFY(m_app->start());
        MainWindow& m = m_app->showMain({});
        QVERIFY(QTest::qWaitForWindowExposed(&m));
    }

    void cleanupTestCase()
    {
        if (MainWindow* m = m_app ? m_app->master() : nullptr)
            m->hide();
    }

    // In each mode, the buttons on screen: each shows a picture, drawn at the
    // screen's scale, and no two different commands share one.
    void toolbarButtons_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("movie") << "movie";
        QTest::newRow("image") << "image";
        QTest::newRow("multiple") << "multiple";
    }
    void toolbarButtons()
    {
        QFETCH(QString, mode);
        MainWindow& m = *m_app->master();
        if (mode == QLatin1String("movie"))
            m.SelectMovieMode();
        else if (mode == QLatin1String("image"))
            m.SelectImageMode();
        else
            m.SelectMultipleMode();
        const QImage shot = screenshot(mode);
        const qreal dpr = scale();
        QList<Shown> shown;
        int buttons = 0;
        for (KeyedToolBar* bar : m.findChildren<KeyedToolBar*>()) {
            if (!bar->isVisible())
                continue;
            for (QAction* a : bar->actions()) {
                auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
                if (!button || !button->isVisible())
                    continue;
                ++buttons;
                const QString where = bar->objectName() + QLatin1Char('/') + a->objectName();
                QVERIFY2(!a->icon().isNull(), qPrintable(where + QStringLiteral(" has no icon")));
                const QPixmap pm = a->icon().pixmap(bar->iconSize(), dpr);
                // Drawn for the screen's pixels, not blown up from a smaller picture.
                QCOMPARE(pm.size(), bar->iconSize() * dpr);
                QVERIFY2(paintedPixels(pm.toImage()) > pm.width() * pm.height() / 8,
                         qPrintable(where + QStringLiteral(" is nearly empty")));
                // And on the screen: the button's face is more than a plain patch.
                const QRect r(button->mapToGlobal(QPoint(0, 0)) * dpr, button->size() * dpr);
                QVERIFY2(distinctColours(shot.copy(r)) > 8, qPrintable(where + QStringLiteral(" shows no picture")));
                shown.append({where, a->property("command").toString(), pm.toImage()});
            }
        }
        QVERIFY(buttons >= 15);
        checkDistinct(shown);
    }

    // Every command of the menu bar has a picture; different commands differ.
    void menuCommands()
    {
        MainWindow& m = *m_app->master();
        QList<Shown> shown;
        for (QAction* top : m.menuBar()->actions()) {
            for (QAction* a : top->menu()->actions()) {
                if (a->isSeparator() || a->isCheckable() || a->menu())
                    continue;
                const QString where = top->text() + QLatin1Char('/') + a->text();
                QVERIFY2(!a->icon().isNull(), qPrintable(where + QStringLiteral(" has no icon")));
                // A menu command's name is its caption without its accelerator mark.
                shown.append({where, QString(a->text()).remove(QLatin1Char('&')), a->icon().pixmap(QSize(16, 16), 1).toImage()});
            }
        }
        QVERIFY(shown.size() >= 25);
        // The same command in two menus does not occur; so every picture differs, except
        // where a menu item repeats a toolbar command, which the toolbars check.
        checkDistinct(shown);
    }

    // The window carries the program's icon, and the window manager is told it.
    void applicationIconOnWindow()
    {
        MainWindow& m = *m_app->master();
        QVERIFY(!applicationIcon().isNull());
        QCOMPARE(m.windowIcon().pixmap(QSize(32, 32), 1).toImage(),
                 applicationIcon().pixmap(QSize(32, 32), 1).toImage());
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(m.windowHandle()->winId()),
                                              QStringLiteral("_NET_WM_ICON")});
        QVERIFY(xprop.waitForFinished(10000));
        const QString out = QString::fromLocal8Bit(xprop.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("Icon (")), qPrintable(out.left(200)));
        screenshot(QStringLiteral("window"));
    }
};

QTEST_MAIN(ScreenshotIcons)
#include "screenshot_icons.moc"
