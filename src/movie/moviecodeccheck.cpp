#include "movie/moviecodeccheck.h"

#include <QFile>
#include <QFileInfo>

namespace lv {

MovieCodecCheck checkMovieHeader(const QByteArray& head)
{
    if (head.size() < 116 || head.mid(96, 8).toUpper() != "STRLSTRH")
        return {MovieCodecCheck::Result::NoHeader, {}};
    const QByteArray handler = head.mid(112, 4);
    if (handler == QByteArray(4, '\0'))
        return {MovieCodecCheck::Result::Uncompressed, {}};
    return {MovieCodecCheck::Result::Compressed, QString::fromLatin1(handler)};
}

MovieCodecCheck checkMovieFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {MovieCodecCheck::Result::NotOpened, {}};
    const QByteArray head = file.read(kMovieHeaderBytes);
    if (head.isEmpty() && file.error() != QFileDevice::NoError)
        return {MovieCodecCheck::Result::NotOpened, {}};
    return checkMovieHeader(head);
}

QString movieCodecMessage(const QString& path, const MovieCodecCheck& check, const QString& codecName)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString title = QFileInfo(path).fileName();
    switch (check.result) {
    case MovieCodecCheck::Result::Uncompressed:
        return QStringLiteral("Filename: ") + title + crlf + QStringLiteral("Is not compressed. Codec not required.");
    case MovieCodecCheck::Result::Compressed:
        return QStringLiteral("Filename: ") + path + crlf + QStringLiteral("Compressed with:") + crlf + codecName;
    case MovieCodecCheck::Result::NoHeader:
        return QStringLiteral("Filename: ") + title + crlf
               + QStringLiteral("The stream header could not be read: not an AVI movie, or one laid out differently.");
    case MovieCodecCheck::Result::NotOpened:
        break;
    }
    return QStringLiteral("Filename: ") + title + crlf + QStringLiteral("The file could not be opened.");
}

} // namespace lv
