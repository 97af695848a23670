#include "movie/videocodecs.h"

#include "base/settingsstore.h"

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

std::vector<VideoCodecInfo> probeCodecs()
{
    std::vector<VideoCodecInfo> list;
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    for (const Candidate& c : kCandidates) {
        const AVCodec* codec = avcodec_find_encoder_by_name(c.encoder);
        if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
            continue;
        if (!avi || avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1)
            continue;
        list.push_back({QString::fromLatin1(c.encoder), QString::fromLatin1(c.description), c.lossless});
    }
    return list;
}

} // namespace

const std::vector<VideoCodecInfo>& aviVideoCodecs()
{
    static const std::vector<VideoCodecInfo> codecs = probeCodecs();
    return codecs;
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

CodecChoice savedCodecChoice()
{
    CodecChoice choice;
    const QString encoder = settings::get(QStringLiteral("LV"), QStringLiteral("AVI"),
                                          QStringLiteral("Codec"), choice.encoder);
    if (isAviVideoCodec(encoder))
        choice.encoder = encoder;
    bool ok = false;
    const int quality = settings::get(QStringLiteral("LV"), QStringLiteral("AVI"), QStringLiteral("Quality"),
                                      QString::number(choice.quality))
                            .toInt(&ok);
    if (ok)
        choice.quality = std::clamp(quality, 1, 100);
    return choice;
}

void saveCodecChoice(const CodecChoice& choice)
{
    settings::save(QStringLiteral("LV"), QStringLiteral("AVI"), QStringLiteral("Codec"), choice.encoder);
    settings::save(QStringLiteral("LV"), QStringLiteral("AVI"), QStringLiteral("Quality"),
                   QString::number(std::clamp(choice.quality, 1, 100)));
}

} // namespace lv
