#pragma once

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

namespace nettest {

// Bytes no server or encoder could guess, the same for the same seed.
inline QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (qsizetype i = 0; i < n; ++i)
        b[i] = static_cast<char>(gen.bounded(256));
    return b;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace nettest
