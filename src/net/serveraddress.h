#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace lv {

enum class UploadProtocol {
    Ftp,  // plain FTP (TLS only when the settings require it)
    Ftps, // explicit FTP over TLS: AUTH TLS before the login, data protected too
    Sftp, // SSH file transfer
};

// Where an upload goes, read from the Internet Settings' server field, which
// may carry a scheme, a user, a port and a directory:
//   "cam.example.org"                       plain FTP, as older settings mean it
//   "ftp://host:2121/pics"                  the same, with port and directory
//   "ftps://host/pics"                      explicit FTP over TLS (port 21, not the
//                                           implicit-TLS port 990)
//   "sftp://pi@host:2222//srv/cam"          SSH; "//" starts an absolute directory
// A directory is taken as the server names it: absolute when it begins with
// "/", else relative to the login's home, for every protocol alike. The
// directory field joins below the address's directory (or replaces it when
// absolute). The port in the address wins over the port field; a port field
// of 0, or of FTP's 21 for SFTP, means the protocol's own port.
struct ServerAddress {
    UploadProtocol protocol = UploadProtocol::Ftp;
    QString host;      // without brackets, also for IPv6
    uint16_t port = 21;
    QString userName;  // the "user@" of the address; empty when it has none
    QString directory; // "/abs/dir", "rel/dir" or empty for the login directory
    QString error;     // why the field cannot be used; empty when it can

    bool ok() const { return error.isEmpty(); }

    static ServerAddress parse(const QString& serverField, uint16_t portField, const QString& directoryField);
    static uint16_t defaultPort(UploadProtocol protocol);

    // "ftp://host:21" or "sftp://[::1]:22", no trailing slash: the URL libcurl
    // is given (explicit FTPS uses the ftp scheme and asks for TLS).
    QByteArray urlBase() const;
    // The directory as a URL path after urlBase() + "/", each part passed
    // through escape, ending in "/"; empty for FTP's login directory
    // ("~/" for SFTP's home).
    QByteArray directoryPath(const std::function<QByteArray(const QString&)>& escape) const;
    // "sftp://host:22" for texts and messages (no user, no password).
    QString display() const;
};

} // namespace lv
