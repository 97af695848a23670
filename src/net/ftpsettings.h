#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>

namespace lv {

// Where series images are uploaded. The application owns one instance (the
// capture parameters file reads and writes it) and hands it to the upload and
// to the settings window.
struct FtpSettings {
    QString server;    // host name or address, or ftp://, ftps://, sftp://... (see ServerAddress)
    uint16_t port = 21; // 0 means the protocol's default port
    QString userName;  // empty logs in anonymously
    QString password;
    QString directory; // empty = the login directory

    bool operator==(const FtpSettings&) const = default;

    // The port box rule: the whole number nearest to the text's leading number,
    // 0 when the text is not a number, kept inside 0..65535.
    static uint16_t portFromText(QStringView text);
    // The port as the box shows it: plain decimal, empty for 0.
    static QString portToText(uint16_t port);
    // The first field that holds CR, LF or NUL ("server", "user name",
    // "password", "directory"): such a value would end an FTP command early
    // and start another. Empty when all are safe.
    QString unsafeField() const;
    // Any control character (C0 or DEL): what a capture parameters file and
    // the command line refuse in an FTP field.
    static bool hasControlCharacter(QStringView value);
};

} // namespace lv
