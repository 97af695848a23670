// The command table and its dispatcher: every menu item, command button and
// key reaches its work through one dispatch; what may be chosen follows the
// registered work and the run state.
#include "apptestenv.h"

#include "app/application.h"
#include "app/capturecontroller.h"
#include "app/commandstates.h"
#include "app/dispatcher.h"
#include "app/keyedtoolbar.h"
#include "app/mainwindow.h"
#include "app/menutable.h"
#include "mainwindowparts.h"
#include "base/scripteddialogs.h"

#include <QAction>
#include <QRegularExpression>
#include <QTest>

using namespace lv;

Q_DECLARE_METATYPE(lv::RunState)

namespace {

// The enabled state of a menu item ("menu:open") or a command button ("OperationBar/motion").
bool enabledIn(const MainWindow& m, const QString& what)
{
    if (what.startsWith(QLatin1String("menu:"))) {
        const std::optional<Command> c = commandFromName(what.mid(5));
        return c && m.action(*c) && m.action(*c)->isEnabled();
    }
    const QStringList parts = what.split(QLatin1Char('/'));
    const auto* tb = m.findChild<KeyedToolBar*>(parts.value(0));
    const QAction* a = tb ? tb->button(parts.value(1)) : nullptr;
    return a && a->isEnabled();
}

const QStringList kWatched = {
    QStringLiteral("menu:open"),         QStringLiteral("menu:viewer"),         QStringLiteral("menu:snapshot"),
    QStringLiteral("menu:clipboard"),    QStringLiteral("menu:fullscreen"),     QStringLiteral("menu:about"),
    QStringLiteral("menu:movie-mode"),   QStringLiteral("MainToolbar/open"),    QStringLiteral("MainToolbar/viewer"),
    QStringLiteral("DeviceToolbar/snapshot"), QStringLiteral("DeviceToolbar/advanced"),
    QStringLiteral("OperationBar/record"), QStringLiteral("OperationBar/autostart"),
    QStringLiteral("OperationBar/motion"),
};

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    // Who carries out the commands and what the capture does decide what may be chosen.
    void enabledFollowsState_data()
    {
        QTest::addColumn<QString>("wiring"); // "window", "capture" (with its controller) or "application"
        QTest::addColumn<RunState>("run");
        QTest::addColumn<QStringList>("enabled"); // of kWatched; the others are greyed out

        const QStringList windowOnly = {QStringLiteral("menu:movie-mode")};
        const QStringList capture = windowOnly
            + QStringList{QStringLiteral("menu:snapshot"), QStringLiteral("menu:clipboard"),
                          QStringLiteral("DeviceToolbar/snapshot"), QStringLiteral("OperationBar/record"),
                          QStringLiteral("OperationBar/autostart"), QStringLiteral("OperationBar/motion")};
        const QStringList all = capture
            + QStringList{QStringLiteral("menu:open"), QStringLiteral("menu:viewer"), QStringLiteral("menu:fullscreen"),
                          QStringLiteral("menu:about"), QStringLiteral("MainToolbar/open"),
                          QStringLiteral("MainToolbar/viewer"), QStringLiteral("DeviceToolbar/advanced")};
        const auto without = [](QStringList list, const QStringList& gone) {
            for (const QString& g : gone)
                list.removeAll(g);
            return list;
        };
        QTest::newRow("window alone") << "window" << RunState::Idle << windowOnly;
        QTest::newRow("window and captures") << "capture" << RunState::Idle << capture;
        QTest::newRow("application, idle") << "application" << RunState::Idle << all;
        QTest::newRow("recording a movie") << "application" << RunState::Recording << all;
        QTest::newRow("series running")
            << "application" << RunState::SeriesRunning
            << without(all, {QStringLiteral("OperationBar/autostart"), QStringLiteral("OperationBar/motion")});
        QTest::newRow("motion detector armed")
            << "application" << RunState::MotionArmed << without(all, {QStringLiteral("OperationBar/motion")});
        QTest::newRow("series, captures only")
            << "capture" << RunState::SeriesRunning
            << without(capture, {QStringLiteral("OperationBar/autostart"), QStringLiteral("OperationBar/motion")});
    }
    void enabledFollowsState()
    {
        QFETCH(QString, wiring);
        QFETCH(RunState, run);
        QFETCH(QStringList, enabled);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        CaptureModel model;
        RunRecord record;
        std::unique_ptr<MainWindow> own;
        MainWindow* m = nullptr;
        if (wiring == QLatin1String("application")) {
            QVERIFY(app.start());
            m = &app.showMain({});
        } else {
            own = std::make_unique<MainWindow>(model, record);
            m = own.get();
            if (wiring == QLatin1String("capture"))
                new CaptureController(*m);
        }
        m->MasterTimer.stop();
        m->model().setRunState(run);
        for (const QString& what : kWatched)
            QVERIFY2(enabledIn(*m, what) == enabled.contains(what),
                     qPrintable(what + (enabled.contains(what) ? QStringLiteral(" should be enabled")
                                                                : QStringLiteral(" should be greyed out"))));
        // Back to idle, the run's own limits go.
        m->model().setRunState(RunState::Idle);
        QCOMPARE(enabledIn(*m, QStringLiteral("OperationBar/motion")), wiring != QLatin1String("window"));
    }

