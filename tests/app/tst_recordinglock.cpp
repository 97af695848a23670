// The window and lumivark-cli on one movie file: the window does not offer
// to replace a file another program is recording; it says who has it.
#include "clidevice.h"
#include "tst_capturerig.h"
#include "mainwindowparts.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>

using lv::test::part;

using namespace lv;
using namespace captest;

class TestRecordingLock : public QObject {
    Q_OBJECT

private slots:
    void fileRecordedByTheCommandLineIsRefused()
    {
        AppTestEnv env; // the program directory the command-line program shares
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("shared.avi"));

        const QString pattern = cliTestPatternDevice(QStringLiteral(LUMIVARK_CLI));
        QVERIFY(!pattern.isEmpty());

        QProcess cli;
        cli.start(QStringLiteral(LUMIVARK_CLI),
                  {QStringLiteral("record"), movie, QStringLiteral("--duration"), QStringLiteral("4"),
                   QStringLiteral("--size"), QStringLiteral("320x240"), QStringLiteral("--device"), pattern});
        QVERIFY(cli.waitForStarted());
        QElapsedTimer t;
        t.start();
        while (QFileInfo(movie).size() < 20000 && t.elapsed() < 20000)
            QTest::qWait(50);
        QVERIFY(QFileInfo(movie).size() >= 20000);

        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(true);
        rig.master->RecordButtonClicked();
        const QString who = QStringLiteral("%1 is being recorded by lumivark-cli (process %2)").arg(movie).arg(cli.processId());
        QCOMPARE(dialogs.d.messages().size(), 1);
        QVERIFY2(dialogs.d.messages().first().startsWith(who), qPrintable(dialogs.d.messages().first()));
        QCOMPARE(dialogs.d.requests.first().buttons, Dialogs::Buttons::Ok);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QCOMPARE(rig.master->videoScreen()->status().fCapturingNow, 0u);

        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        const QString said = QString::fromLocal8Bit(cli.readAllStandardOutput());
        const QJsonObject v = probeStream(movie, QStringLiteral("video"));
        const int frames = probeInt(v, "nb_read_packets");
        QCOMPARE(probeInt(v, "nb_frames"), frames);
        QVERIFY2(said.contains(QStringLiteral(": %1 frames").arg(frames)), qPrintable(said));
        QCOMPARE(v.value(QStringLiteral("width")).toInt(), 320);
    }
};

QTEST_MAIN(TestRecordingLock)
#include "tst_recordinglock.moc"
