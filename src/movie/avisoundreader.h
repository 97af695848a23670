#pragma once

#include "movie/ffmpegptr.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

struct SwrContext;

namespace lv {

// Decodes the first sound ("auds") stream of a movie file (AVI, MKV, MP4...) to interleaved
// signed 16-bit little-endian PCM at the stream's own rate, in mono or stereo
// (more channels are mixed down to two). It reads the file through a demuxer
// of its own, so it runs beside a MovieReader on the same file.
//
// Threads: a plain object; one thread at a time (the player's worker).
class AviSoundReader final {
public:
    AviSoundReader();
    ~AviSoundReader();
    AviSoundReader(const AviSoundReader&) = delete;
    AviSoundReader& operator=(const AviSoundReader&) = delete;

    // False (errorText() set) when the file has no sound stream or its codec
    // is missing from this FFmpeg.
    bool open(const QString& fileName);
    void close();
    bool isOpen() const { return m_decoder != nullptr; }
    QString errorText() const { return m_error; }

    int sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }
    int bytesPerFrame() const { return 2 * m_channels; }

    // The next read() starts at this time (seconds from the start), to the sample.
    bool seekSeconds(double seconds);
    // Up to maxFrames sample frames; fewer (or none) at the end of the stream.
    QByteArray read(int maxFrames);

private:
    bool fail(const QString& what, int averror = 0);
    bool decodeMore();

    struct SwrFree {
        void operator()(SwrContext* s) const;
    };

    QString m_error;
    ff::InputPtr m_input;
    ff::CodecContextPtr m_decoder;
    std::unique_ptr<SwrContext, SwrFree> m_swr;
    ff::FramePtr m_frame;
    ff::PacketPtr m_packet;
    int m_stream = -1;
    int m_rate = 0;
    int m_channels = 0;
    QByteArray m_pending;  // converted samples not yet read
    int64_t m_skip = 0;    // sample frames to drop after a seek, to land on the sample
    int64_t m_target = -1; // the sample a seek asked for, until the first frame shows where we are
    bool m_ended = false;
    bool m_flushed = false;
};

} // namespace lv
