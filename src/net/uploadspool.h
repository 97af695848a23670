#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace lv {

struct ServerAddress;

// The pictures of a series that wait for their server, as copies in a folder
// of their own, so neither a server that is away nor a restart of the program
// loses one. The files are named "<number>-<remote name>": the number keeps
// the order in which they were taken, oldest first, across restarts. A
// picture is copied into the folder under a temporary name and renamed when
// complete, so a crash never leaves half a picture to be sent.
//
// Widget-free and thread-less: the series uploader drives it on its thread.
class UploadSpool {
public:
    struct Entry {
        QString file;       // the copy in the spool folder
        QString remoteName; // the name it gets on the server
        qint64 size = 0;
        quint64 number = 0;
    };

    // capBytes: the most the waiting pictures may take together (0: no cap).
    UploadSpool(const QString& folder, qint64 capBytes);

    // The folder under root for one server, user and directory: pictures meant
    // for one server are never sent to another after the settings change.
    static QString folderFor(const QString& root, const ServerAddress& address, const QString& userName);

    QString folder() const { return m_folder; }
    qint64 capBytes() const { return m_cap; }

    // Copies localFile into the spool. A picture already waiting under the same
    // remote name (a "Refresh Same" series) is replaced: only the newest is
    // sent. Then the oldest pictures are dropped until all fit under the cap;
    // their remote names are added to *dropped. False, with the reason, when
    // the copy cannot be made or the picture alone is larger than the cap
    // (then nothing else is dropped).
    bool add(const QString& localFile, const QString& remoteName, QStringList* dropped, QString* error);

    // The waiting pictures, oldest first.
    std::vector<Entry> entries() const;
    int count() const { return static_cast<int>(entries().size()); }
    qint64 bytes() const;
    // After the server confirmed it.
    bool remove(const Entry& entry);

private:
    QString m_folder;
    qint64 m_cap = 0;
};

} // namespace lv
