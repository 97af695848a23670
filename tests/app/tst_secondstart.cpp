// A second start brings the running window to the front, then says so.
#include "apptestenv.h"

#include "app/application.h"
#include "app/master.h"
#include "base/scripteddialogs.h"

#include <QFile>
#include <QTest>

using namespace lv;

class TestSecondStart : public QObject {
    Q_OBJECT

private slots:
    void raisesTheRunningWindow_data()
    {
        QTest::addColumn<bool>("staleSocket");
        QTest::newRow("first start of the session") << false;
        QTest::newRow("a crashed run left its socket behind") << true;
    }
    void raisesTheRunningWindow()
    {
        QFETCH(bool, staleSocket);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        if (staleSocket) {
            QFile stale(Application::raiseSocketPath());
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
        Application first;
        QVERIFY(first.start());
        Master& m = first.showMain({});
        m.showMinimized();
        QTRY_VERIFY(m.windowState() & Qt::WindowMinimized);
        dlg.d.requests.clear();

        Application second;
        QVERIFY(!second.start());
        QCOMPARE(dlg.d.messages(), QStringList{QStringLiteral("This application is already running...")});
        QTRY_VERIFY(!(m.windowState() & Qt::WindowMinimized));
        QVERIFY(m.isVisible());
        QTRY_VERIFY(m.isActiveWindow());
        QVERIFY(!second.master());
        m.hide();
    }

    // With nobody listening (the running instance could not open its socket)
    // a second start still gives its message and leaves at once.
    void nobodyListening()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        QLockFile held(Application::lockFilePath());
        QVERIFY(held.tryLock(0));
        Application second;
        QVERIFY(!second.start());
        QCOMPARE(dlg.d.messages(), QStringList{QStringLiteral("This application is already running...")});
    }
};

QTEST_MAIN(TestSecondStart)
#include "tst_secondstart.moc"
