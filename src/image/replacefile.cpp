#include "image/replacefile.h"

#include <QFile>

#include <cstdio>

namespace lv {

bool writeFileReplacing(const QString& fileName, std::initializer_list<QByteArrayView> pieces, QString* error)
{
    const QString part = fileName + QStringLiteral(".part");
    QFile file(part);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (const QByteArrayView& piece : pieces) {
        if (!ok)
            break;
        ok = file.write(piece.data(), piece.size()) == piece.size();
    }
    if (ok)
        ok = file.flush();
    if (!ok && error)
        *error = file.errorString();
    file.close();
    if (ok && file.error() != QFileDevice::NoError) {
        ok = false;
        if (error)
            *error = file.errorString();
    }
    if (ok && std::rename(QFile::encodeName(part).constData(), QFile::encodeName(fileName).constData()) != 0) {
        ok = false;
        if (error)
            *error = QStringLiteral("cannot replace ") + fileName;
    }
    if (!ok)
        QFile::remove(part);
    return ok;
}

} // namespace lv
