#include "movie/recompressstage.h"

#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace lv::recompress {

QString avErrorText(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return QString::fromLocal8Bit(buf);
}

QString errorText(const QString& what, int averror)
{
    if (averror == AVERROR(ENOSPC))
        return what + QStringLiteral(": the disk is full");
    return averror ? what + QStringLiteral(": ") + avErrorText(averror) : what;
}

// Sends one picture (nullptr: the end) to the encoder and writes what comes out.
bool encodeAndWrite(AVCodecContext* enc, AVFormatContext* out, AVStream* stream, AVPacket* pkt, AVFrame* frame,
                    QString* error)
{
    int err = avcodec_send_frame(enc, frame);
    if (err < 0) {
        *error = errorText(QStringLiteral("The encoder refused a frame"), err);
        return false;
    }
    for (;;) {
        err = avcodec_receive_packet(enc, pkt);
        // EAGAIN: the encoder wants more input; EOF: it has been flushed.
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0) {
            *error = errorText(QStringLiteral("The encoder failed"), err);
            return false;
        }
        pkt->stream_index = stream->index;
        av_packet_rescale_ts(pkt, enc->time_base, stream->time_base);
        err = av_interleaved_write_frame(out, pkt);
        if (err < 0) {
            *error = errorText(QStringLiteral("Cannot write the movie"), err);
            return false;
        }
    }
}

EncodeStage::EncodeStage(AVCodecContext* enc, AVFormatContext* out, AVStream* stream, int64_t total,
                         const std::atomic_bool& cancel, const std::function<void(int)>& progress)
    : m_enc(enc), m_out(out), m_stream(stream), m_total(total), m_cancel(cancel), m_progress(progress)
{
    m_thread = std::thread([this] { run(); });
}

bool EncodeStage::push(ff::FramePtr frame)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < kQueueLength || m_stopped; });
    if (m_stopped)
        return false;
    m_queue.push_back(std::move(frame));
    m_changed.notify_all();
    return true;
}

bool EncodeStage::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_inputEnded = true;
        m_changed.notify_all();
    }
    join();
    return m_error.isEmpty() && !m_cancelled;
}

void EncodeStage::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }
    join();
}

void EncodeStage::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void EncodeStage::run()
{
    ff::PacketPtr pkt(av_packet_alloc());
    int64_t done = 0;
    for (;;) {
        ff::FramePtr frame;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_inputEnded || m_stopped; });
            if (m_stopped || m_queue.empty())
                return;
            frame = std::move(m_queue.front());
            m_queue.pop_front();
            m_changed.notify_all();
        }
        bool ok = true;
        if (m_cancel.load(std::memory_order_relaxed)) {
            m_cancelled = true;
            ok = false;
        } else if (!pkt) {
            m_error = QStringLiteral("Out of memory");
            ok = false;
        } else {
            ok = encodeAndWrite(m_enc, m_out, m_stream, pkt.get(), frame.get(), &m_error);
        }
        if (!ok) {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
            m_queue.clear();
            m_changed.notify_all();
            return;
        }
        ++done;
        if (m_progress && m_total > 0) {
            const int percent = int(std::min<int64_t>(100, done * 100 / m_total));
            if (percent != m_lastPercent) {
                m_lastPercent = percent;
                m_progress(percent);
            }
        }
    }
}

} // namespace lv::recompress
