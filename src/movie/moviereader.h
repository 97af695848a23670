#pragma once

#include "movie/ffmpegptr.h"
#include "movie/packedscaler.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace lv {

// Turns decoded pictures into packed 24/32-bit pictures of a given size with
// swscale: the pixels MovieReader hands out, whichever thread converts them.
// The "yuvj" formats of Motion JPEG count as full range.
// Threads: a plain object; one thread at a time.
class PictureConverter final {
public:
    PictureConverter() = default;
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // Writes `f` scaled to width x height in dstFormat (a packed one-plane
    // format) to dst, a row every stride bytes (negative: bottom-up).
    bool convert(const AVFrame* f, int width, int height, uint8_t* dst, int stride, AVPixelFormat dstFormat);
    void reset();

private:
    SwsContext* m_sws = nullptr; // from sws_getCachedContext
    ff::PackedScaler m_scaler;
};

// Reads one movie file frame by frame through libavformat/libavcodec/libswscale:
// the file's streams, the first video ("vids") and sound ("auds") stream, and a
// frame decoder that hands out every frame as a packed 24-bit bottom-up bitmap
// (a 40-byte information header followed by the rows, each padded to 4 bytes).
//
// AVI files are read chunk by chunk: frame numbers are the video stream's
// sample numbers, firstFrame() to firstFrame() + frameCount() - 1, the n-th
// chunk of the stream being frame n (a zero-sized "drop" chunk repeats the
// picture before it). Any other file FFmpeg reads with a video stream (MKV,
// MP4, ...) is numbered in display order: frame n is the picture with the
// n-th smallest presentation time, as FFmpeg's own decoder hands them out,
// B-frames and edit lists included. Asking for frame n always yields that
// frame, whether reached by seeking or by stepping.
//
// Threads: a MovieReader is a plain object with no thread affinity. One thread at
// a time may call it; it may be opened on one thread and then handed over to
// another (the player's and the extractor's worker threads do exactly that).
// Distinct readers, even on the same file, are independent.
class MovieReader final {
public:
    // The four-character stream types as 32-bit little-endian values.
    static constexpr uint32_t kVideoStreamType = 0x73646976; // "vids"
    static constexpr uint32_t kAudioStreamType = 0x73647561; // "auds"
    // Frames larger than this (per side, and in pixels overall) are refused:
    // a hostile header must not make us allocate gigabytes.
    static constexpr int kMaxSide = 16384;
    static constexpr int64_t kMaxPixels = int64_t(8192) * 8192;

    MovieReader();
    ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    // Opens the file for reading and finds its streams. False with errorText()
    // set when the file is missing or is no movie. An AVI file without a video
    // stream opens (streamCount() and audioStream() answer) but has no frames;
    // a file of another kind needs a video stream.
    bool open(const QString& fileName);
    // Releases the frame decoder, then the streams, then the file. Safe twice.
    void close();
    bool isOpen() const { return m_input != nullptr; }
    QString fileName() const { return m_fileName; }
    QString errorText() const { return m_error; }

    // Number of streams in the file (video, sound and any others).
    int streamCount() const;
    // Index of the first stream of the given type ("vids"/"auds"), -1 if none.
    int streamOfType(uint32_t fccType) const;
    int videoStream() const { return m_videoIndex; }
    int audioStream() const { return m_audioIndex; }

    // First frame number and number of frames of the video stream; -1 when
    // there is no video stream. A file without an index (or cut short) is
    // counted by walking its chunks once.
    int64_t firstFrame() const;
    int64_t frameCount() const;
    // The frame rectangle (left, top, right, bottom = width, height); empty
    // without a video stream.
    QRect frameRect() const;
    // Frames per second (rate / scale of the stream); 0 when unknown.
    double framesPerSecond() const;
    // Length in seconds, frameCount() / framesPerSecond().
    double durationSeconds() const;
    // The video codec's short name ("mjpeg", "h264", ...), empty without video.
    QString videoCodecName() const;
    // The container's short name ("avi", "matroska,webm", "mov,mp4,...").
    QString formatName() const;
    bool isAvi() const { return m_input && !m_generic; }

    // The 24-bit request header for a frame of width x height: biSize 40,
    // planes 1, 24 bits, no compression, biSizeImage = padded row x height.
    static QByteArray requestHeader(int width, int height);
    static int rowBytes(int width) { return (width * 3 + 3) & ~3; }

