#include "ftptestserver.h"

#include "net/ui/ftpimage.h"
#include "net/ftpupload.h"
#include "net/ui/netconfig.h"
#include "net/seriesuploader.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QSpinBox>
#include <QtTest>

#include <memory>

using lv::FtpSettings;

namespace {

lv::FTPImage* openUploadWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("FTPImage") && w->isVisible())
            return qobject_cast<lv::FTPImage*>(w);
    return nullptr;
}

// Opens the upload window and waits, in this thread's event loop, until the
// upload is over.
bool sendAndWait(const QString& local, const QString& remote, const FtpSettings& st,
                 const lv::FtpUpload::StatusSink& mainStatus = {})
{
    bool ok = false, done = false;
    lv::FTPImage* w = lv::SendFileToFtp(local, remote, st, mainStatus);
    QObject::connect(w, &lv::FTPImage::uploadFinished, w, [&](bool result) {
        ok = result;
        done = true;
    });
    if (!QTest::qWaitFor([&done] { return done; }, 180000))
        return false;
    return ok;
}

QByteArray randomBytes(qsizetype n)
{
    QByteArray b(n, Qt::Uninitialized);
    auto* words = reinterpret_cast<quint32*>(b.data());
    QRandomGenerator(11).fillRange(words, static_cast<qsizetype>(n / 4));
    return b;
}

} // namespace

