#include "apptestenv.h"

#include "app/application.h"
#include "app/master.h"
#include "base/scripteddialogs.h"
#include "movie/codecswindow.h"

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace lv;

// The video menu's codec commands and the file menu's system information,
// reached through the main window as a user reaches them.
class TestCodecMenus : public QObject {
    Q_OBJECT

private slots:
    void videoCodecsListsInstalledEncoders()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        Master& m = app.showMain({});
        m.MasterTimer.stop();
        QAction* item = m.videoSettingsItems[5];
        QCOMPARE(item->text(), QStringLiteral("Video Codecs"));
        QVERIFY(item->isEnabled());

        int nodes = -1;
        QString first;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* c = qobject_cast<Codecs*>(w)) {
                    nodes = c->tree()->topLevelItemCount();
                    first = c->tree()->topLevelItem(0) ? c->tree()->topLevelItem(0)->text(0) : QString();
                    c->accept();
                }
        });
        item->trigger();
        // The notice, and no C100: the shipped catalogue is found.
        QCOMPARE(dlg.d.messages().size(), 1);
        QVERIFY(dlg.d.messages().first().contains(QLatin1String("installed FFmpeg")));
        QVERIFY(nodes > 3);
        QVERIFY(!first.isEmpty());
        QVERIFY(!first.startsWith(QLatin1String("Unknown CODEC")));
    }

    void whatCodecNamesAMovie()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dlg;
        Application app;
        QVERIFY(app.start());
        Master& m = app.showMain({});
        m.MasterTimer.stop();
        const QString file = env.dir("movies") + QStringLiteral("/clip.avi");
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                                           QStringLiteral("lavfi"), QStringLiteral("-i"),
                                           QStringLiteral("testsrc=size=64x48:rate=5"), QStringLiteral("-frames:v"),
                                           QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("mjpeg"), file});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        QAction* item = m.videoSettingsItems[6];
        QCOMPARE(item->text(), QStringLiteral("What Codec..."));
        QVERIFY(item->isEnabled());
        dlg.d.fileAnswers.enqueue(file);
        item->trigger();
        QCOMPARE(dlg.d.messages(),
                 QStringList{QStringLiteral("Filename: ") + file + QStringLiteral("\r\nCompressed with:\r\nMotion JPEG")});
    }
};

QTEST_MAIN(TestCodecMenus)
#include "tst_codecmenus.moc"
