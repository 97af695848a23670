#include "net/dialup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// A made-up /sys/class/net and /run with a live process standing in for pppd.
class TestDialUp : public QObject {
    Q_OBJECT

    static bool write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }

private slots:
    void hangUp_data()
    {
        QTest::addColumn<QString>("comparisonName");
        QTest::addColumn<int>("hungUp");
        QTest::newRow("empty name: nothing") << QString() << 0;
        QTest::newRow("interface name") << "ppp0" << 1;
        QTest::newRow("blanks trimmed") << "  ppp0 " << 1;
        QTest::newRow("pppd link name") << "office" << 1;
        QTest::newRow("interface with a link name is known by that") << "ppp2" << 0;
        QTest::newRow("link that is down") << "ppp1" << 0;
        QTest::newRow("not a ppp link") << "eth0" << 0;
    }

    void hangUp()
    {
        QFETCH(QString, comparisonName);
        QFETCH(int, hungUp);

        QTemporaryDir root;
        QProcess pppd0, pppd2;
        pppd0.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        pppd2.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(pppd0.waitForStarted() && pppd2.waitForStarted());

        const lv::DialUpPlaces places{root.filePath(QStringLiteral("net")), root.filePath(QStringLiteral("run"))};
        QVERIFY(write(places.netClassDir + QStringLiteral("/ppp0/type"), "512\n"));
        QVERIFY(write(places.netClassDir + QStringLiteral("/ppp0/flags"), "0x10d1\n"));
        QVERIFY(write(places.netClassDir + QStringLiteral("/ppp1/type"), "512\n"));
        QVERIFY(write(places.netClassDir + QStringLiteral("/ppp1/flags"), "0x1090\n"));
        QVERIFY(write(places.netClassDir + QStringLiteral("/ppp2/type"), "512\n"));
        QVERIFY(write(places.netClassDir + QStringLiteral("/ppp2/flags"), "0x10d1\n"));
        QVERIFY(write(places.netClassDir + QStringLiteral("/eth0/type"), "1\n"));
        QVERIFY(write(places.netClassDir + QStringLiteral("/eth0/flags"), "0x1003\n"));
        QVERIFY(write(places.runDir + QStringLiteral("/ppp0.pid"), QByteArray::number(pppd0.processId()) + '\n'));
        QVERIFY(write(places.runDir + QStringLiteral("/ppp2.pid"), QByteArray::number(pppd2.processId()) + '\n'));
        QVERIFY(write(places.runDir + QStringLiteral("/ppp-office.pid"),
                      QByteArray::number(pppd2.processId()) + "\nppp2\n"));

        QStringList names;
        for (const lv::DialUpLink& l : lv::ActiveDialUpLinks(places))
            names << l.name;
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("office"), QStringLiteral("ppp0")}));

        QCOMPARE(lv::HangUpDialUp(comparisonName, places), hungUp);
        const bool ended0 = pppd0.waitForFinished(hungUp && comparisonName.trimmed() == QLatin1String("ppp0") ? 5000 : 200);
        const bool ended2 = pppd2.waitForFinished(hungUp && comparisonName == QLatin1String("office") ? 5000 : 200);
        QCOMPARE(int(ended0) + int(ended2), hungUp);
        pppd0.kill();
        pppd2.kill();
        pppd0.waitForFinished();
        pppd2.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestDialUp)
#include "tst_dialup.moc"
