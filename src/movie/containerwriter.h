#pragma once

#include "movie/aviwriter.h"
#include "movie/ffmpegptr.h"
#include "movie/videocodecs.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

struct SwrContext;

namespace lv {

// What a movie file of any kind is made with: the AVI writer's setup plus
// what only the modern containers have.
struct MovieWriterSetup : AviWriter::Setup {
    // Sound codec: "aac" (FFmpeg's own encoder; the default) or "pcm"
    // (16-bit little-endian, MKV only). AVI always stores PCM.
    QString audioEncoder = QStringLiteral("aac");
    // Container metadata ("title", "artist", "copyright", "comment", ...),
    // written with the header so a cut recording keeps them.
    std::vector<std::pair<QByteArray, QString>> tags;
};

// Writes one MKV or MP4 file through libavformat: one video stream encoded
// from RGB images (H.264 through libx264, or another encoder the container
// holds; device JPEG goes in as it is when the stream is Motion JPEG) and
// optionally one AAC or PCM sound stream.
//
// Crash-safe as it goes: MP4 is written fragmented (a fragment every half
// second) and MKV in clusters of half a second, each handed to the file as
// it closes, so a file cut by a crash or a kill plays up to its last second
// as it lies. A write error leaves the file as a crash would, never with a
// trailer that claims more than it holds.
//
// Threads: one thread at a time (the recorder's encoder thread, or the UI
// thread for frame-by-frame files).
class ContainerWriter {
public:
    using Setup = MovieWriterSetup;

    ContainerWriter();
    ~ContainerWriter();
    ContainerWriter(const ContainerWriter&) = delete;
    ContainerWriter& operator=(const ContainerWriter&) = delete;

    // Opens the encoders first and the file last, so a setup that cannot
    // work (a codec the container cannot hold, a container this FFmpeg lacks)
    // leaves the disk untouched. False with errorText() set.
    bool open(const Setup& setup);
    bool isOpen() const { return m_out != nullptr; }

    // As AviWriter: the frame at position index (strictly increasing).
    bool writeVideo(const QImage& image, const QByteArray& jpeg, int64_t index);
    bool repeatVideo(int64_t index);
    // Interleaved PCM in the setup's format (8-bit unsigned or 16-bit signed).
    bool writeAudio(const QByteArray& pcm);
    bool padAudio(int64_t sampleFrames);
    // Flushes the encoders and finishes the file; safe to call twice.
    bool close();

    // Frames handed to the file; after a close() that met a write error,
    // the frames the cut file holds.
    int64_t videoFramesWritten() const { return m_videoFrames; }
    int64_t audioSampleFramesWritten() const { return m_audioSamples; }
    const Setup& setup() const { return m_setup; }
    QString errorText() const { return m_error; }

    // The libx264 speed preset for this picture rate: one a 2-core machine
    // keeps up with while capturing.
    static const char* x264PresetFor(int width, int height, double fps);
    // Quality 1..100 onto x264's constant rate factor (75 -> 23, its default).
    static int crfForQuality(int quality);

private:
    bool fail(const QString& what, int averror = 0);
    bool openVideoEncoder(const AVOutputFormat* muxer);
    bool openAudioEncoder();
    bool encodeVideo(AVFrame* frame);
    bool encodeAudio(AVFrame* frame);
    bool sendAudio(bool last);
    bool writePacket(AVPacket* pkt, AVStream* st, AVRational from);
    bool convertImage(const QImage& image);
    bool flushIfDue();
    void release();

    Setup m_setup;
    MovieContainer m_container = MovieContainer::Matroska;
    QString m_error;
    ff::OutputPtr m_out;
    AVStream* m_video = nullptr;
    AVStream* m_audio = nullptr;
    ff::CodecContextPtr m_enc;
    ff::CodecContextPtr m_audioEnc; // null for PCM
    ff::FramePtr m_frame;     // the last converted picture, kept for repeats
    ff::FramePtr m_audioFrame;
    ff::PacketPtr m_packet;
    ff::PacketPtr m_lastPacket; // the last device JPEG, for repeats
    SwsContext* m_sws = nullptr; // cached by sws_getCachedContext; freed in release()
    bool m_passthrough = false;
    bool m_headerWritten = false;
    bool m_closed = false;
    bool m_created = false; // open() made the file
    int64_t m_videoFrames = 0;
    int64_t m_lastIndex = -1;
    int64_t m_audioSamples = 0;  // sample frames taken in
    int64_t m_audioEncoded = 0;  // sample frames handed to the encoder or the file
    std::vector<std::vector<float>> m_pending; // per channel, waiting for a whole AAC frame
    QByteArray m_audioRemainder;
    int m_blockAlign = 0;
    int m_lockFd = -1; // the writer's flock, and fdatasync
    int64_t m_lastFlushMs = 0;
    int64_t m_lastSyncMs = 0;
};

// A movie writer for whichever container the file name asks for: the AVI
// writer for .avi (and any other name), the container writer for .mkv and .mp4.
class MovieWriter {
public:
    using Setup = MovieWriterSetup;

    bool open(const Setup& setup);
    bool isOpen() const { return m_modern ? m_container.isOpen() : m_avi.isOpen(); }
    bool writeVideo(const QImage& image, const QByteArray& jpeg, int64_t index)
    {
        return m_modern ? m_container.writeVideo(image, jpeg, index) : m_avi.writeVideo(image, jpeg, index);
    }
    // A device's YUV picture as it came; only the AVI writer takes one (the
    // container writer is given the RGB picture).
    bool takesYuv() const { return !m_modern; }
    bool writeVideo(const YuvView& picture, int64_t index) { return m_avi.writeVideo(picture, index); }
    bool repeatVideo(int64_t index) { return m_modern ? m_container.repeatVideo(index) : m_avi.repeatVideo(index); }
    bool writeAudio(const QByteArray& pcm) { return m_modern ? m_container.writeAudio(pcm) : m_avi.writeAudio(pcm); }
    bool padAudio(int64_t n) { return m_modern ? m_container.padAudio(n) : m_avi.padAudio(n); }
    bool close() { return m_modern ? m_container.close() : m_avi.close(); }
    int64_t videoFramesWritten() const
    {
        return m_modern ? m_container.videoFramesWritten() : m_avi.videoFramesWritten();
    }
    int64_t audioSampleFramesWritten() const
    {
        return m_modern ? m_container.audioSampleFramesWritten() : m_avi.audioSampleFramesWritten();
    }
    const Setup& setup() const { return m_setup; }
    QString errorText() const { return m_modern ? m_container.errorText() : m_avi.errorText(); }

private:
    Setup m_setup;
    bool m_modern = false;
    AviWriter m_avi;
    ContainerWriter m_container;
};

} // namespace lv
