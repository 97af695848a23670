#pragma once

#include <QString>

#include <vector>

namespace lv {

// Files written under temporary names beside their final names; removed
// unless commit() renames them all into place, so a cancelled or failed
// write leaves no partial file and an older file of a final name stays as
// it was. One thread at a time.
class PendingFiles {
public:
    PendingFiles() = default;
    ~PendingFiles();
    PendingFiles(const PendingFiles&) = delete;
    PendingFiles& operator=(const PendingFiles&) = delete;

    // A fresh empty file in finalName's folder; empty when none can be made
    // (errno says why).
    QString add(const QString& finalName);
    // Renames every file to its final name; false with *error when one
    // cannot be renamed.
    bool commit(QString* error);

private:
    struct Entry {
        QString temp;
        QString finalName;
    };
    std::vector<Entry> m_entries;
};

} // namespace lv
