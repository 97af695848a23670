#pragma once

#include "movie/ffmpegptr.h"
#include "movie/yuvjpeg.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>

namespace lv {

// Writes one AVI file through libavformat: one video stream (encoded from
// RGB images, or device JPEG packets taken as they are into a Motion JPEG
// stream) and optionally one PCM sound stream. Past 1 GiB the muxer goes on
// in OpenDML form.
//
// Threads: one thread at a time (the recorder's encoder thread, or the UI
// thread for frame-by-frame files).
class AviWriter {
public:
    struct Setup {
        QString fileName;
        QSize frameSize;
        // Frames per second as a fraction (29.97 = 30000/1001).
        int rateNum = 15;
        int rateDen = 1;
        QString encoder = QStringLiteral("mjpeg");
        int quality = 75; // 1..100
        // Sound: 0 channels = no sound stream.
        int audioChannels = 0;
        int audioSampleRate = 11025;
        int audioBits = 8; // 8 = unsigned bytes, 16 = signed little-endian
        // A crash then loses at most this much: the written packets reach the
        // file this often (0 = only when the buffer fills), and the disk every
        // syncIntervalMs (0 = never).
        int flushIntervalMs = 500;
        int syncIntervalMs = 5000;
    };

    AviWriter();
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Opens the encoders first and the file last, so a setup that cannot
    // work leaves an existing file untouched. A file another writer holds
    // (AviRepair::writerOf) is refused before anything is written to it.
    // False with errorText() set.
    bool open(const Setup& setup);
    bool isOpen() const { return m_out != nullptr; }

    // Writes the frame at position index (in frames from the start; strictly
    // increasing). jpeg, when not empty, is the same picture as the device
    // delivered it; it is stored unchanged when the stream is Motion JPEG
    // and the sizes agree. Images of another size are scaled.
    bool writeVideo(const QImage& image, const QByteArray& jpeg, int64_t index);
    // A camera picture in its own YUV layout. A Motion JPEG stream of its size
    // compresses it straight from its planes; other encoders get it through
    // swscale, without a detour through RGB.
    bool writeVideo(const YuvView& picture, int64_t index);
    // Repeats the last written picture at position index.
    bool repeatVideo(int64_t index);
    // Interleaved PCM in the setup's format; the stream's clock is the
    // number of sample frames written.
    bool writeAudio(const QByteArray& pcm);
    // Pads the sound with silence up to the given number of sample frames.
    bool padAudio(int64_t sampleFrames);

    // Flushes the encoder and writes the index; safe to call twice.
    bool close();

    // Frames handed to the file; after a close() that met a write error,
    // the frames the mended file holds.
    int64_t videoFramesWritten() const { return m_videoFrames; }
    int64_t audioSampleFramesWritten() const { return m_audioSamples; }
    const Setup& setup() const { return m_setup; }
    QString errorText() const { return m_error; }

private:
    bool fail(const QString& what, int averror = 0);
    bool openVideoEncoder();
    bool encodeFrame(AVFrame* frame);
    bool writePacket(AVPacket* pkt, AVStream* st, AVRational from);
    bool convertImage(const QImage& image);
    bool convertYuv(const YuvView& picture);
    bool storeJpeg(const uint8_t* data, size_t size, int64_t index);
    bool encodeConverted(int64_t index);
    bool flushIfDue();

    Setup m_setup;
    QString m_error;
    ff::OutputPtr m_out;
    AVStream* m_video = nullptr;
    AVStream* m_audio = nullptr;
    ff::CodecContextPtr m_enc;
    ff::FramePtr m_frame; // the last converted picture, kept for repeats
    ff::PacketPtr m_packet;
    ff::PacketPtr m_lastPacket; // the last video packet of an intra-only stream
    SwsContext* m_sws = nullptr; // cached by sws_getCachedContext; freed in close()
    SwsContext* m_yuvSws = nullptr; // the same, for YUV pictures
    // Motion JPEG of the file's size goes through libjpeg-turbo, with the
    // encoder's own tables at its fixed quantiser.
    std::unique_ptr<JpegFrameEncoder> m_jpeg;
    int m_qscale = 9;
    bool m_intraOnly = true;
    bool m_passthrough = false; // the stream is Motion JPEG: device JPEG goes in as is
    bool m_headerWritten = false;
    bool m_created = false; // open() made the file (it did not exist before)
    bool m_closed = false;
    int64_t m_videoFrames = 0;
    int64_t m_lastIndex = -1;
    int64_t m_audioSamples = 0;
    QByteArray m_audioRemainder;
    int m_blockAlign = 0;
    // A second descriptor of the same file: it holds the writer's exclusive
    // flock for the whole recording (see AviRepair) and serves fdatasync.
    class SyncFile {
    public:
        SyncFile() = default;
        SyncFile(const SyncFile&) = delete;
        SyncFile& operator=(const SyncFile&) = delete;
        ~SyncFile() { reset(); }
        void reset(int fd = -1);
        int get() const { return m_fd; }

    private:
        int m_fd = -1;
    };
    SyncFile m_syncFile;
    int64_t m_lastFlushMs = 0;
    int64_t m_lastSyncMs = 0;
};

} // namespace lv
