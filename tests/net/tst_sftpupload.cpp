// Series uploads over SFTP to a real OpenSSH sshd on 127.0.0.1 with a
// throwaway host key and user key; the host key is checked against the
// known_hosts of the test's own HOME.
#include "daemontestservers.h"
#include "ftptestserver.h"
#include "uploadfiles.h"
#include "net/ftpupload.h"
#include "net/seriesuploader.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <cstdio>
#include <memory>

using lv::FtpSettings;
using lv::FtpUpload;
using lv::SeriesUploader;

using nettest::randomBytes;
using nettest::writeFile;

namespace {

SshTestServer* g_server = nullptr;

enum class Refusal { WrongPassword, UnknownHostKey, ChangedHostKey };

} // namespace

Q_DECLARE_METATYPE(Refusal)

class TestSftpUpload : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;

    QString knownHosts() const { return g_server->clientHome() + QStringLiteral("/.ssh/known_hosts"); }

    FtpSettings settings(const QString& dir) const
    {
        FtpSettings s;
        s.server = QStringLiteral("sftp://127.0.0.1");
        s.port = g_server->port();
        s.userName = g_server->userName();
        s.password = QStringLiteral("not-the-password");
        s.directory = dir;
        return s;
    }

    // Nothing in the server's folder but what the test made.
    QStringList filesOnServer() const
    {
        QStringList all;
        QDirIterator it(g_server->root(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            all << it.next();
        return all;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        qputenv("XDG_CONFIG_HOME", m_work.filePath(QStringLiteral("config")).toUtf8());
        qputenv("LUMIVARK_HOME", m_work.filePath(QStringLiteral("program")).toUtf8());
    }

    void init()
    {
        QVERIFY(writeFile(knownHosts(), g_server->knownHostsLine().toUtf8() + '\n'));
        QDir(g_server->root()).removeRecursively();
        QVERIFY(QDir().mkpath(g_server->root() + QStringLiteral("/cam")));
        QVERIFY(QDir().mkpath(g_server->root() + QStringLiteral("/abs/pics")));
    }

    // A 3-shot series arrives byte for byte, with the user's key from ~/.ssh,
    // into a directory relative to the login's home and into an absolute one.
    void seriesArrives_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("arrivesIn"); // below the server's root
        QTest::newRow("home-relative directory") << "sftp://127.0.0.1" << "cam" << "cam";
        QTest::newRow("absolute directory") << "sftp://127.0.0.1" << g_server->root() + QStringLiteral("/abs/pics")
                                            << "abs/pics";
        QTest::newRow("directory in the address") << "sftp://127.0.0.1/cam" << "" << "cam";
        QTest::newRow("no directory: the home") << "sftp://127.0.0.1" << "" << "";
        // As FTP does: the picture goes to the login directory instead.
        QTest::newRow("missing directory: the home") << "sftp://127.0.0.1" << "no-such-folder" << "";
    }
    void seriesArrives()
    {
        QFETCH(QString, server);
        QFETCH(QString, directory);
        QFETCH(QString, arrivesIn);
        FtpSettings s = settings(directory);
        s.server = server;
        SeriesUploader up(s, m_work.filePath(QStringLiteral("spool")), 0);
        up.setHangUp([] {});
        QSignalSpy failed(&up, &SeriesUploader::failed);
        QList<QByteArray> shots;
        for (int i = 1; i <= 3; ++i) {
            shots << randomBytes(20000 + i * 777, i);
            const QString local = m_work.filePath(QStringLiteral("shot%1.jpg").arg(i));
            QVERIFY(writeFile(local, shots.last()));
            QVERIFY(up.add(local, QStringLiteral("shot%1.jpg").arg(i)));
        }
        QVERIFY(QTest::qWaitFor([&] { return up.waiting() == 0 && !up.isSending(); }, 60000));
        QVERIFY2(failed.isEmpty(), qPrintable(up.lastError()));
        for (int i = 1; i <= 3; ++i) {
            const QString onServer = g_server->root() + QLatin1Char('/') + arrivesIn + QStringLiteral("/shot%1.jpg").arg(i);
            QVERIFY2(QFileInfo::exists(onServer), qPrintable(filesOnServer().join(u' ')));
            QCOMPARE(fileBytes(onServer), shots[i - 1]);
        }
    }

    // Each refusal comes before anything is sent, says why (naming the host
    // key's fingerprint), and is no reason to try again by the clock.
    void refusals_data()
    {
        QTest::addColumn<Refusal>("refusal");
        QTest::newRow("wrong password, no usable key") << Refusal::WrongPassword;
        QTest::newRow("unknown host key") << Refusal::UnknownHostKey;
        QTest::newRow("changed host key") << Refusal::ChangedHostKey;
    }
    void refusals()
    {
        QFETCH(Refusal, refusal);
        FtpUpload::Options o;
        QString expected;
        if (refusal == Refusal::WrongPassword) {
            // A key the server does not know; the password is wrong too.
            const QString other = m_work.filePath(QStringLiteral("otherkey"));
            QFile::remove(other);
            QFile::remove(other + QStringLiteral(".pub"));
            QVERIFY(!runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"),
                                                            QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                                                            QStringLiteral("-f"), other})
                         .isNull());
            o.keyFile = other;
            expected = QStringLiteral("refused the login of \"%1\"").arg(g_server->userName());
        } else if (refusal == Refusal::UnknownHostKey) {
            QVERIFY(writeFile(knownHosts(), "# nothing here yet\n"));
            expected = QStringLiteral("is not known: it shows ") + g_server->hostKeyFingerprint();
        } else {
            const QString other = m_work.filePath(QStringLiteral("otherhost"));
            QFile::remove(other);
            QFile::remove(other + QStringLiteral(".pub"));
            QVERIFY(!runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"),
                                                            QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                                                            QStringLiteral("-f"), other})
                         .isNull());
            QFile pub(other + QStringLiteral(".pub"));
            QVERIFY(pub.open(QIODevice::ReadOnly));
            const QList<QByteArray> parts = pub.readAll().split(' ');
            QVERIFY(writeFile(knownHosts(), QStringLiteral("[127.0.0.1]:%1 %2 %3\n")
                                                .arg(g_server->port())
                                                .arg(QString::fromLatin1(parts[0]), QString::fromLatin1(parts[1]))
                                                .toUtf8()));
            expected = QStringLiteral("has CHANGED: it shows ") + g_server->hostKeyFingerprint();
        }
        QVERIFY(!g_server->hostKeyFingerprint().isEmpty());
        const QString local = m_work.filePath(QStringLiteral("refused.jpg"));
        QVERIFY(writeFile(local, randomBytes(5000, 9)));
        FtpUpload up(settings(QStringLiteral("cam")));
        up.setOptions(o);
        up.setHangUp([] {});
        QVERIFY(!up.run(local, QString()));
        QVERIFY2(up.lastError().contains(expected), qPrintable(up.lastError() + QStringLiteral(" / ") + expected));
        QVERIFY2(up.lastError().contains(QStringLiteral("nothing was sent")), qPrintable(up.lastError()));
        QVERIFY(!up.failureIsTemporary());
        QCOMPARE(filesOnServer(), QStringList());
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SshTestServer server;
    if (!server.isRunning()) {
        std::fprintf(stderr, "SKIP: sshd cannot start here: %s\n", qPrintable(server.errorText()));
        return 77;
    }
    g_server = &server;
    // The client's ~/.ssh is the test's: its key, its known_hosts.
    qputenv("HOME", server.clientHome().toUtf8());
    TestSftpUpload test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sftpupload.moc"
