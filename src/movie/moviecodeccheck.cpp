#include "movie/moviecodeccheck.h"

#include "movie/ffmpegptr.h"
#include "movie/moviereader.h"

#include <QFile>
#include <QFileInfo>

namespace lv {

MovieCodecCheck checkMovieHeader(const QByteArray& head)
{
    if (head.size() < 116 || head.mid(96, 8).toUpper() != "STRLSTRH")
        return {MovieCodecCheck::Result::NoHeader, {}, {}};
    const QByteArray handler = head.mid(112, 4);
    if (handler == QByteArray(4, '\0'))
        return {MovieCodecCheck::Result::Uncompressed, {}, {}};
    return {MovieCodecCheck::Result::Compressed, QString::fromLatin1(handler), {}};
}

MovieCodecCheck checkMovieFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {MovieCodecCheck::Result::NotOpened, {}, {}};
    const QByteArray head = file.read(kMovieHeaderBytes);
    if (head.isEmpty() && file.error() != QFileDevice::NoError)
        return {MovieCodecCheck::Result::NotOpened, {}, {}};
    if (head.startsWith("RIFF") || head.size() < 12)
        return checkMovieHeader(head);
    // Another kind of movie: FFmpeg names its video codec.
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return checkMovieHeader(head);
    ff::InputPtr input(raw);
    if (isStillOrTextFormat(input->iformat) || avformat_find_stream_info(input.get(), nullptr) < 0)
        return checkMovieHeader(head);
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0)
        return checkMovieHeader(head);
    const AVCodecDescriptor* desc = avcodec_descriptor_get(input->streams[video]->codecpar->codec_id);
    MovieCodecCheck named{MovieCodecCheck::Result::Named, {}, {}};
    named.code = desc ? QStringLiteral("%1 (%2)").arg(QString::fromUtf8(desc->long_name), QString::fromLatin1(desc->name))
                      : QStringLiteral("unknown");
    named.container = QString::fromUtf8(input->iformat->long_name ? input->iformat->long_name : input->iformat->name);
    return named;
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
    case MovieCodecCheck::Result::Named:
        return QStringLiteral("Filename: ") + path + crlf + QStringLiteral("Compressed with:") + crlf + check.code + crlf
               + QStringLiteral("Container: ") + check.container;
    case MovieCodecCheck::Result::NoHeader:
        return QStringLiteral("Filename: ") + title + crlf
               + QStringLiteral("The stream header could not be read: not an AVI movie, or one laid out differently.");
    case MovieCodecCheck::Result::NotOpened:
        break;
    }
    return QStringLiteral("Filename: ") + title + crlf + QStringLiteral("The file could not be opened.");
}

} // namespace lv
