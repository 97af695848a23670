#include "net/sshhostkey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace lv::ssh {

QString fingerprint(const QByteArray& keyBlob)
{
    const QByteArray digest = QCryptographicHash::hash(keyBlob, QCryptographicHash::Sha256);
    return QStringLiteral("SHA256:")
           + QString::fromLatin1(digest.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals));
}

QString refusalText(HostKeyVerdict verdict, const QString& host, uint16_t port, const QString& fingerprint,
                    const QString& knownHostsFile)
{
    const QString where = port == 22 ? host : QStringLiteral("[%1]:%2").arg(host).arg(port);
    if (verdict == HostKeyVerdict::Changed)
        return QStringLiteral("The SSH host key of %1 has CHANGED: it shows %2, which does not match %3. "
                              "Someone may be listening in, or the server was set up anew; nothing was sent. "
                              "Check the key with the server's owner before you replace the line in %3.")
            .arg(where, fingerprint, knownHostsFile);
    return QStringLiteral("The SSH host key of %1 is not known: it shows %2, and %3 has no line for it; "
                          "nothing was sent. If this is the server's key, add its line (ssh-keyscan%4 %5 >> %3) "
                          "or log in once with ssh.")
        .arg(where, fingerprint, knownHostsFile, port == 22 ? QString() : QStringLiteral(" -p %1").arg(port), host);
}

QString knownHostsFile()
{
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}

QString privateKeyFile(const QString& chosen)
{
    if (!chosen.isEmpty())
        return chosen;
    for (const char* name : {"id_ed25519", "id_rsa"}) {
        const QString path = QDir::homePath() + QStringLiteral("/.ssh/") + QLatin1String(name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

} // namespace lv::ssh
