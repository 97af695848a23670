// A second start brings the running window to the front, then says so; a
// runtime folder where no lock can be made does not keep the program out.
#include "apptestenv.h"

#include "app/application.h"
#include "app/mainwindow.h"
#include "base/scripteddialogs.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>

using namespace lv;

namespace {

// A tmpfs over a folder for one test, made read-only once filled; unmounted when it ends.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& dir) : m_dir(dir)
    {
        m_mounted = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                QStringLiteral("-o"), QStringLiteral("size=64k,mode=0700"),
                                                                QStringLiteral("tmpfs"), m_dir})
            == 0;
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir});
    }
    bool mounted() const { return m_mounted; }
    bool makeReadOnly()
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_dir})
            == 0;
    }

private:
    QString m_dir;
    bool m_mounted = false;
};

// What the program writes to stderr through Qt's logging, kept for the test.
QStringList& logged()
{
    static QStringList lines;
    return lines;
}
QtMessageHandler previousHandler = nullptr;
void keepMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    logged() << text;
    previousHandler(type, context, text);
}

// A process number nobody uses any longer.
qint64 endedProcess()
{
    QProcess p;
    p.start(QStringLiteral("true"), {});
    p.waitForFinished();
    return p.processId() > 0 ? p.processId() : 0x3ffffe;
}

} // namespace

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
        MainWindow& m = first.showMain({});
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

    // Where no lock can be made, nobody runs: the program starts without the
    // single-instance check and says so. A lock a running program holds still
    // keeps a second start out.
    void unwritableRuntimeFolder_data()
    {
        QTest::addColumn<QString>("lockLeft"); // none, ended (an ended run's), running (this program's)
        QTest::addColumn<bool>("starts");
        QTest::newRow("read-only, empty") << "none" << true;
        QTest::newRow("read-only, lock of an ended run") << "ended" << true;
        QTest::newRow("read-only, lock of a running program") << "running" << false;
    }
    void unwritableRuntimeFolder()
    {
        QFETCH(QString, lockLeft);
        QFETCH(bool, starts);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        ReadOnlyFolder run(env.dir("run"));
        if (!run.mounted())
            QSKIP("mounting a tmpfs is not permitted here (needs root): no read-only runtime folder");
        if (lockLeft != QLatin1String("none")) {
            // The lock as its owner wrote it: this program's, still running, or an ended run's.
            QLockFile taken(Application::lockFilePath());
            QVERIFY(taken.tryLock(0));
            QFile f(Application::lockFilePath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QList<QByteArray> lines = f.readAll().split('\n');
            f.close();
            taken.unlock(); // an open lock keeps the folder from being made read-only
            if (lockLeft == QLatin1String("ended"))
                lines[0] = QByteArray::number(endedProcess());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(lines.join('\n'));
            f.close();
        }
        QVERIFY(run.makeReadOnly());
        QFile probe(QFileInfo(Application::lockFilePath()).dir().filePath(QStringLiteral("probe")));
        QVERIFY(!probe.open(QIODevice::WriteOnly));

        logged().clear();
        previousHandler = qInstallMessageHandler(keepMessage);
        Application app;
        const bool started = app.start();
        qInstallMessageHandler(previousHandler);
        QCOMPARE(started, starts);
        const bool said = !logged().filter(QStringLiteral("cannot make the single-instance lock")).isEmpty();
        if (!starts) {
            QCOMPARE(dlg.d.messages(), QStringList{QStringLiteral("This application is already running...")});
            QVERIFY(!said);
            return;
        }
        QVERIFY2(said, qPrintable(logged().join(QLatin1Char('\n'))));
        QCOMPARE(dlg.d.messages(), QStringList());
        MainWindow& m = app.showMain({});
        QVERIFY(m.isVisible());
        // It does not pretend to listen for second starts.
        QLocalSocket call;
        call.connectToServer(Application::raiseSocketPath());
        QVERIFY(!call.waitForConnected(200));
        m.hide();
    }

    // The program itself, at a terminal: it starts and tells why a second
    // start will not be kept out.
    void programStartsInAReadOnlyRuntimeFolder()
    {
        AppTestEnv env;
        ReadOnlyFolder run(env.dir("run"));
        if (!run.mounted())
            QSKIP("mounting a tmpfs is not permitted here (needs root): no read-only runtime folder");
        QVERIFY(run.makeReadOnly());
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("LUMIVARK_STARTUP_PROBE"), QStringLiteral("1")); // leaves at the first live frame
        p.setProcessEnvironment(e);
        p.start(QStringLiteral(LUMIVARK_PROGRAM), {});
        QVERIFY2(p.waitForFinished(30000), "it never showed its window");
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.startsWith(QLatin1String("first-frame ")), qPrintable(out + err));
        QVERIFY2(err.contains(QLatin1String("cannot make the single-instance lock")), qPrintable(err));
        QVERIFY2(!err.contains(QLatin1String("already running")), qPrintable(err));
    }
};

QTEST_MAIN(TestSecondStart)
#include "tst_secondstart.moc"
