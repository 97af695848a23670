#include "apptestenv.h"

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/videoscreen.h"
#include "base/scripteddialogs.h"
#include "base/settingsstore.h"
#include "image/ui/imageeditor.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

using namespace lv;

namespace {

QMdiSubWindow* frameOf(QWidget* w) { return w ? qobject_cast<QMdiSubWindow*>(w->parentWidget()) : nullptr; }

QMdiSubWindow* editorFrame(MainWindow& m)
{
    for (QMdiSubWindow* s : m.mdiArea()->subWindowList())
        if (qobject_cast<ImageEditor*>(s->widget()))
            return s;
    return nullptr;
}

} // namespace

class TestWindowPlaces : public QObject {
    Q_OBJECT

private slots:
    void placesSurviveARestart()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        const QRect mainPlace(60, 40, 900, 700);
        const QRect videoPlace(30, 20, 420, 330);
        const QPoint editorPlace(380, 50);
        {
            Application app;
            QVERIFY(app.start());
            MainWindow& m = app.showMain({});
            QVERIFY(QTest::qWaitForWindowExposed(&m));
            m.setGeometry(mainPlace);
            QTest::qWait(20);
            frameOf(m.videoScreen())->setGeometry(videoPlace);
            m.action(Command::Snapshot)->trigger(); // a snapshot opens the editor
            QMdiSubWindow* editor = editorFrame(m);
            QVERIFY(editor);
            editor->move(editorPlace);
            m.close(); // the scripted quit question answers Yes
            QVERIFY(!m.isVisible());
        }
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QCOMPARE(m.geometry(), mainPlace);
        QTRY_COMPARE(frameOf(m.videoScreen())->geometry(), videoPlace);
        m.action(Command::Snapshot)->trigger();
        QMdiSubWindow* editor = editorFrame(m);
        QVERIFY(editor);
        QCOMPARE(editor->pos(), editorPlace);
    }

    void keptPlacesStayInsideTheWindow_data()
    {
        QTest::addColumn<QString>("kept");
        QTest::newRow("beyond the area") << "5000,4000,420,330";
        QTest::newRow("larger than the area") << "0,0,4000,3000";
        QTest::newRow("not a place") << "left,top";
    }

    void keptPlacesStayInsideTheWindow()
    {
        QFETCH(QString, kept);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        settings::save(QStringLiteral("LV"), QStringLiteral("Windows"), QStringLiteral("VideoScreen"), kept);
        settings::save(QStringLiteral("LV"), QStringLiteral("Windows"), QStringLiteral("Master"), QStringLiteral("garbage"));
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QCOMPARE(m.height(), 480); // a kept place that is no place leaves the start size
        QTest::qWait(50);
        QVERIFY(m.mdiArea()->viewport()->rect().contains(frameOf(m.videoScreen())->geometry()));
    }
};

QTEST_MAIN(TestWindowPlaces)
#include "tst_windowplaces.moc"
