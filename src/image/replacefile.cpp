#include "image/replacefile.h"

#include <QFile>

#include <cstdio>

namespace lv {

FileResult writeFileReplacing(const QString& fileName, std::initializer_list<QByteArrayView> pieces)
{
    const QString part = fileName + QStringLiteral(".part");
    QFile file(part);
    // Unbuffered, and a short write followed by another: a disk that fills
    // up takes part of a write without an error, and only the next write
    // gets the system's reason ("No space left on device").
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    for (const QByteArrayView& piece : pieces) {
        for (qsizetype done = 0; ok && done < piece.size();) {
            const qint64 n = file.write(piece.data() + done, piece.size() - done);
            ok = n > 0;
            done += ok ? qsizetype(n) : 0;
        }
    }
    if (ok)
        ok = file.flush();
    QString error;
    if (!ok)
        error = file.errorString();
    file.close();
    if (ok && file.error() != QFileDevice::NoError) {
        ok = false;
        error = file.errorString();
    }
    if (ok && std::rename(QFile::encodeName(part).constData(), QFile::encodeName(fileName).constData()) != 0) {
        ok = false;
        error = QStringLiteral("cannot replace ") + fileName;
    }
    if (ok)
        return {};
    QFile::remove(part);
    return FileResult::failed(error);
}

} // namespace lv
