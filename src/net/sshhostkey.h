#pragma once

#include <QByteArray>
#include <QString>

namespace lv::ssh {

// "SHA256:..." of a host key's wire form, as `ssh-keygen -lf` and ssh print
// it (unpadded base64 of the key blob's SHA-256).
QString fingerprint(const QByteArray& keyBlob);

// What known_hosts says about the key a server showed.
enum class HostKeyVerdict { Known, Unknown, Changed };

// The refusal of a key that is not known, naming its fingerprint and what to
// do; "nothing was sent" is what the caller can promise, as the check comes
// before the login.
QString refusalText(HostKeyVerdict verdict, const QString& host, uint16_t port, const QString& fingerprint,
                    const QString& knownHostsFile);

// ~/.ssh/known_hosts.
QString knownHostsFile();
// The key to log in with: the chosen file, else ~/.ssh/id_ed25519, else
// ~/.ssh/id_rsa; empty when none of them exists (password only).
QString privateKeyFile(const QString& chosen);

} // namespace lv::ssh
