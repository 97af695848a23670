#include "net/serveraddress.h"

#include <QStringList>
#include <QUrl>

namespace lv {

uint16_t ServerAddress::defaultPort(UploadProtocol protocol)
{
    return protocol == UploadProtocol::Sftp ? 22 : 21;
}

ServerAddress ServerAddress::parse(const QString& serverField, uint16_t portField, const QString& directoryField)
{
    ServerAddress a;
    QString rest = serverField.trimmed();
    const qsizetype schemeEnd = rest.indexOf(QLatin1String("://"));
    if (schemeEnd >= 0) {
        const QString scheme = rest.left(schemeEnd).toLower();
        if (scheme == QLatin1String("ftp")) {
            a.protocol = UploadProtocol::Ftp;
        } else if (scheme == QLatin1String("ftps")) {
            a.protocol = UploadProtocol::Ftps;
        } else if (scheme == QLatin1String("sftp")) {
            a.protocol = UploadProtocol::Sftp;
        } else {
            a.error = QStringLiteral("The server address names the protocol \"%1\"; use ftp://, ftps:// or sftp://.")
                          .arg(scheme);
            return a;
        }
        rest = rest.mid(schemeEnd + 3);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString authority = slash >= 0 ? rest.left(slash) : rest;
    QString urlPath = slash >= 0 ? rest.mid(slash + 1) : QString();

    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        a.userName = QUrl::fromPercentEncoding(authority.left(at).toUtf8());
        authority = authority.mid(at + 1);
    }
    QString portText;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0) {
            a.error = QStringLiteral("The server address has \"[\" without \"]\".");
            return a;
        }
        a.host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (after.startsWith(QLatin1Char(':')))
            portText = after.mid(1);
        else if (!after.isEmpty()) {
            a.error = QStringLiteral("The server address has text after \"]\".");
            return a;
        }
    } else if (authority.count(QLatin1Char(':')) == 1) {
        a.host = authority.section(QLatin1Char(':'), 0, 0);
        portText = authority.section(QLatin1Char(':'), 1);
    } else {
        a.host = authority; // a bare IPv6 address has several colons and no port
    }
    if (a.host.isEmpty()) {
        a.error = QStringLiteral("No FTP server address is set.");
        return a;
    }
    if (a.host.contains(QLatin1Char(' '))) {
        a.error = QStringLiteral("The server name \"%1\" holds a blank.").arg(a.host);
        return a;
    }

    a.port = portField;
    if (a.protocol == UploadProtocol::Sftp && portField == 21)
        a.port = 0;
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint p = portText.toUInt(&ok);
        if (!ok || p == 0 || p > 65535) {
            a.error = QStringLiteral("The port \"%1\" in the server address is not a number from 1 to 65535.").arg(portText);
            return a;
        }
        a.port = static_cast<uint16_t>(p);
    }
    if (a.port == 0)
        a.port = defaultPort(a.protocol);

    // "~" and "~/..." name the home directory itself.
    if (urlPath == QLatin1String("~"))
        urlPath.clear();
    else if (urlPath.startsWith(QLatin1String("~/")))
        urlPath = urlPath.mid(2);
    const QString field = directoryField.trimmed();
    if (field.startsWith(QLatin1Char('/')) || urlPath.isEmpty())
        a.directory = field;
    else if (field.isEmpty())
        a.directory = urlPath;
    else
        a.directory = urlPath + QLatin1Char('/') + field;
    return a;
}

QByteArray ServerAddress::urlBase() const
{
    QByteArray url = protocol == UploadProtocol::Sftp ? QByteArray("sftp://") : QByteArray("ftp://");
    if (host.contains(QLatin1Char(':')))
        url += '[' + host.toUtf8() + ']';
    else
        url += QUrl::toAce(host).isEmpty() ? host.toUtf8() : QUrl::toAce(host);
    return url + ':' + QByteArray::number(port);
}

QByteArray ServerAddress::directoryPath(const std::function<QByteArray(const QString&)>& escape) const
{
    const bool absolute = directory.startsWith(QLatin1Char('/'));
    QByteArray path;
    if (absolute)
        path = protocol == UploadProtocol::Sftp ? QByteArray() : QByteArray("%2F"); // FTP: the root, not the login directory
    else if (protocol == UploadProtocol::Sftp)
        path = "~/";
    const QStringList parts = directory.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        if (!path.isEmpty() && !path.endsWith('/'))
            path += '/';
        path += escape(p);
    }
    if (!path.isEmpty() && !path.endsWith('/'))
        path += '/';
    return path;
}

QString ServerAddress::display() const
{
    const QString scheme = protocol == UploadProtocol::Sftp   ? QStringLiteral("sftp")
                           : protocol == UploadProtocol::Ftps ? QStringLiteral("ftps")
                                                              : QStringLiteral("ftp");
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return scheme + QStringLiteral("://") + h + QLatin1Char(':') + QString::number(port);
}

} // namespace lv
