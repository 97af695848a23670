#pragma once

#include "movie/ffmpegptr.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// The encoding half of a recompression (see recompressor.h): the encoder's
// send/receive loop into the output file, and the thread that runs it.
namespace lv::recompress {

// FFmpeg's text for an error code.
QString avErrorText(int err);
// "what: reason" for an FFmpeg error code (a full disk said plainly); what alone for 0.
QString errorText(const QString& what, int averror);

// Sends one picture (nullptr: the end) to the encoder and writes what comes
// out; false with *error when the encoder or the file fails.
bool encodeAndWrite(AVCodecContext* enc, AVFormatContext* out, AVStream* stream, AVPacket* pkt, AVFrame* frame,
                    QString* error);

// The second half of the work: encodes and writes the pictures the decoding
// half hands over, on a thread of its own, so decoding the next pictures
// overlaps with encoding these. The queue is short: memory stays bounded and
// a stop on either side is seen within a few frames.
//
// Threads: push, finish and stop are called on the decoding thread; progress
// is called on the stage's thread; enc, out and stream belong to the stage's
// thread until finish() or stop() returns.
class EncodeStage {
public:
    EncodeStage(AVCodecContext* enc, AVFormatContext* out, AVStream* stream, int64_t total,
                const std::atomic_bool& cancel, const std::function<void(int)>& progress);
    ~EncodeStage() { stop(); }
    EncodeStage(const EncodeStage&) = delete;
    EncodeStage& operator=(const EncodeStage&) = delete;

    // Hands over a picture; waits while the queue is full. False when the
    // stage has stopped (an error, or a cancel).
    bool push(ff::FramePtr frame);
    // No more pictures: waits until every one is written. False on an error
    // or a cancel.
    bool finish();
    // Stops at once; pictures still queued are dropped. Safe to call twice.
    void stop();
    // After finish() or stop():
    QString error() const { return m_error; }
    bool cancelled() const { return m_cancelled; }
    int lastPercent() const { return m_lastPercent; }

private:
    static constexpr size_t kQueueLength = 4;

    void join();
    void run();

    AVCodecContext* m_enc;
    AVFormatContext* m_out;
    AVStream* m_stream;
    int64_t m_total;
    const std::atomic_bool& m_cancel;
    const std::function<void(int)>& m_progress;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ff::FramePtr> m_queue;
    bool m_inputEnded = false;
    bool m_stopped = false;
    // Written by the stage's thread only, read after it has ended.
    QString m_error;
    bool m_cancelled = false;
    int m_lastPercent = 0;
    std::thread m_thread;
};

} // namespace lv::recompress
