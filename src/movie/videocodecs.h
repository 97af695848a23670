#pragma once

#include <QString>
#include <vector>

namespace lv {

// A video encoder of this FFmpeg build that can go into an AVI file.
struct VideoCodecInfo {
    QString encoder;     // FFmpeg encoder name ("mjpeg", "libx264", ...)
    QString description; // for the compression dialog
    bool lossless = false; // quality has no effect
};

// The AVI-capable video encoders this FFmpeg has, in a fixed order (raw
// BGR first, then Motion JPEG, then the others that are present). Any thread.
const std::vector<VideoCodecInfo>& aviVideoCodecs();
bool isAviVideoCodec(const QString& encoder);

// Quality 1..100 onto the quantiser scale 31..2 of the JPEG and MPEG-4
// encoders, the same for recordings and recompressions.
int qscaleForQuality(int quality);

// The recording codec the user chose, kept in the settings store
// ("LV" / "AVI" / "Codec", "Quality"). UI thread only.
struct CodecChoice {
    QString encoder = QStringLiteral("mjpeg");
    int quality = 75; // 1..100
};
CodecChoice savedCodecChoice();
void saveCodecChoice(const CodecChoice& choice);

} // namespace lv
