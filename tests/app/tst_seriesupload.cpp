#include "tst_capturerig.h"

#include "app/keyedtoolbar.h"
#include "ftptestserver.h"
#include "net/ftpupload.h"
#include "mainwindowparts.h"

#include <QSpinBox>

using lv::test::part;

using namespace lv;
using namespace captest;

// A timer series with "Send a copy to FTP Server" pressed, against a real FTP
// server that takes 20 KB a second.
class TestSeriesUpload : public QObject {
    Q_OBJECT

private slots:
    // Each stored picture goes to the server; while its upload is on its way
    // the series waits (the ticks change nothing), and afterwards goes on.
    void seriesWaitsForTheUpload()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        FtpTestServer server({QStringLiteral("--throttle"), QStringLiteral("20000")});
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.jpg")));
        rig.fileName = out.filePath(QStringLiteral("cam.jpg"));
        rig.multiple(2, QStringLiteral("timer"));
        rig.model.edit([&](lv::CaptureSettings& c) { c.URL = QStringLiteral("127.0.0.1"); });
        rig.model.edit([&](lv::CaptureSettings& c) { c.Port = server.port(); });
        rig.model.edit([&](lv::CaptureSettings& c) { c.Username = QLatin1String(FtpTestServer::User); });
        rig.model.edit([&](lv::CaptureSettings& c) { c.Password = QLatin1String(FtpTestServer::Password); });
        part<lv::KeyedToolBar>(rig.master, "MultipleImageToolbar")->setPressed(QStringLiteral("ftp"), true);
        rig.startTimerSeriesTickedByHand(2);
        if (QTest::currentTestFailed())
            return;

        const QDir dir(out.path());
        for (const char* name : {"cam00001.jpg", "cam00002.jpg"}) {
            const QString local = out.filePath(QLatin1String(name));
            for (int i = 0; i < 2 && !QFile::exists(local); ++i)
                rig.ctl->seriesTimerTick();
            QVERIFY2(QFile::exists(local), name);
            QVERIFY(FtpUpload::anyRunning());
            // The series holds: no countdown, no picture.
            const QString status = rig.status();
            const QStringList files = dir.entryList(QDir::Files);
            for (int i = 0; i < 4; ++i)
                rig.ctl->seriesTimerTick();
            QCOMPARE(dir.entryList(QDir::Files), files);
            if (FtpUpload::anyRunning())
                QCOMPARE(rig.status(), status);
            QVERIFY(QTest::qWaitFor([] { return !FtpUpload::anyRunning(); }, 60000));
            QVERIFY(QTest::qWaitFor([&] { return rig.status().isEmpty(); }, 10000));
            QCOMPARE(fileBytes(server.pathOnServer(QLatin1String(name))), fileBytes(local));
        }
        rig.master->RecordButtonClicked();
        QVERIFY(!rig.ctl->program().seriesTimer().isActive());
    }
};

QTEST_MAIN(TestSeriesUpload)
#include "tst_seriesupload.moc"