    // Opens the frame decoder for the video stream. False (errorText() set)
    // when there is no video stream, the codec is missing from this FFmpeg,
    // or the frame size is absurd. Opened implicitly by frame()/image().
    bool openDecoder();
    bool decoderOpen() const { return m_decoder != nullptr; }
    void closeDecoder();

    // Frame n as a packed 24-bit bottom-up bitmap (request header + pixels),
    // empty when n is out of range or cannot be decoded.
    QByteArray frame(int64_t n);
    // The decoded picture of frame n as the decoder made it (its own pixel
    // format and size), sharing the decoder's buffers rather than copying
    // them: the decoder's pool takes a buffer back when the frame is freed, on
    // any thread. Null when n is out of range or cannot be decoded. Converted
    // with a PictureConverter to pictureSize(), it gives frame(n)'s pixels.
    ff::FramePtr decodedFrame(int64_t n);
    // The size frame() and image() hand pictures out in; empty before openDecoder().
    QSize pictureSize() const { return {m_width, m_height}; }
    // Frame n as an image for drawing, Format_RGB888 or Format_RGB32; null on failure.
    QImage image(int64_t n, QImage::Format format = QImage::Format_RGB888);
    // The number of the frame decoded last, -1 before the first.
    int64_t lastFrameNumber() const { return m_lastNumber; }

    // For tools that work on the streams themselves (recompression): the open
    // demuxer, or nullptr. Do not read packets from it while frames are being
    // decoded through this reader.
    AVFormatContext* formatContext() const { return m_input.get(); }

private:
    bool fail(const QString& what, int averror = 0);
    void scanFrames();
    void scanPresentationTimes();
    bool openInput(AVFormatContext** raw) const;
    struct StartPoint {
        int64_t chunk = 0; // sample number of the key frame's chunk
        int64_t shown = 0; // frame number its picture is shown as
    };
    StartPoint startFor(int64_t n) const;
    bool seekTo(const StartPoint& start);
    bool reopenInput();
    bool decodeTo(int64_t n);
    bool receiveNext();
    int64_t numberOf(const AVFrame* f);
    bool convert(uint8_t* dst, int stride, AVPixelFormat dstFormat)
    {
        return m_converter.convert(m_decoded.get(), m_width, m_height, dst, stride, dstFormat);
    }

    QString m_fileName;
    QString m_error;
    ff::InputPtr m_input;
    int m_videoIndex = -1;
    int m_audioIndex = -1;
    int64_t m_start = 0;   // stream timestamp of frame firstFrame()
    int64_t m_count = -1;  // frames in the video stream
    std::vector<int64_t> m_keyframes; // frame numbers (from 0) that decoding can start at
    bool m_noIndex = false; // no index: decoding always starts at the beginning

    ff::CodecContextPtr m_decoder;
    ff::FramePtr m_decoded; // the last frame out of the decoder
    ff::FramePtr m_spare;
    ff::FramePtr m_ahead;   // a frame decoded past an empty chunk, for the next request
    int64_t m_aheadNumber = -1;
    int m_width = 0;
    int m_height = 0;
    bool m_needSeek = true;
    int64_t m_unreachable = INT64_MAX; // frames from here on cannot be decoded
    ff::PacketPtr m_packet;
    PictureConverter m_converter;
    bool m_countFrames = false;  // frame numbers come from counting, not timestamps
    int64_t m_nextNumber = -1;   // number of the next frame out when counting
    StartPoint m_anchor;         // where decoding last started
    std::map<int64_t, int64_t> m_shownAt; // key frame chunk -> its frame number, as learnt
    int64_t m_lastNumber = -1;   // number of m_decoded, -1 when none
    bool m_drained = false;      // the decoder was flushed at the end of the file
    bool m_inputEnded = false;
    // Files other than AVI: frames numbered by presentation time.
    bool m_generic = false;
    std::vector<int64_t> m_pts;             // presentation time of frame n, ascending
    std::map<int64_t, int64_t> m_seekTime;  // key frame number -> time to seek the demuxer to
};

// Demuxers that make a "video" of a still picture or of text: such files are no movies.
bool isStillOrTextFormat(const AVInputFormat* format);

} // namespace lv