class TestNetWindows : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FtpTestServer> m_server;
    std::unique_ptr<FtpTestServer> m_throttled;

    FtpSettings settingsFor(const FtpTestServer& s) const
    {
        FtpSettings st;
        st.server = QStringLiteral("127.0.0.1");
        st.port = s.port();
        st.userName = QLatin1String(FtpTestServer::User);
        st.password = QLatin1String(FtpTestServer::Password);
        return st;
    }

    QString writeLocal(const QString& name, const QByteArray& bytes) const
    {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return {};
        return f.fileName();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("LUMIVARK_HOME", m_dir.filePath(QStringLiteral("home")).toUtf8());
        m_server = std::make_unique<FtpTestServer>();
        QVERIFY2(m_server->isRunning(), qPrintable(m_server->errorText()));
        m_throttled = std::make_unique<FtpTestServer>(QStringList{QStringLiteral("--throttle"), QStringLiteral("1000000")});
        QVERIFY2(m_throttled->isRunning(), qPrintable(m_throttled->errorText()));
    }

    // The modal window uploads, closes by itself and leaves the main status clear.
    void sendFileToFtp()
    {
        const QByteArray bytes = randomBytes(250 * 1000);
        const QString local = writeLocal(QStringLiteral("cam00007.jpg"), bytes);
        QStringList mainStatus;
        const bool ok = sendAndWait(local, QStringLiteral("ignored.jpg"), settingsFor(*m_server),
                                    [&](const QString& s) { mainStatus << s; });
        QVERIFY(ok);
        QVERIFY(!openUploadWindow());
        QCOMPARE(fileBytes(m_server->pathOnServer(QStringLiteral("cam00007.jpg"))), bytes);
        QCOMPARE(mainStatus, (QStringList{QStringLiteral("Uploading Image..."), QStringLiteral("Disconnecting..."), QString()}));
    }

    // While a long transfer runs the window shows it through its timer, and
    // "Cancel" ends it at once with the reason left on the main status line.
    void windowDuringTransferAndCancel()
    {
        const QByteArray bytes = randomBytes(24 * 1024 * 1024);
        const QString local = writeLocal(QStringLiteral("long.bin"), bytes);
        const QDateTime modified = QFileInfo(local).lastModified();

        bool frameless = false, animationShown = false;
        QString remoteLabel, statusSeen;
        int progressSeen = 0;
        bool goneAtCancel = false;
        QElapsedTimer sinceStart;
        sinceStart.start();
        QTimer watch;
        watch.setInterval(50);
        connect(&watch, &QTimer::timeout, this, [&] {
            lv::FTPImage* w = openUploadWindow();
            if (!w)
                return;
            frameless = w->windowFlags().testFlag(Qt::FramelessWindowHint);
            remoteLabel = w->findChild<QLabel*>(QStringLiteral("Remotefile"))->text();
            auto* anim = w->findChild<QLabel*>(QStringLiteral("Animation1"));
            animationShown = anim->isVisible() && anim->movie() && anim->movie()->isValid();
            const QString status = w->findChild<QLabel*>(QStringLiteral("Status"))->text();
            const int progress = w->findChild<QProgressBar*>(QStringLiteral("ProgressBar"))->value();
            if ((status.startsWith(QLatin1String("Transfering: ")) && progress > 1) || sinceStart.elapsed() > 30000) {
                statusSeen = status;
                progressSeen = progress;
                watch.stop();
                QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
                goneAtCancel = !w->isVisible();
            }
        });
        watch.start();

        QStringList mainStatus;
        const bool ok = sendAndWait(local, QString(), settingsFor(*m_throttled),
                                    [&](const QString& s) { mainStatus << s; });
        QVERIFY(!ok);
        QVERIFY(!openUploadWindow());
        QVERIFY(goneAtCancel);
        QVERIFY(frameless);
        QVERIFY(animationShown);
        QCOMPARE(remoteLabel, QStringLiteral("Uploading long.bin"));
        QVERIFY2(statusSeen.endsWith(QStringLiteral(" bytes  of%1 bytes").arg(bytes.size())), qPrintable(statusSeen));
        QVERIFY(progressSeen > 1 && progressSeen < 100);
        QCOMPARE(mainStatus.last(), QStringLiteral("Error:The upload was cancelled."));
        QVERIFY(fileBytes(m_throttled->pathOnServer(QStringLiteral("long.bin"))).size() < bytes.size());
        QCOMPARE(fileBytes(local), bytes);
        QCOMPARE(QFileInfo(local).lastModified(), modified);

        // The next one goes through.
        const QString small = writeLocal(QStringLiteral("next.bin"), QByteArray("next"));
        QVERIFY(sendAndWait(small, QString(), settingsFor(*m_server)));
        QCOMPARE(fileBytes(m_server->pathOnServer(QStringLiteral("next.bin"))), QByteArray("next"));
    }

    void animation_data()
    {
        QTest::addColumn<QByteArray>("fileInProgramDir"); // null: none there
        QTest::addColumn<bool>("shown");
        QTest::newRow("shipped animation") << QByteArray() << true;
        QTest::newRow("unreadable file") << QByteArray("not an animation") << false;
    }

    void animation()
    {
        QFETCH(QByteArray, fileInProgramDir);
        QFETCH(bool, shown);
        QDir().mkpath(m_dir.filePath(QStringLiteral("home")));
        const QString placed = m_dir.filePath(QStringLiteral("home/lmvkua.iva"));
        QFile::remove(placed);
        if (!fileInProgramDir.isNull()) {
            QFile f(placed);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(fileInProgramDir);
        }
        lv::FTPImage w(FtpSettings{});
        auto* anim = w.findChild<QLabel*>(QStringLiteral("Animation1"));
        QVERIFY(anim);
        QCOMPARE(!anim->isHidden(), shown);
        if (shown)
            QVERIFY(anim->movie() && anim->movie()->frameCount() > 1);
        auto* bar = w.findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
        QCOMPARE(bar->minimum(), 1);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 1);
        QFile::remove(placed);
    }

    void netConfigShows_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("portText");
        QTest::newRow("default port") << 21 << "21";
        QTest::newRow("port 0 leaves the box empty") << 0 << "";
        QTest::newRow("high port") << 50021 << "50021";
    }

    void netConfigShows()
    {
        QFETCH(int, port);
        QFETCH(QString, portText);
        FtpSettings st{QStringLiteral("ftp.example.org"), static_cast<uint16_t>(port), QStringLiteral("cam"),
                       QStringLiteral("abcd"), QStringLiteral("pics/cam")};
        lv::NetConfig w(st);
        QCOMPARE(w.windowTitle(), QStringLiteral("Internet Settings"));
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Address"))->text(), st.server);
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Port"))->text(), portText);
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Username"))->text(), st.userName);
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Directory"))->text(), st.directory);
        auto* password = w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Password"));
        QCOMPARE(password->text(), st.password);
        QCOMPARE(password->displayText(), QStringLiteral("****"));
    }

    void netConfigStores_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<int>("stored");
        QTest::newRow("plain") << "2121" << 2121;
        QTest::newRow("not a number") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("leading number") << "21x" << 21;
        QTest::newRow("rounded") << " 99.6" << 100;
        QTest::newRow("above the range") << "70000" << 65535;
        QTest::newRow("negative") << "-5" << 0;
    }

    void netConfigStores()
    {
        QFETCH(QString, portText);
        QFETCH(int, stored);
        FtpSettings st;
        lv::NetConfig w(st);
        w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Address"))->setText(QStringLiteral("10.0.0.5"));
        w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Port"))->setText(portText);
        w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Username"))->setText(QStringLiteral("me"));
        w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Password"))->setText(QStringLiteral("pw"));
        w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Directory"))->setText(QStringLiteral("up"));
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(st.server, QStringLiteral("10.0.0.5"));
        QCOMPARE(int(st.port), stored);
        QCOMPARE(st.userName, QStringLiteral("me"));
        QCOMPARE(st.password, QStringLiteral("pw"));
        QCOMPARE(st.directory, QStringLiteral("up"));
    }

    // "Require an encrypted connection" lives in the settings store: OK
    // stores it both ways, Cancel leaves it.
    void netConfigTlsChoice()
    {
        FtpSettings st;
        for (const bool on : {true, false}) {
            lv::NetConfig w(st);
            auto* tls = w.findChild<QCheckBox*>(QStringLiteral("frmFTP_TLS"));
            QVERIFY(tls);
            QCOMPARE(tls->isChecked(), !on);
            tls->setChecked(on);
            QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
            QCOMPARE(lv::FtpUpload::tlsRequired(), on);
        }
        lv::NetConfig w(st);
        w.findChild<QCheckBox*>(QStringLiteral("frmFTP_TLS"))->setChecked(true);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
        QVERIFY(!lv::FtpUpload::tlsRequired());
    }

    // New settings show passive mode ticked; the choices of the upload kept in
    // the settings store (passive, CA file, SSH key, spool limit) are stored
    // by OK and shown again by the next window.
    void netConfigUploadChoices()
    {
        FtpSettings st;
        {
            lv::NetConfig w(st);
            auto* passive = w.findChild<QCheckBox*>(QStringLiteral("frmFTP_Passive"));
            auto* spool = w.findChild<QSpinBox*>(QStringLiteral("frmFTP_SpoolMB"));
            QVERIFY(passive && spool);
            QVERIFY(passive->isChecked());
            QCOMPARE(spool->value(), lv::SeriesUploader::DefaultSpoolLimitMegabytes);
            passive->setChecked(false);
            spool->setValue(50);
            w.findChild<QLineEdit*>(QStringLiteral("frmFTP_CAFile"))->setText(QStringLiteral("/etc/my-ca.pem"));
            w.findChild<QLineEdit*>(QStringLiteral("frmFTP_KeyFile"))->setText(QStringLiteral("/home/u/.ssh/cam_key"));
            QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
        }
        QVERIFY(!lv::FtpUpload::passiveMode());
        QCOMPARE(lv::FtpUpload::tlsAuthorityFile(), QStringLiteral("/etc/my-ca.pem"));
        QCOMPARE(lv::FtpUpload::sshKeyFile(), QStringLiteral("/home/u/.ssh/cam_key"));
        QCOMPARE(lv::SeriesUploader::spoolLimitMegabytes(), 50);
        lv::NetConfig again(st);
        QVERIFY(!again.findChild<QCheckBox*>(QStringLiteral("frmFTP_Passive"))->isChecked());
        QCOMPARE(again.findChild<QSpinBox*>(QStringLiteral("frmFTP_SpoolMB"))->value(), 50);
        lv::FtpUpload::setPassiveMode(true);
        lv::FtpUpload::setTlsAuthorityFile(QString());
        lv::FtpUpload::setSshKeyFile(QString());
        lv::SeriesUploader::setSpoolLimitMegabytes(lv::SeriesUploader::DefaultSpoolLimitMegabytes);
    }

    void netConfigCancelKeeps()
    {
        FtpSettings st{QStringLiteral("a"), 21, QStringLiteral("u"), QStringLiteral("p"), QStringLiteral("d")};
        lv::NetConfig w(st);
        w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Address"))->setText(QStringLiteral("changed"));
        w.findChild<QLineEdit*>(QStringLiteral("frmFTP_Port"))->setText(QStringLiteral("99"));
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(st.server, QStringLiteral("a"));
        QCOMPARE(int(st.port), 21);
    }
};

QTEST_MAIN(TestNetWindows)
#include "tst_netwindows.moc"
