#include "movie/codeccatalogue.h"

#include "base/programdirectory.h"
#include "settings/parameterreader.h"

#include <QFile>

namespace lv {

QString UnscrambleLine(const QString& text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = QChar(static_cast<char16_t>(text.at(i).unicode() - 1));
    return out;
}

QString ScrambleLine(const QString& text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = QChar(static_cast<char16_t>(text.at(i).unicode() + 1));
    return out;
}

CodecLookup lookUpCodec(QIODevice& catalogue, const QString& code)
{
    const QString wanted = code.toUpper();
    CodecLookup result{CodecLookup::Status::Unknown,
                       QStringLiteral("Unknown CODEC (") + wanted + QLatin1Char(')')};
    bool first = true;
    forEachParameterField(catalogue, [&](const QByteArray& item) {
        const QString plain = UnscrambleLine(QString::fromLatin1(item));
        if (first) {
            first = false;
            if (plain != QLatin1String(kCodecCatalogueHeader)) {
                result = {CodecLookup::Status::BadHeader, QStringLiteral("Error")};
                return false;
            }
            return true;
        }
        if (plain.left(4).toUpper() != wanted)
            return true;
        result = {CodecLookup::Status::Found, plain.mid(5)};
        return false;
    });
    // A file without even the first item is as wrong as a wrong one.
    if (first)
        result = {CodecLookup::Status::BadHeader, QStringLiteral("Error")};
    return result;
}

CodecLookup lookUpCodec(const QString& cataloguePath, const QString& code)
{
    QFile file(cataloguePath);
    if (cataloguePath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {CodecLookup::Status::NoFile, {}};
    return lookUpCodec(file, code);
}

QString codecCatalogueFile() { return findDataFile(QStringLiteral("codec.lv")); }

} // namespace lv