    // Every menu command and command button of the running program has its work.
    void everyCommandHasItsWork()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        for (const MenuRow& row : menuRows())
            if (row.kind == MenuRow::Kind::Item)
                QVERIFY2(m.commands().handles(row.command), qPrintable(commandName(row.command)));
        for (const CommandButton& b : commandButtons())
            QVERIFY2(m.commands().handles(b.command), b.key);
        // The panels' buttons that stand for a menu command reach the same work.
        const std::pair<KeyedToolBar*, const char*> buttons[] = {
            {m.DeviceToolbar, "source"},     {m.DeviceToolbar, "format"},
            {m.DeviceToolbar, "display"},
            {test::part<KeyedToolBar>(m, "MovieToolbar"), "compression"},
            {test::part<KeyedToolBar>(m, "MovieToolbar"), "otherinfo"},
            {test::part<KeyedToolBar>(m, "MultipleImageToolbar"), "vidcompression"},
            {test::part<KeyedToolBar>(m, "MultipleImageToolbar"), "netset"}};
        for (const auto& [toolbar, key] : buttons) {
            const std::optional<Command> c = toolbar->command(QString::fromLatin1(key));
            QVERIFY2(c && m.commands().handles(*c), key);
        }
    }

    // A menu item, its toolbar button and its key all end in the same dispatch.
    void itemButtonAndKeyShareOneDispatch_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("toolbar");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("video source") << Command::VideoSource << "DeviceToolbar" << "source" << QKeySequence();
        QTest::newRow("snapshot") << Command::Snapshot << "DeviceToolbar" << "snapshot" << QKeySequence(Qt::Key_F11);
        QTest::newRow("open") << Command::Open << "MainToolbar" << "open" << QKeySequence(QKeySequence::Open);
        QTest::newRow("compression, movie band")
            << Command::Compression << "MovieToolbar" << "compression" << QKeySequence();
        QTest::newRow("compression, series band")
            << Command::Compression << "MultipleImageToolbar" << "vidcompression" << QKeySequence();
        QTest::newRow("movie mode") << Command::MovieMode << "MainToolbar" << "movie" << QKeySequence();
    }
    void itemButtonAndKeyShareOneDispatch()
    {
        QFETCH(Command, command);
        QFETCH(QString, toolbar);
        QFETCH(QString, key);
        QFETCH(QKeySequence, shortcut);
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        MainWindow& m = app.showMain({});
        m.MasterTimer.stop();
        // A stand-in for the work: the dialogs it would open have no place here.
        QObject probe;
        int runs = 0;
        m.commands().registerHandler(command, &probe, [&runs] { ++runs; });
        QVERIFY(m.action(command));
        m.action(command)->trigger();
        QCOMPARE(runs, 1);
        auto* tb = m.findChild<KeyedToolBar*>(toolbar);
        QVERIFY(tb);
        tb->button(key)->setEnabled(true); // the series band's button follows the file type
        tb->button(key)->trigger();
        QCOMPARE(runs, 2);
        if (!shortcut.isEmpty()) {
            QVERIFY(QTest::qWaitForWindowActive(&m));
            QTest::keySequence(&m, shortcut);
            QCOMPARE(runs, 3);
        }
    }

    // Work whose owner has gone is not run: the command is logged and greyed out.
    void workGoesWithItsOwner()
    {
        AppTestEnv env;
        CaptureModel model;
        RunRecord record;
        MainWindow m(model, record);
        m.MasterTimer.stop();
        auto* ctl = new CaptureController(m);
        QVERIFY(m.action(Command::Snapshot)->isEnabled());
        QVERIFY(m.OperationBar->button(QStringLiteral("record"))->isEnabled());
        delete ctl;
        QVERIFY(!m.commands().handles(Command::Snapshot));
        QVERIFY(!m.action(Command::Snapshot)->isEnabled());
        QVERIFY(!m.OperationBar->button(QStringLiteral("record"))->isEnabled());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unhandled command.*\\bsnapshot\\b")));
        QVERIFY(!m.dispatch(Command::Snapshot));
    }

    // The table's items carry their pictures; check marks carry none.
    void menuItemsCarryTheirPictures()
    {
        AppTestEnv env;
        CaptureModel model;
        RunRecord record;
        MainWindow m(model, record);
        m.MasterTimer.stop();
        for (const MenuRow& row : menuRows()) {
            if (row.kind != MenuRow::Kind::Item)
                continue;
            const QAction* a = m.action(row.command);
            QVERIFY(a);
            QCOMPARE(a->icon().isNull(), row.picture == MenuRow::Picture::None);
            QCOMPARE(a->isCheckable(), row.checkable);
            QCOMPARE(a->text(), row.caption);
            QCOMPARE(a->shortcut(), row.key);
        }
        QVERIFY(m.action(Command::AudioOn)->icon().isNull());
        QVERIFY(!m.action(Command::Splash)->icon().isNull());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
