#pragma once

#include <QString>
#include <vector>

namespace lv {

// The file kinds a recording or recompression can write; the capture file's
// extension picks one (.mkv, .mp4; anything else stays AVI).
enum class MovieContainer { Avi, Matroska, Mp4 };
MovieContainer containerForFile(const QString& fileName);
// "AVI", "MKV", "MP4": for messages.
QString containerLabel(MovieContainer container);
// The libavformat muxer name ("avi", "matroska", "mp4").
const char* muxerName(MovieContainer container);

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
// The same list for another container: what this FFmpeg can encode and the
// container can hold (for MKV and MP4, H.264 first).
std::vector<VideoCodecInfo> videoCodecsFor(MovieContainer container);
// Why the container cannot take this encoder (a message for the user), or
// empty when it can.
QString codecRefusal(MovieContainer container, const QString& encoder);
// What a new recording into this container uses unless told otherwise:
// Motion JPEG for AVI, H.264 for MKV and MP4 (when this FFmpeg has libx264).
QString defaultEncoderFor(MovieContainer container);

// Quality 1..100 onto the quantiser scale 31..2 of the JPEG and MPEG-4
// encoders, the same for recordings and recompressions.
int qscaleForQuality(int quality);

// The recording codec the user chose, kept in the settings store
// ("LV" / "AVI" / "Codec", "Quality"; MKV and MP4 keep their own codec in
// "CodecMKV" / "CodecMP4", so an AVI choice never lands in a container that
// cannot hold it). UI thread only.
struct CodecChoice {
    QString encoder = QStringLiteral("mjpeg");
    int quality = 75; // 1..100
};
CodecChoice savedCodecChoice(MovieContainer container = MovieContainer::Avi);
void saveCodecChoice(const CodecChoice& choice, MovieContainer container = MovieContainer::Avi);

} // namespace lv
