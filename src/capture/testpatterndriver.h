#pragma once

#include "capture/capturedriver.h"
#include "capture/stopflag.h"
#include "capture/testpattern.h"

#include <QMutex>
#include <atomic>
#include <thread>

namespace lv {

// The built-in capture device: the test pattern at a chosen size and rate,
// overlay capable, with a 440 Hz sine as its sound.
class TestPatternDriver final : public CaptureDriver {
public:
    TestPatternDriver();
    ~TestPatternDriver() override;

    static QString driverName() { return QStringLiteral("Lumivark Test Pattern"); }
    static QString driverVersion() { return QStringLiteral("1.0"); }

    QString name() const override { return driverName(); }
    QString version() const override { return driverVersion(); }
    QString identity() const override { return QStringLiteral("testpattern"); }
    Settings keptSettings() const override;
    void applyKeptSettings(const Settings& kept) override;
    bool open() override;
    void close() override;
    QSize frameSize() const override;
    double frameRate() const override;
    bool hasOverlay() const override { return true; }
    bool hasSourceDialog() const override { return true; }
    bool hasFormatDialog() const override { return true; }
    QString captureSystem() const override { return QStringLiteral("Lumivark test pattern (built in)"); }
    bool showSourceDialog(QWidget* parent) override;
    bool showFormatDialog(QWidget* parent) override;
    bool start(FrameSink frames, ErrorSink errors) override;
    void stop() override;
    std::unique_ptr<AudioSource> createAudioSource() override;

    TestPatternSettings settings() const;
    // Changes size, rate, brightness or pattern; a running stream goes on with them.
    void setSettings(const TestPatternSettings& s);

private:
    void run();

    mutable QMutex m_mutex;
    TestPatternSettings m_settings;
    bool m_open = false;
    FrameSink m_frames;
    std::thread m_thread;
    StopFlag m_stop;
};

// The sine tone of the test device, in real time, in any PCM format.
class SineAudioSource final : public AudioSource {
public:
    explicit SineAudioSource(double frequency = 440.0) : m_frequency(frequency) {}
    ~SineAudioSource() override;
    bool start(const AudioFormat& format, PcmSink sink) override;
    void stop() override;

    // Fills count sample frames starting at sample index first (pure).
    static QByteArray render(const AudioFormat& format, double frequency, uint64_t first, int count);

private:
    double m_frequency;
    std::thread m_thread;
    StopFlag m_stop;
};

} // namespace lv
