#include "net/dialup.h"

#include "net/netlog.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/types.h>

namespace lv {

namespace {

constexpr int ArphrdPpp = 512; // linux/if_arp.h
constexpr unsigned IffUp = 0x1;

QByteArray readSmallFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(4096) : QByteArray();
}

} // namespace

QList<DialUpLink> ActiveDialUpLinks(const DialUpPlaces& places)
{
    // pppd writes "<pid>\n<interface>\n" to ppp-<linkname>.pid when a link name is set.
    QHash<QString, QString> linkNameOf;
    const QDir run(places.runDir);
    for (const QString& file : run.entryList({QStringLiteral("ppp-*.pid")}, QDir::Files)) {
        const QList<QByteArray> lines = readSmallFile(run.filePath(file)).split('\n');
        if (lines.size() >= 2 && !lines[1].trimmed().isEmpty())
            linkNameOf.insert(QString::fromUtf8(lines[1].trimmed()), file.mid(4, file.size() - 8));
    }

    QList<DialUpLink> links;
    const QDir net(places.netClassDir);
    for (const QString& ifname : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        if (readSmallFile(net.filePath(ifname + QStringLiteral("/type"))).trimmed().toInt(&ok) != ArphrdPpp || !ok)
            continue;
        const unsigned flags = readSmallFile(net.filePath(ifname + QStringLiteral("/flags"))).trimmed().toUInt(&ok, 16);
        if (!ok || !(flags & IffUp))
            continue;
        DialUpLink link;
        link.interfaceName = ifname;
        link.name = linkNameOf.value(ifname, ifname);
        link.pid = readSmallFile(run.filePath(ifname + QStringLiteral(".pid"))).trimmed().toLongLong();
        links.append(link);
    }
    return links;
}

int HangUpDialUp(const QString& comparisonName, const DialUpPlaces& places)
{
    int count = 0;
    for (const DialUpLink& link : ActiveDialUpLinks(places)) {
        if (link.name.trimmed() != comparisonName.trimmed() || link.pid <= 0)
            continue;
        if (::kill(static_cast<pid_t>(link.pid), SIGTERM) == 0) {
            qCInfo(lcNet).noquote() << "dial-up: hung up" << link.name << "on" << link.interfaceName;
            ++count;
        }
    }
    return count;
}

} // namespace lv
