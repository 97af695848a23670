#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lv {

// The second half of Extract All: turns the decoded frames the first half
// hands over into BMP or JPEG files, in order, on a thread of its own, so the
// next frames decode meanwhile. The queue is short: memory stays bounded and
// a stop on either side is seen within a few frames.
class ExtractWriteStage {
public:
    struct Events {
        // A frame's file was written (or, for another type, the frame was walked).
        std::function<void(int64_t frame)> written;
        // A JPEG file could not be written; the stage goes on with the next frame.
        std::function<void(const QString& fileName, const QString& reason)> jpegFailed;
    };

    // base and type as Extract All names the files (extractedFrameName);
    // cancel is looked at before each frame, as the single-threaded walk did.
    // ownThread false: push() writes the frame itself, on the caller's thread
    // (see FrameExtractor::runAll for why that is the default there).
    ExtractWriteStage(QString base, QString type, int jpegQuality, const std::atomic_bool& cancel, Events events,
                      bool ownThread = true);
    ~ExtractWriteStage();
    ExtractWriteStage(const ExtractWriteStage&) = delete;
    ExtractWriteStage& operator=(const ExtractWriteStage&) = delete;

    // Hands over frame n as a packed bottom-up bitmap; waits while the queue
    // is full. False when the stage has stopped (a cancel, a failed bitmap).
    bool push(int64_t frame, QByteArray dib);
    // No more frames: waits until every queued one is handled.
    void finish();
    // Frees the bitmaps already written, on the caller's thread: the decoding
    // thread's allocator then reuses their memory for the next frames instead
    // of the system mapping and unmapping megabytes per frame across threads.
    void releaseWritten();

    // After finish():
    int64_t pictures() const { return m_pictures; } // frames that were whole pictures
    bool cancelled() const { return m_cancelled; }
    QString error() const { return m_error; } // a bitmap that could not be written

private:
    static constexpr size_t kQueueLength = 2;
    struct Item {
        int64_t frame = 0;
        QByteArray dib;
    };

    void run();
    bool handle(const Item& item);

    QString m_base;
    QString m_type;
    int m_quality;
    const std::atomic_bool& m_cancel;
    Events m_events;
    void* m_tj = nullptr; // the TurboJPEG compressor, made at the first JPEG

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_queue;
    std::vector<QByteArray> m_written; // handled, waiting to be freed by releaseWritten()
    bool m_inputEnded = false;
    bool m_stopped = false;
    // Written by the stage's thread only, read after it has ended.
    int64_t m_pictures = 0;
    bool m_cancelled = false;
    QString m_error;
    bool m_ownThread = true;
    std::thread m_thread;
};

} // namespace lv
