#include "movie/videocodecs.h"

#include "base/settingsstore.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace lv {

namespace {

struct Candidate {
    const char* encoder;
    const char* description;
    bool lossless;
};

// Software encoders only: hardware ones are listed by every build but open
// only on machines with the matching device.
constexpr Candidate kCandidates[] = {
    {"rawvideo", "Full Frames (Uncompressed BGR)", true},
    {"mjpeg", "Motion JPEG", false},
    {"ffv1", "FFV1 (lossless)", true},
    {"huffyuv", "HuffYUV (lossless)", true},
    {"mpeg4", "MPEG-4 Part 2", false},
    {"libxvid", "Xvid MPEG-4", false},
    {"libx264", "H.264 (x264)", false},
};

std::vector<VideoCodecInfo> probeCodecs(MovieContainer container)
{
    std::vector<VideoCodecInfo> list;
    const AVOutputFormat* muxer = av_guess_format(muxerName(container), nullptr, nullptr);
    for (const Candidate& c : kCandidates) {
        const AVCodec* codec = avcodec_find_encoder_by_name(c.encoder);
        if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
            continue;
        if (!muxer || avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL) != 1)
            continue;
        VideoCodecInfo info{QString::fromLatin1(c.encoder), QString::fromLatin1(c.description), c.lossless};
        // What the modern containers are for goes first.
        if (container != MovieContainer::Avi && codec->id == AV_CODEC_ID_H264)
            list.insert(list.begin(), info);
        else
            list.push_back(info);
    }
    return list;
}

QString settingsKeyFor(MovieContainer container)
{
    return container == MovieContainer::Avi ? QStringLiteral("Codec")
                                            : QStringLiteral("Codec") + containerLabel(container);
}

} // namespace

MovieContainer containerForFile(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("mkv"))
        return MovieContainer::Matroska;
    if (suffix == QLatin1String("mp4"))
        return MovieContainer::Mp4;
    return MovieContainer::Avi;
}

QString containerLabel(MovieContainer container)
{
    switch (container) {
    case MovieContainer::Matroska: return QStringLiteral("MKV");
    case MovieContainer::Mp4: return QStringLiteral("MP4");
    case MovieContainer::Avi: break;
    }
    return QStringLiteral("AVI");
}

const char* muxerName(MovieContainer container)
{
    switch (container) {
    case MovieContainer::Matroska: return "matroska";
    case MovieContainer::Mp4: return "mp4";
    case MovieContainer::Avi: break;
    }
    return "avi";
}

const std::vector<VideoCodecInfo>& aviVideoCodecs()
{
    static const std::vector<VideoCodecInfo> codecs = probeCodecs(MovieContainer::Avi);
    return codecs;
}

std::vector<VideoCodecInfo> videoCodecsFor(MovieContainer container)
{
    if (container == MovieContainer::Avi)
        return aviVideoCodecs();
    static const std::vector<VideoCodecInfo> mkv = probeCodecs(MovieContainer::Matroska);
    static const std::vector<VideoCodecInfo> mp4 = probeCodecs(MovieContainer::Mp4);
    return container == MovieContainer::Matroska ? mkv : mp4;
}

QString codecRefusal(MovieContainer container, const QString& encoder)
{
    if (!av_guess_format(muxerName(container), nullptr, nullptr))
        return QStringLiteral("This FFmpeg cannot write %1 files").arg(containerLabel(container));
    const auto codecs = videoCodecsFor(container);
    if (std::any_of(codecs.begin(), codecs.end(), [&](const VideoCodecInfo& c) { return c.encoder == encoder; }))
        return {};
    const QByteArray name = encoder.toLatin1();
    if (!avcodec_find_encoder_by_name(name.constData()))
        return QStringLiteral("No video encoder named %1").arg(encoder);
    QStringList names;
    for (const VideoCodecInfo& c : codecs)
        names << c.encoder;
    return QStringLiteral("An %1 file cannot hold %2 video; choose one of: %3")
        .arg(containerLabel(container), encoder, names.join(QStringLiteral(", ")));
}

QString defaultEncoderFor(MovieContainer container)
{
    const auto codecs = videoCodecsFor(container);
    if (container == MovieContainer::Avi || codecs.empty())
        return QStringLiteral("mjpeg");
    return codecs.front().encoder; // H.264 when present
}

bool isAviVideoCodec(const QString& encoder)
{
    const auto& codecs = aviVideoCodecs();
    return std::any_of(codecs.begin(), codecs.end(),
                       [&](const VideoCodecInfo& c) { return c.encoder == encoder; });
}

int qscaleForQuality(int quality)
{
    const int q = std::clamp(quality, 1, 100);
    return 31 - ((q - 1) * 29 + 49) / 99;
}

CodecChoice savedCodecChoice(MovieContainer container)
{
    CodecChoice choice;
    choice.encoder = defaultEncoderFor(container);
    const QString encoder = settings::get(QStringLiteral("LV"), QStringLiteral("AVI"),
                                          settingsKeyFor(container), choice.encoder);
    if (codecRefusal(container, encoder).isEmpty())
        choice.encoder = encoder;
    bool ok = false;
    const int quality = settings::get(QStringLiteral("LV"), QStringLiteral("AVI"), QStringLiteral("Quality"),
                                      QString::number(choice.quality))
                            .toInt(&ok);
    if (ok)
        choice.quality = std::clamp(quality, 1, 100);
    return choice;
}

void saveCodecChoice(const CodecChoice& choice, MovieContainer container)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("AVI"), settingsKeyFor(container), choice.encoder);
    settings::save(QStringLiteral("LV"), QStringLiteral("AVI"), QStringLiteral("Quality"),
                   QString::number(std::clamp(choice.quality, 1, 100)));
}

} // namespace lv
