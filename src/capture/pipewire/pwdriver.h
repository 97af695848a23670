#pragma once

#include "capture/capturedriver.h"
#include "capture/pipewire/pwsession.h"
#include "capture/v4l2/v4l2device.h"

#include <atomic>
#include <memory>
#include <mutex>

struct pw_stream;
struct pw_node;

namespace lv::pipewire {

// A PipeWire "Video/Source" node as a capture device. The stream runs on
// the driver's own PipeWire thread loop; each buffer is copied out and handed
// back on the stream's data thread at once, and a converter thread of the
// driver's, its capture thread, converts the copies (through the V4L2 back
// end's converter) and hands the frames to the frame sink. A gap in the buffers' sequence numbers counts as lost
// frames. The node leaving the graph, or the daemon going away, calls the
// error sink once.
//
// Threads: as CaptureDriver.
class PipeWireDriver final : public CaptureDriver {
public:
    explicit PipeWireDriver(SourceInfo info);
    ~PipeWireDriver() override;

    QString name() const override { return m_info.description; }
    QString version() const override;
    QString captureSystem() const override { return QStringLiteral("PipeWire (%1)").arg(version()); }
    bool open() override;
    void close() override;
    QSize frameSize() const override;
    double frameRate() const override;
    bool hasOverlay() const override { return false; }
    bool hasSourceDialog() const override { return true; }
    bool hasFormatDialog() const override { return true; }
    bool showSourceDialog(QWidget* parent) override;
    bool showFormatDialog(QWidget* parent) override;
    bool start(FrameSink frames, ErrorSink errors) override;
    void stop() override;

    // What the dialogs show and change (UI thread), as for V4L2 cameras.
    std::vector<v4l2::PixelFormatInfo> formatChoices() const;
    std::vector<v4l2::ControlInfo> controls() const;
    bool setControl(uint32_t id, int value);
    v4l2::CurrentFormat currentFormat() const;
    // Switches format, size and rate; a running stream stops and goes on
    // with the same sinks.
    bool applyFormat(uint32_t fourcc, QSize size, v4l2::Interval interval);

    // Why open() or start() failed, for the status line.
    QString lastError() const { return m_lastError; }

private:
    struct Callbacks;
    friend struct Callbacks;

    bool readNodeParams();
    bool connectStream();
    void destroyStream();
    void lose(const QString& reason); // loop thread, loop locked

    SourceInfo m_info;
    std::unique_ptr<Session> m_session;
    pw_node* m_node = nullptr;
    pw_stream* m_stream = nullptr;
    std::unique_ptr<Callbacks> m_callbacks;
    std::vector<v4l2::PixelFormatInfo> m_formats;
    std::vector<v4l2::ControlInfo> m_controls;
    mutable std::mutex m_formatMutex;
    v4l2::CurrentFormat m_format;   // what was asked for
    v4l2::CurrentFormat m_streamFormat; // what was negotiated (set on the loop thread, read on the data thread)
    FrameSink m_frames;
    ErrorSink m_errors;
    std::atomic<bool> m_lost{false};
    uint64_t m_counter = 0; // data thread
    QString m_lastError;
};

} // namespace lv::pipewire
