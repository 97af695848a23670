#pragma once

#include "movie/extractjpeg.h"
#include "movie/ffmpegptr.h"
#include "movie/moviereader.h"

#include <QSize>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lv {

// The second half of Extract All: turns the decoded pictures the first half
// hands over into BMP or JPEG files on threads of their own, so the next
// frames decode meanwhile. The pictures handed over share the decoder's
// buffers (no copy of their pixels); each thread converts and compresses
// into buffers it keeps from frame to frame. Events come in frame order
// whichever thread finished first. The queue is short: memory stays bounded
// and a stop on either side is seen within a few frames.
class ExtractWriteStage {
public:
    struct Events {
        // A frame's file was written (or, for another type, the frame was walked).
        std::function<void(int64_t frame)> written;
        // A JPEG file could not be written; the stage goes on with the next frame.
        std::function<void(const QString& fileName, const QString& reason)> jpegFailed;
    };

    // base and type as Extract All names the files (extractedFrameName);
    // pictures are written at `size` (MovieReader::pictureSize()); cancel is
    // looked at as each frame is taken up: the frames at hand are finished,
    // no other is begun. threads 0: push() writes the frame itself, on the
    // caller's thread.
    ExtractWriteStage(QString base, QString type, int jpegQuality, QSize size, const std::atomic_bool& cancel,
                      Events events, int threads);
    ~ExtractWriteStage();
    ExtractWriteStage(const ExtractWriteStage&) = delete;
    ExtractWriteStage& operator=(const ExtractWriteStage&) = delete;

    // Hands over frame n's decoded picture (MovieReader::decodedFrame); waits
    // while the queue is full. False when the stage has stopped (a cancel, a
    // failed bitmap).
    bool push(int64_t frame, ff::FramePtr picture);
    // No more frames: waits until every queued one is handled.
    void finish();

    // After finish():
    int64_t pictures() const { return m_pictures; } // frames that were whole pictures
    bool cancelled() const { return m_cancelled; }
    QString error() const { return m_error; } // a bitmap that could not be written

private:
    struct Item {
        int64_t order = 0; // place in the order of handing over
        int64_t frame = 0;
        ff::FramePtr picture;
    };
    // What became of a frame, reported in frame order.
    struct Outcome {
        int64_t frame = 0;
        bool picture = false;  // a whole picture (else passed over as not decoded)
        QString jpegError;     // a JPEG that could not be written, and why
        QString fatal;         // a bitmap that could not be written: the stage stops
    };
    // One thread's tools, kept from frame to frame so their memory stays mapped.
    struct Tools {
        PictureConverter converter;
        ExtractJpegCompressor jpeg;
        std::vector<uint8_t> file; // a whole BMP file, or the bottom-up rows JPEG compresses
    };

    void run(Tools& tools);
    // Takes the next frame for a thread; false when there is none to take.
    bool take(Item* item);
    Outcome handle(Tools& tools, const Item& item) const;
    // Reports outcomes in order, as far as they are in; under m_mutex.
    void report(int64_t order, Outcome outcome);
    // The picture as a whole BMP file in tools.file: file header,
    // information header, bottom-up rows. False when it cannot be converted.
    bool makeBitmap(Tools& tools, const AVFrame* picture) const;

    QString m_base;
    QString m_type;
    int m_quality;
    QSize m_size;
    const std::atomic_bool& m_cancel;
    Events m_events;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_queue;
    size_t m_queueLength = 2;
    int64_t m_handedOver = 0;        // items pushed so far
    int64_t m_nextReport = 0;        // the next item whose outcome is reported
    std::map<int64_t, Outcome> m_done; // outcomes in ahead of their turn
    bool m_inputEnded = false;
    bool m_stopped = false;
    int64_t m_pictures = 0;
    bool m_cancelled = false;
    QString m_error;
    std::vector<std::unique_ptr<Tools>> m_tools; // one per thread; one for the caller's thread without threads
    std::vector<std::thread> m_threads;
};

} // namespace lv
