// FTP over TLS and passive FTP against a real vsftpd on 127.0.0.1: explicit
// AUTH TLS with the data connection protected too (vsftpd requires both),
// a made certificate trusted through the CA file the settings name.
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

using lv::FtpSettings;
using lv::FtpUpload;
using lv::SeriesUploader;

using nettest::randomBytes;
using nettest::writeFile;

namespace {

VsftpdTestServer* g_tls = nullptr;
VsftpdTestServer* g_plain = nullptr;

FtpSettings anonymous(const QString& server, quint16 port)
{
    FtpSettings s;
    s.server = server;
    s.port = port;
    s.userName = QStringLiteral("anonymous");
    s.password = QStringLiteral("cam@example.org");
    s.directory = QStringLiteral("incoming");
    return s;
}

} // namespace

class TestFtpsUpload : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;

    // A 3-shot series through the uploader; the names that arrived.
    void sendSeries(const FtpSettings& s, const FtpUpload::Options& o, const QString& arrivesIn)
    {
        SeriesUploader up(s, m_work.filePath(QStringLiteral("spool")), 0);
        up.setOptions(o);
        up.setHangUp([] {});
        QSignalSpy failed(&up, &SeriesUploader::failed);
        QList<QByteArray> shots;
        for (int i = 1; i <= 3; ++i) {
            shots << randomBytes(40000 + i * 333, 40 + i);
            const QString local = m_work.filePath(QStringLiteral("tls%1.jpg").arg(i));
            QVERIFY(writeFile(local, shots.last()));
            QVERIFY(up.add(local, QFileInfo(local).fileName()));
        }
        QVERIFY(QTest::qWaitFor([&] { return !up.isSending() && (up.waiting() == 0 || !failed.isEmpty()); }, 60000));
        QVERIFY2(failed.isEmpty(), qPrintable(up.lastError()));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(fileBytes(arrivesIn + QStringLiteral("/tls%1.jpg").arg(i)), shots[i - 1]);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        qputenv("XDG_CONFIG_HOME", m_work.filePath(QStringLiteral("config")).toUtf8());
        qputenv("LUMIVARK_HOME", m_work.filePath(QStringLiteral("program")).toUtf8());
    }

    // A 3-shot series arrives byte for byte over TLS (the server refuses any
    // plain login and any plain data connection), by the scheme or by the
    // settings' "require TLS" for a bare server name.
    void seriesOverTls_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("requireTls");
        QTest::newRow("ftps:// in the server field") << "ftps://127.0.0.1" << false;
        QTest::newRow("bare name with TLS required") << "127.0.0.1" << true;
    }
    void seriesOverTls()
    {
        QFETCH(QString, server);
        QFETCH(bool, requireTls);
        FtpUpload::Options o;
        o.requireTls = requireTls;
        o.caFile = g_tls->certificate();
        const QString dir = g_tls->root() + QStringLiteral("/incoming");
        for (const QString& f : QDir(dir).entryList(QDir::Files))
            QFile::remove(dir + QLatin1Char('/') + f);
        sendSeries(anonymous(server, g_tls->port()), o, dir);
    }

    void tlsRefusals_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("errorHas");
        QTest::newRow("plain login refused by the server") << "ftp://127.0.0.1" << true << "530 ";
        QTest::newRow("certificate not trusted") << "ftps://127.0.0.1" << false << "certificate is not trusted";
    }
    void tlsRefusals()
    {
        QFETCH(QString, server);
        QFETCH(bool, trusted);
        QFETCH(QString, errorHas);
        FtpUpload::Options o;
        o.caFile = trusted ? g_tls->certificate() : QString();
        const QString local = m_work.filePath(QStringLiteral("refused.jpg"));
        QVERIFY(writeFile(local, randomBytes(3000, 5)));
        FtpUpload up(anonymous(server, g_tls->port()));
        up.setOptions(o);
        up.setHangUp([] {});
        QVERIFY(!up.run(local, QString()));
        QVERIFY2(up.lastError().contains(errorHas), qPrintable(up.lastError()));
        QVERIFY(!up.failureIsTemporary());
        QVERIFY(!QFile::exists(g_tls->root() + QStringLiteral("/incoming/refused.jpg")));
    }

    // vsftpd here refuses active mode: the default passes, active is refused.
    void passivePlainFtp_data()
    {
        QTest::addColumn<bool>("passive");
        QTest::newRow("passive (default)") << true;
        QTest::newRow("active") << false;
    }
    void passivePlainFtp()
    {
        QFETCH(bool, passive);
        FtpUpload::Options o;
        o.passive = passive;
        const QByteArray bytes = randomBytes(12345, 7);
        const QString local = m_work.filePath(QStringLiteral("plain.jpg"));
        QVERIFY(writeFile(local, bytes));
        const QString onServer = g_plain->root() + QStringLiteral("/incoming/plain.jpg");
        QFile::remove(onServer);
        FtpUpload up(anonymous(QStringLiteral("127.0.0.1"), g_plain->port()));
        up.setOptions(o);
        up.setHangUp([] {});
        QCOMPARE(up.run(local, QString()), passive);
        if (passive)
            QCOMPARE(fileBytes(onServer), bytes);
        else
            QVERIFY(!QFile::exists(onServer));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    VsftpdTestServer tls(true);
    VsftpdTestServer plain(false);
    for (const VsftpdTestServer* s : {&tls, &plain}) {
        if (!s->isRunning()) {
            std::fprintf(stderr, "SKIP: vsftpd cannot start here: %s\n", qPrintable(s->errorText()));
            return 77;
        }
    }
    g_tls = &tls;
    g_plain = &plain;
    TestFtpsUpload test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ftpsupload.moc"
