// The series upload through its spool against a real FTP server (pyftpdlib)
// that goes away and comes back, on the same port; the server's log of the
// files it received completely shows their order and that none came twice.
#include "ftptestserver.h"
#include "uploadfiles.h"
#include "net/ftpupload.h"
#include "net/seriesuploader.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using lv::FtpSettings;
using lv::FtpUpload;
using lv::SeriesUploader;

using nettest::randomBytes;
using nettest::writeFile;

class TestUploadSpool : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    int m_run = 0;

    FtpSettings settingsFor(const FtpTestServer& s) const
    {
        FtpSettings st;
        st.server = QStringLiteral("127.0.0.1");
        st.port = s.port();
        st.userName = QLatin1String(FtpTestServer::User);
        st.password = QLatin1String(FtpTestServer::Password);
        return st;
    }

    std::unique_ptr<SeriesUploader> uploader(const FtpTestServer& s, const QString& root, qint64 cap = 0)
    {
        auto up = std::make_unique<SeriesUploader>(settingsFor(s), root, cap);
        up->setHangUp([] {});
        up->setRetryInterval(200);
        return up;
    }

    static QStringList received(const QString& log)
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList names;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty())
                names << QFileInfo(QString::fromUtf8(line)).fileName();
        return names;
    }

    static bool settled(const SeriesUploader& up) { return !up.isSending() && up.waiting() == 0; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        qputenv("XDG_CONFIG_HOME", m_work.filePath(QStringLiteral("config")).toUtf8());
        qputenv("LUMIVARK_HOME", m_work.filePath(QStringLiteral("program")).toUtf8());
    }

    // The server stops after shot 2 of 6 and starts again: all six arrive,
    // in order, none twice; also when the program was restarted meanwhile
    // (a new uploader on the same spool).
    void serverAwayAndBack_data()
    {
        QTest::addColumn<bool>("restartProgram");
        QTest::newRow("same program") << false;
        QTest::newRow("program restarted while the server was away") << true;
    }
    void serverAwayAndBack()
    {
        QFETCH(bool, restartProgram);
        const QString log = m_work.filePath(QStringLiteral("received%1.log").arg(++m_run));
        FtpTestServer server({QStringLiteral("--log"), log});
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        const QString root = m_work.filePath(QStringLiteral("spool%1").arg(m_run));
        auto up = uploader(server, root);
        QStringList mainStatus;
        auto listen = [&mainStatus](SeriesUploader& u) {
            connect(&u, &SeriesUploader::mainStatusChanged, &u, [&mainStatus](const QString& t) { mainStatus << t; });
        };
        listen(*up);

        QList<QByteArray> shots;
        auto shoot = [&](SeriesUploader& u) {
            const int n = static_cast<int>(shots.size()) + 1;
            shots << randomBytes(30000 + n * 1000, n);
            const QString local = m_work.filePath(QStringLiteral("cam%1.jpg").arg(n, 5, 10, QLatin1Char('0')));
            return writeFile(local, shots.last()) && u.add(local, QFileInfo(local).fileName());
        };
        QVERIFY(shoot(*up));
        QVERIFY(shoot(*up));
        QVERIFY(QTest::qWaitFor([&] { return settled(*up); }, 30000));
        QCOMPARE(received(log).size(), 2);

        server.stop();
        QSignalSpy failed(up.get(), &SeriesUploader::failed);
        for (int i = 3; i <= 6; ++i) {
            QVERIFY(shoot(*up));
            QVERIFY(QTest::qWaitFor([&] { return !up->isSending(); }, 30000));
        }
        QVERIFY(!failed.isEmpty());
        QCOMPARE(failed.last().at(2).toBool(), true); // worth trying again
        QCOMPARE(up->waiting(), 4);
        QVERIFY2(mainStatus.last().contains(QStringLiteral("4 pictures wait for the server")),
                 qPrintable(mainStatus.last()));

        if (restartProgram) {
            up.reset();
            up = uploader(server, root);
            listen(*up);
            QCOMPARE(up->waiting(), 4);
        }
        QVERIFY2(server.restart(), qPrintable(server.errorText()));
        QVERIFY(QTest::qWaitFor([&] { return settled(*up); }, 30000));

        QStringList expected;
        for (int i = 1; i <= 6; ++i)
            expected << QStringLiteral("cam%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        QCOMPARE(received(log), expected);
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(fileBytes(server.pathOnServer(expected[i - 1])), shots[i - 1]);
        QVERIFY(QDir(up->spoolFolder()).entryList(QDir::Files).isEmpty());
        QCOMPARE(mainStatus.last(), QString());
    }

    // "Refresh Same" while the server is away: only the newest picture goes.
    void refreshSameSendsNewest()
    {
        const QString log = m_work.filePath(QStringLiteral("refresh.log"));
        FtpTestServer server({QStringLiteral("--log"), log});
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        server.stop();
        auto up = uploader(server, m_work.filePath(QStringLiteral("spool-refresh")));
        const QString local = m_work.filePath(QStringLiteral("live.jpg"));
        for (const char* content : {"first picture", "second picture", "third picture"}) {
            QVERIFY(writeFile(local, content));
            up->add(local, QStringLiteral("live.jpg"));
            QVERIFY(QTest::qWaitFor([&] { return !up->isSending(); }, 30000));
        }
        QCOMPARE(up->waiting(), 1);
        QVERIFY(server.restart());
        QVERIFY(QTest::qWaitFor([&] { return settled(*up); }, 30000));
        QCOMPARE(received(log), QStringList{QStringLiteral("live.jpg")});
        QCOMPARE(fileBytes(server.pathOnServer(QStringLiteral("live.jpg"))), QByteArray("third picture"));
    }

    // Past the cap the oldest waiting picture is dropped, and that is said.
    void capDropsOldestAndSaysSo()
    {
        const QString log = m_work.filePath(QStringLiteral("cap.log"));
        FtpTestServer server({QStringLiteral("--log"), log});
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        server.stop();
        auto up = uploader(server, m_work.filePath(QStringLiteral("spool-cap")), 2 * 1024 * 1024 + 1000);
        QSignalSpy dropped(up.get(), &SeriesUploader::dropped);
        QStringList mainStatus;
        connect(up.get(), &SeriesUploader::mainStatusChanged, up.get(), [&mainStatus](const QString& t) { mainStatus << t; });
        for (int i = 1; i <= 3; ++i) {
            const QString local = m_work.filePath(QStringLiteral("big%1.jpg").arg(i));
            QVERIFY(writeFile(local, randomBytes(1024 * 1024, i)));
            up->add(local, QFileInfo(local).fileName());
            QVERIFY(QTest::qWaitFor([&] { return !up->isSending(); }, 30000));
        }
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(dropped.at(0).at(0).toString(), QStringLiteral("big1.jpg"));
        QVERIFY(std::any_of(mainStatus.cbegin(), mainStatus.cend(), [](const QString& t) {
            return t.contains(QStringLiteral("big1.jpg")) && t.contains(QStringLiteral("dropped"));
        }));
        QVERIFY(server.restart());
        QVERIFY(QTest::qWaitFor([&] { return settled(*up); }, 30000));
        QCOMPARE(received(log), (QStringList{QStringLiteral("big2.jpg"), QStringLiteral("big3.jpg")}));
    }

    // Passive mode is the default and passes a server that refuses active
    // mode; active mode stays available when chosen.
    void passiveByDefault_data()
    {
        QTest::addColumn<QString>("stored"); // LV/NET/PASSIVE, empty: never set
        QTest::addColumn<bool>("arrives");
        QTest::newRow("new settings") << QString() << true;
        QTest::newRow("passive chosen") << "1" << true;
        QTest::newRow("active chosen") << "0" << false;
    }
    void passiveByDefault()
    {
        QFETCH(QString, stored);
        QFETCH(bool, arrives);
        QFile::remove(m_work.filePath(QStringLiteral("config/lumivark/LV.ini")));
        if (!stored.isEmpty())
            FtpUpload::setPassiveMode(stored == QLatin1String("1"));
        FtpTestServer server({QStringLiteral("--passive-only")});
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        const QByteArray bytes = randomBytes(7000, 3);
        const QString local = m_work.filePath(QStringLiteral("passive.jpg"));
        QVERIFY(writeFile(local, bytes));
        FtpUpload up(settingsFor(server));
        up.setHangUp([] {});
        QCOMPARE(up.run(local, QString()), arrives);
        if (arrives)
            QCOMPARE(fileBytes(server.pathOnServer(QStringLiteral("passive.jpg"))), bytes);
        else
            QVERIFY2(!QFile::exists(server.pathOnServer(QStringLiteral("passive.jpg"))), qPrintable(up.lastError()));
        FtpUpload::setPassiveMode(true);
    }

    // ftps:// to a server without TLS: refused before the user name and
    // password would go out in plain.
    void ftpsNeverFallsBackToPlain()
    {
        FtpTestServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        FtpSettings st = settingsFor(server);
        st.server = QStringLiteral("ftps://127.0.0.1");
        const QString local = m_work.filePath(QStringLiteral("plain.jpg"));
        QVERIFY(writeFile(local, "x"));
        FtpUpload up(st);
        up.setHangUp([] {});
        QVERIFY(!up.run(local, QString()));
        QVERIFY2(up.lastError().contains(QStringLiteral("user name and password were not sent")), qPrintable(up.lastError()));
        QVERIFY(!QFile::exists(server.pathOnServer(QStringLiteral("plain.jpg"))));
    }
};

QTEST_GUILESS_MAIN(TestUploadSpool)
#include "tst_uploadspool.moc"
