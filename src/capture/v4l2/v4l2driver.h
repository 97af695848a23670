#pragma once

#include "capture/capturedriver.h"
#include "capture/v4l2/v4l2device.h"
#include "capture/v4l2/v4l2devices.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace lv::v4l2 {

// A V4L2 camera as a capture device: mmap streaming on one capture thread
// that waits on the device with a timeout of a few frame periods, YUYV and
// Motion JPEG turned into RGB (Motion JPEG frames also keep their bytes, so
// a recording can store them unchanged).
//
// Threads: as CaptureDriver. The controls may be changed while streaming.
class V4l2Driver final : public CaptureDriver {
public:
    explicit V4l2Driver(DeviceInfo info, Io& io = v4l2::io());
    ~V4l2Driver() override;

    QString name() const override { return m_info.card; }
    QString version() const override { return m_info.version; }
    // Bus place and card name: the same camera on the same port, whatever its /dev node.
    QString identity() const override;
    Settings keptSettings() const override;
    void applyKeptSettings(const Settings& kept) override;
    bool open() override;
    void close() override;
    QSize frameSize() const override;
    double frameRate() const override;
    bool hasOverlay() const override { return false; }
    bool hasSourceDialog() const override { return true; }
    bool hasFormatDialog() const override { return true; }
    QString captureSystem() const override { return QStringLiteral("V4L2 (%1)").arg(m_info.version); }
    bool showSourceDialog(QWidget* parent) override;
    bool showFormatDialog(QWidget* parent) override;
    bool start(FrameSink frames, ErrorSink errors) override;
    void stop() override;
    std::unique_ptr<AudioSource> createAudioSource() override;

    // What the dialogs show and change (UI thread).
    std::vector<PixelFormatInfo> formatChoices() const; // the formats this program can convert
    std::vector<ControlInfo> controls() const;
    bool setControl(uint32_t id, int value);
    CurrentFormat currentFormat() const;
    // Switches format, size and rate; a running stream stops and goes on
    // with the same sinks.
    bool applyFormat(uint32_t fourcc, QSize size, Interval interval);

private:
    void run();
    void startThread();
    void joinThread();

    DeviceInfo m_info;
    Io& m_io;
    Device m_device;
    mutable std::mutex m_formatMutex;
    CurrentFormat m_format;
    FrameSink m_frames;
    ErrorSink m_errors;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
};

} // namespace lv::v4l2
