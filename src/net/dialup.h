#pragma once

#include <QList>
#include <QString>

namespace lv {

// An active dial-up (PPP) link: its entry name (pppd's "linkname" when one is
// set, else the interface name), the interface and the pid of its pppd.
struct DialUpLink {
    QString name;
    QString interfaceName;
    qint64 pid = 0; // 0 when no pid file names it
};

// Where the links are looked up; tests point these at a made-up tree.
struct DialUpPlaces {
    QString netClassDir = QStringLiteral("/sys/class/net"); // <if>/type, <if>/flags
    QString runDir = QStringLiteral("/run");                // <if>.pid, ppp-<linkname>.pid
};

// The PPP links that are up.
QList<DialUpLink> ActiveDialUpLinks(const DialUpPlaces& places = {});

// Hangs up (SIGTERM to its pppd) every active link whose entry name, blanks
// trimmed, equals comparisonName. Nothing in the program names a link, so the
// empty name is passed and no real link qualifies. Returns how many were hung up.
int HangUpDialUp(const QString& comparisonName = {}, const DialUpPlaces& places = {});

} // namespace lv
