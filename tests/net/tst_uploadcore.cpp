// The widget-free pieces of the series upload that need no server: reading
// the server field, the spool's order, replacement and cap, and the host
// key's fingerprint as OpenSSH prints it.
#include "daemontestservers.h"
#include "net/serveraddress.h"
#include "net/sshhostkey.h"
#include "net/uploadspool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using lv::ServerAddress;
using lv::UploadProtocol;
using lv::UploadSpool;

Q_DECLARE_METATYPE(UploadProtocol)

namespace {

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return {};
    return path;
}

QStringList namesOf(const UploadSpool& spool)
{
    QStringList names;
    for (const UploadSpool::Entry& e : spool.entries())
        names << e.remoteName;
    return names;
}

} // namespace

class TestUploadCore : public QObject {
    Q_OBJECT

private slots:
    void address_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("portField");
        QTest::addColumn<QString>("dirField");
        QTest::addColumn<UploadProtocol>("protocol");
        QTest::addColumn<QString>("url");  // urlBase() + "/" + directoryPath(), empty when refused
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("error"); // part of the refusal

        const auto ftp = UploadProtocol::Ftp;
        const auto ftps = UploadProtocol::Ftps;
        const auto sftp = UploadProtocol::Sftp;
        // Older settings: a bare host means plain FTP on the port field.
        QTest::newRow("bare host") << "cam.example.org" << 21 << "" << ftp << "ftp://cam.example.org:21/" << "" << "";
        QTest::newRow("bare host, relative dir") << "10.0.0.5" << 2121 << "pics" << ftp << "ftp://10.0.0.5:2121/pics/" << "" << "";
        QTest::newRow("ftp absolute dir") << "ftp://h" << 21 << "/srv/pics" << ftp << "ftp://h:21/%2F/srv/pics/" << "" << "";
        QTest::newRow("ftp port in the address wins") << "ftp://h:2121" << 21 << "" << ftp << "ftp://h:2121/" << "" << "";
        QTest::newRow("ftps is explicit TLS on 21") << "ftps://h/up" << 21 << "" << ftps << "ftp://h:21/up/" << "" << "";
        QTest::newRow("sftp: FTP's port means SSH's") << "sftp://pi.local" << 21 << "" << sftp << "sftp://pi.local:22/~/" << "" << "";
        QTest::newRow("sftp port 0 means 22") << "sftp://h" << 0 << "cam" << sftp << "sftp://h:22/~/cam/" << "" << "";
        QTest::newRow("sftp port field kept") << "sftp://h" << 2222 << "" << sftp << "sftp://h:2222/~/" << "" << "";
        QTest::newRow("sftp dir in the address is home-relative")
            << "sftp://h:2200/pics/cam" << 21 << "" << sftp << "sftp://h:2200/~/pics/cam/" << "" << "";
        QTest::newRow("sftp // starts an absolute dir") << "sftp://h//srv/cam" << 21 << "" << sftp << "sftp://h:22/srv/cam/" << "" << "";
        QTest::newRow("sftp ~/ is home") << "sftp://h/~/cam" << 21 << "" << sftp << "sftp://h:22/~/cam/" << "" << "";
        QTest::newRow("dir field joins below the address's")
            << "sftp://h/pics" << 21 << "today" << sftp << "sftp://h:22/~/pics/today/" << "" << "";
        QTest::newRow("absolute dir field replaces it")
            << "sftp://h/pics" << 21 << "/var/cam" << sftp << "sftp://h:22/var/cam/" << "" << "";
        QTest::newRow("user in the address") << "sftp://pi@h" << 21 << "" << sftp << "sftp://h:22/~/" << "pi" << "";
        QTest::newRow("scheme in capitals") << "SFTP://H" << 21 << "" << sftp << "sftp://h:22/~/" << "" << "";
        QTest::newRow("IPv6 in brackets with port") << "sftp://[::1]:2222" << 21 << "" << sftp << "sftp://[::1]:2222/~/" << "" << "";
        QTest::newRow("bare IPv6") << "::1" << 21 << "" << ftp << "ftp://[::1]:21/" << "" << "";
        QTest::newRow("blanks around") << "  ftp://h  " << 21 << "" << ftp << "ftp://h:21/" << "" << "";
        QTest::newRow("unknown scheme") << "http://h" << 21 << "" << ftp << "" << "" << "\"http\"";
        QTest::newRow("port not a number") << "sftp://h:ssh" << 21 << "" << sftp << "" << "" << "port \"ssh\"";
        QTest::newRow("port too large") << "ftp://h:70000" << 21 << "" << ftp << "" << "" << "1 to 65535";
        QTest::newRow("no host") << "sftp:///srv" << 21 << "" << sftp << "" << "" << "No FTP server address";
        QTest::newRow("empty") << "   " << 21 << "" << ftp << "" << "" << "No FTP server address";
    }
    void address()
    {
        QFETCH(QString, server);
        QFETCH(int, portField);
        QFETCH(QString, dirField);
        QFETCH(UploadProtocol, protocol);
        QFETCH(QString, url);
        QFETCH(QString, user);
        QFETCH(QString, error);
        const ServerAddress a = ServerAddress::parse(server, static_cast<uint16_t>(portField), dirField);
        if (!error.isEmpty()) {
            QVERIFY(!a.ok());
            QVERIFY2(a.error.contains(error), qPrintable(a.error));
            return;
        }
        QVERIFY2(a.ok(), qPrintable(a.error));
        QCOMPARE(a.protocol, protocol);
        QCOMPARE(a.userName, user);
        const QByteArray full = a.urlBase() + '/' + a.directoryPath([](const QString& p) { return p.toUtf8(); });
        QCOMPARE(QString::fromUtf8(full), url);
    }

    // Pictures wait in the order they were taken, also for a new spool object
    // on the same folder (the program started again); a half copy is no picture.
    void spoolKeepsOrderAcrossRestart()
    {
        QTemporaryDir dir;
        const QString pic = writeFile(dir.filePath(QStringLiteral("p.jpg")), QByteArray(1000, 'x'));
        const QString folder = dir.filePath(QStringLiteral("spool"));
        {
            UploadSpool spool(folder, 0);
            // Past 9 and 10: the order is numeric, not by text.
            for (int i = 1; i <= 12; ++i)
                QVERIFY(spool.add(pic, QStringLiteral("cam%1.jpg").arg(i, 5, 10, QLatin1Char('0')), nullptr, nullptr));
            QVERIFY(spool.remove(spool.entries().front()));
        }
        writeFile(folder + QStringLiteral("/0000000099-half.jpg.part"), "half");
        UploadSpool again(folder, 0);
        QStringList expected;
        for (int i = 2; i <= 12; ++i)
            expected << QStringLiteral("cam%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        QCOMPARE(namesOf(again), expected);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/0000000099-half.jpg.part")));
        QVERIFY(QFile::exists(again.entries().front().file));
        // The copy is a copy: the picture's own file may change meanwhile.
        writeFile(pic, "changed");
        QCOMPARE(QFileInfo(again.entries().back().file).size(), 1000);
    }

    // "Refresh Same" writes one name again and again: only the newest waits.
    void spoolKeepsNewestOfOneName()
    {
        QTemporaryDir dir;
        UploadSpool spool(dir.filePath(QStringLiteral("spool")), 0);
        for (const char* content : {"first", "second", "third"}) {
            const QString pic = writeFile(dir.filePath(QStringLiteral("live.jpg")), content);
            QVERIFY(spool.add(pic, QStringLiteral("live.jpg"), nullptr, nullptr));
        }
        QCOMPARE(namesOf(spool), QStringList{QStringLiteral("live.jpg")});
        QFile f(spool.entries().front().file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("third"));
    }

    // The cap drops the oldest pictures first and names them; a picture larger
    // than the cap alone is refused without dropping anything.
    void spoolCapDropsOldestFirst()
    {
        QTemporaryDir dir;
        UploadSpool spool(dir.filePath(QStringLiteral("spool")), 2500);
        const QString pic = writeFile(dir.filePath(QStringLiteral("k.jpg")), QByteArray(1000, 'k'));
        QStringList dropped;
        QVERIFY(spool.add(pic, QStringLiteral("a.jpg"), &dropped, nullptr));
        QVERIFY(spool.add(pic, QStringLiteral("b.jpg"), &dropped, nullptr));
        QVERIFY(dropped.isEmpty());
        QVERIFY(spool.add(pic, QStringLiteral("c.jpg"), &dropped, nullptr));
        QCOMPARE(dropped, QStringList{QStringLiteral("a.jpg")});
        QCOMPARE(namesOf(spool), (QStringList{QStringLiteral("b.jpg"), QStringLiteral("c.jpg")}));

        const QString big = writeFile(dir.filePath(QStringLiteral("big.jpg")), QByteArray(3000, 'b'));
        QString why;
        dropped.clear();
        QVERIFY(!spool.add(big, QStringLiteral("big.jpg"), &dropped, &why));
        QVERIFY2(why.contains(QStringLiteral("larger than")), qPrintable(why));
        QVERIFY(dropped.isEmpty());
        QCOMPARE(namesOf(spool), (QStringList{QStringLiteral("b.jpg"), QStringLiteral("c.jpg")}));
        QCOMPARE(spool.bytes(), 2000);
    }

    // Each server (and user and directory) has a folder of its own.
    void spoolFolderPerServer()
    {
        const auto folder = [](const QString& server, const QString& user, const QString& dir) {
            return UploadSpool::folderFor(QStringLiteral("/r"), ServerAddress::parse(server, 21, dir), user);
        };
        const QString a = folder(QStringLiteral("sftp://h"), QStringLiteral("u"), QString());
        QCOMPARE(folder(QStringLiteral("sftp://h:22"), QStringLiteral("u"), QString()), a);
        QVERIFY(folder(QStringLiteral("ftp://h"), QStringLiteral("u"), QString()) != a);
        QVERIFY(folder(QStringLiteral("sftp://h"), QStringLiteral("v"), QString()) != a);
        QVERIFY(folder(QStringLiteral("sftp://h"), QStringLiteral("u"), QStringLiteral("d")) != a);
        QVERIFY(folder(QStringLiteral("sftp://../../x"), QStringLiteral("u"), QString()).startsWith(QStringLiteral("/r/")));
        QVERIFY(!folder(QStringLiteral("sftp://../../x"), QStringLiteral("u"), QString()).mid(3).contains(u'/'));
    }

    // The fingerprint in a refusal is the one `ssh-keygen -lf` prints.
    void fingerprintAsOpenSsh()
    {
        QTemporaryDir dir;
        const QString key = dir.filePath(QStringLiteral("k"));
        if (runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                                   QStringLiteral("-N"), QString(), QStringLiteral("-f"), key})
                .isNull())
            QSKIP("ssh-keygen is not installed");
        QFile pub(key + QStringLiteral(".pub"));
        QVERIFY(pub.open(QIODevice::ReadOnly));
        const QByteArray blob = QByteArray::fromBase64(pub.readAll().split(' ').value(1));
        const QByteArray printed = runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), key + QStringLiteral(".pub")});
        QCOMPARE(lv::ssh::fingerprint(blob), QString::fromLatin1(printed.split(' ').value(1)));
    }
};

QTEST_GUILESS_MAIN(TestUploadCore)
#include "tst_uploadcore.moc"
