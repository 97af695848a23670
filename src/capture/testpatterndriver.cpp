#include "capture/testpatterndriver.h"

#include "capture/devicedialogs.h"


#include <QLoggingCategory>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

Q_LOGGING_CATEGORY(lcTestPattern, "lumivark.capture.testpattern")

namespace lv {

TestPatternDriver::TestPatternDriver() = default;

TestPatternDriver::~TestPatternDriver() { close(); }

bool TestPatternDriver::open()
{
    m_open = true;
    return true;
}

void TestPatternDriver::close()
{
    stop();
    m_open = false;
}

QSize TestPatternDriver::frameSize() const
{
    QMutexLocker l(&m_mutex);
    return m_settings.size;
}

double TestPatternDriver::frameRate() const
{
    QMutexLocker l(&m_mutex);
    return m_settings.rate;
}

TestPatternSettings TestPatternDriver::settings() const
{
    QMutexLocker l(&m_mutex);
    return m_settings;
}

void TestPatternDriver::setSettings(const TestPatternSettings& s)
{
    QMutexLocker l(&m_mutex);
    m_settings = s;
    m_settings.rate = std::clamp(s.rate, TestPattern::kMinRate, TestPattern::kMaxRate);
    if (!TestPattern::sizes().contains(s.size))
        m_settings.size = QSize(320, 240);
}

CaptureDriver::Settings TestPatternDriver::keptSettings() const
{
    const TestPatternSettings s = settings();
    return {{QStringLiteral("width"), QString::number(s.size.width())},
            {QStringLiteral("height"), QString::number(s.size.height())},
            {QStringLiteral("rate"), QString::number(s.rate)},
            {QStringLiteral("brightness"), QString::number(s.brightness)},
            {QStringLiteral("still"), s.still ? QStringLiteral("1") : QStringLiteral("0")}};
}

void TestPatternDriver::applyKeptSettings(const Settings& kept)
{
    TestPatternSettings s = settings();
    bool ok = false;
    const QSize size(kept.value(QStringLiteral("width")).toInt(), kept.value(QStringLiteral("height")).toInt());
    if (TestPattern::sizes().contains(size))
        s.size = size;
    if (const int rate = kept.value(QStringLiteral("rate")).toInt(&ok); ok)
        s.rate = rate;
    if (const int b = kept.value(QStringLiteral("brightness")).toInt(&ok); ok)
        s.brightness = std::clamp(b, -100, 100);
    if (kept.contains(QStringLiteral("still")))
        s.still = kept.value(QStringLiteral("still")) == QLatin1String("1");
    setSettings(s);
}

bool TestPatternDriver::start(FrameSink frames, ErrorSink)
{
    if (!m_open)
        return false;
    stop();
    m_frames = std::move(frames);
    m_stop.reset();
    m_thread = std::thread([this] { run(); });
    return true;
}

void TestPatternDriver::stop()
{
    m_stop.request();
    if (m_thread.joinable())
        m_thread.join();
}

void TestPatternDriver::run()
{
    // Frames are numbered by the time since the stream started and stamped
    // with the time they stand for. As a camera's queue of buffers keeps the
    // frames its reader comes late for, a late wake-up still sends the last
    // kQueuedFrames due (a quarter of a second at 30 fps: a loaded machine
    // can hold a thread back that long); frames older than that are lost
    // (skipped numbers), as a real device drops them.
    constexpr uint64_t kQueuedFrames = 8;
    const auto startTime = std::chrono::steady_clock::now();
    const int64_t startUs = std::chrono::duration_cast<std::chrono::microseconds>(startTime.time_since_epoch()).count();
    // The pattern goes out as I420, which a recording compresses as it is;
    // its RGB picture is drawn only when something shows or keeps it.
    YuvPatternFrames pictures;
    uint64_t next = 0;
    for (;;) {
        const TestPatternSettings s = settings();
        const auto period = std::chrono::microseconds(1000000 / std::max(1, s.rate));
        if (m_stop.waitUntil(startTime + period * static_cast<int64_t>(next)))
            return;
        const auto elapsed = std::chrono::steady_clock::now() - startTime;
        const uint64_t due = std::max(next, static_cast<uint64_t>(elapsed / period));
        if (due + 1 - next > kQueuedFrames)
            qCDebug(lcTestPattern) << "woke" << due - next << "frames late; lost" << due + 1 - next - kQueuedFrames;
        for (uint64_t number = std::max(next, due + 1 - std::min(due + 1, kQueuedFrames)); number <= due; ++number) {
            auto frame = std::make_shared<VideoFrame>();
            frame->yuv = pictures.frame(number, s);
            frame->makePicture = [number, s] { return TestPattern::render(number, s); };
            frame->sequence = number;
            frame->timestampUs = startUs + static_cast<int64_t>(number) * period.count();
            m_frames(frame);
        }
        next = due + 1;
    }
}

std::unique_ptr<AudioSource> TestPatternDriver::createAudioSource()
{
    return std::make_unique<SineAudioSource>();
}

// --- SineAudioSource ---

SineAudioSource::~SineAudioSource() { stop(); }

QByteArray SineAudioSource::render(const AudioFormat& f, double frequency, uint64_t first, int count)
{
    const int channels = std::max<int>(1, f.nChannels);
    const int bytes = f.wBitsPerSample == 8 ? 1 : 2;
    QByteArray out(count * channels * bytes, Qt::Uninitialized);
    char* p = out.data();
    const double rate = std::max<uint32_t>(1, f.nSamplesPerSec);
    for (int i = 0; i < count; ++i) {
        const double v = 0.5 * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(first + static_cast<uint64_t>(i)) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bytes == 1) {
                *p++ = static_cast<char>(static_cast<uint8_t>(std::lround(128.0 + v * 127.0)));
            } else {
                const auto s = static_cast<int16_t>(std::lround(v * 32767.0));
                *p++ = static_cast<char>(s & 0xff);
                *p++ = static_cast<char>((s >> 8) & 0xff);
            }
        }
    }
    return out;
}

bool SineAudioSource::start(const AudioFormat& format, PcmSink sink)
{
    stop();
    m_stop.reset();
    m_thread = std::thread([this, format, sink = std::move(sink)] {
        const auto startTime = std::chrono::steady_clock::now();
        const int64_t startUs = steadyMicros();
        const uint32_t rate = std::max<uint32_t>(1, format.nSamplesPerSec);
        uint64_t sent = 0;
        for (int chunk = 1;; ++chunk) {
            if (m_stop.waitUntil(startTime + std::chrono::milliseconds(20) * chunk))
                return;
            const uint64_t upTo = static_cast<uint64_t>(chunk) * rate / 50;
            const int count = static_cast<int>(upTo - sent);
            sink(render(format, m_frequency, sent, count), startUs + static_cast<int64_t>(sent * 1000000 / rate));
            sent = upTo;
        }
    });
    return true;
}

bool TestPatternDriver::showSourceDialog(QWidget* parent)
{
    DeviceDialogs* ui = deviceDialogs();
    if (!ui)
        return false;
    if (const auto chosen = ui->testPatternSource(settings(), parent))
        setSettings(*chosen);
    return true;
}

bool TestPatternDriver::showFormatDialog(QWidget* parent)
{
    DeviceDialogs* ui = deviceDialogs();
    if (!ui)
        return false;
    if (const auto chosen = ui->testPatternFormat(settings(), parent))
        setSettings(*chosen);
    return true;
}

void SineAudioSource::stop()
{
    m_stop.request();
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace lv
