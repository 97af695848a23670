// The standard keys of a desktop program, shown in the menus, and the keys the
// program had before keeping their meaning.
#include "apptestenv.h"

#include "app/mainwindow.h"
#include "image/ui/imageeditor.h"

#include <QAction>
#include <QTest>
#include <QToolBar>

using namespace lv;

class TestShortcuts : public QObject {
    Q_OBJECT

private slots:
    void menuKeys_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("key");
        QTest::newRow("open") << Command::Open << "&Open Capture File..." << "Ctrl+O";
        QTest::newRow("save") << Command::Save << "&Save Capture File..." << "Ctrl+S";
        QTest::newRow("exit") << Command::Exit << "E&xit" << "Ctrl+Q";
        QTest::newRow("capture frame keeps F11") << Command::Snapshot << "Capture Frame" << "F11";
        QTest::newRow("help") << Command::Help << "&Help" << "F1";
    }
    void menuKeys()
    {
        QFETCH(Command, command);
        QFETCH(QString, caption);
        QFETCH(QString, key);
        AppTestEnv env;
        CaptureModel model;
        RunRecord run;
        MainWindow m(model, run);
        QAction* a = m.action(command);
        QVERIFY(a);
        QCOMPARE(a->text(), caption); // the key sits beside the caption, never in it
        QCOMPARE(a->shortcut().toString(), key);
    }

    // No key is bound twice in the main window: a doubled key does nothing at all.
    void noKeyTwice()
    {
        AppTestEnv env;
        CaptureModel model;
        RunRecord run;
        MainWindow m(model, run);
        QHash<QString, QString> seen;
        for (QAction* a : m.findChildren<QAction*>()) {
            for (const QKeySequence& k : a->shortcuts()) {
                const QString key = k.toString();
                QVERIFY2(!seen.contains(key), qPrintable(key + QStringLiteral(": ") + seen.value(key)
                                                         + QStringLiteral(" and ") + a->text()));
                seen.insert(key, a->text());
            }
        }
    }

    // The editor's copy and print keys belong to the editor with the focus.
    void editorKeys_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("key");
        QTest::newRow("copy") << "clipboard" << "Ctrl+C";
        QTest::newRow("print") << "print" << "Ctrl+P";
    }
    void editorKeys()
    {
        QFETCH(QString, button);
        QFETCH(QString, key);
        ImageEditor editor;
        auto* bar = editor.findChild<QToolBar*>(QStringLiteral("Mastertoolbar"));
        QVERIFY(bar);
        QAction* a = bar->findChild<QAction*>(button);
        if (!a)
            for (QAction* b : bar->actions())
                if (b->objectName() == button)
                    a = b;
        QVERIFY(a);
        QCOMPARE(a->shortcut().toString(), key);
        QCOMPARE(a->shortcutContext(), Qt::WidgetWithChildrenShortcut);
        QVERIFY(editor.actions().contains(a));
        QVERIFY(!a->icon().isNull());
    }
};

QTEST_MAIN(TestShortcuts)
#include "tst_shortcuts.moc"
