#include "capture/v4l2/v4l2driver.h"

#include "capture/alsaaudiosource.h"
#include "capture/devicedialogs.h"
#include "capture/v4l2/frameconverter.h"

#include <QLoggingCategory>
#include <algorithm>
#include <chrono>
#include <linux/videodev2.h>

Q_DECLARE_LOGGING_CATEGORY(lcV4l2)

namespace lv::v4l2 {

V4l2Driver::V4l2Driver(DeviceInfo info, Io& io) : m_info(std::move(info)), m_io(io), m_device(io) {}

V4l2Driver::~V4l2Driver() { close(); }

bool V4l2Driver::open()
{
    if (m_device.isOpen())
        return true;
    if (!m_device.open(m_info.path))
        return false;
    CurrentFormat cf = m_device.currentFormat();
    if (!isConvertible(cf.fourcc)) {
        // Start in the first format we can show, at its first size and rate.
        const auto formats = formatChoices();
        if (formats.empty() || formats.front().sizes.empty()) {
            qCWarning(lcV4l2) << m_info.path << "offers no format this program can convert";
            m_device.close();
            return false;
        }
        const FrameSizeInfo& s = formats.front().sizes.front();
        m_device.setFormat(formats.front().fourcc, s.size, s.intervals.empty() ? Interval{} : s.intervals.front());
        cf = m_device.currentFormat();
        if (!isConvertible(cf.fourcc)) {
            m_device.close();
            return false;
        }
    }
    std::lock_guard l(m_formatMutex);
    m_format = cf;
    return true;
}

void V4l2Driver::close()
{
    stop();
    m_device.close();
}

QSize V4l2Driver::frameSize() const
{
    std::lock_guard l(m_formatMutex);
    return m_format.size;
}

double V4l2Driver::frameRate() const
{
    std::lock_guard l(m_formatMutex);
    return m_format.interval.rate();
}

CurrentFormat V4l2Driver::currentFormat() const
{
    std::lock_guard l(m_formatMutex);
    return m_format;
}

std::vector<PixelFormatInfo> V4l2Driver::formatChoices() const
{
    std::vector<PixelFormatInfo> all = m_device.formats();
    std::erase_if(all, [](const PixelFormatInfo& f) { return !f.convertible || f.sizes.empty(); });
    return all;
}

std::vector<ControlInfo> V4l2Driver::controls() const { return m_device.controls(); }

bool V4l2Driver::setControl(uint32_t id, int value) { return m_device.setControl(id, value); }

bool V4l2Driver::applyFormat(uint32_t fourcc, QSize size, Interval interval)
{
    if (!isConvertible(fourcc))
        return false;
    const bool wasRunning = m_thread.joinable();
    if (wasRunning) {
        joinThread();
        m_device.stopStreaming();
    }
    const bool ok = m_device.setFormat(fourcc, size, interval);
    {
        std::lock_guard l(m_formatMutex);
        m_format = m_device.currentFormat();
    }
    if (wasRunning) {
        if (!m_device.startStreaming()) {
            if (m_errors)
                m_errors(QStringLiteral("The device does not stream in the new format."));
            return false;
        }
        startThread();
    }
    return ok;
}

QString V4l2Driver::identity() const
{
    return QStringLiteral("v4l2:") + m_device.busInfo() + QLatin1Char(':') + m_info.card;
}

namespace {
QString controlKey(uint32_t id) { return QStringLiteral("control-") + QString::number(id); }
} // namespace

CaptureDriver::Settings V4l2Driver::keptSettings() const
{
    Settings out;
    const CurrentFormat f = currentFormat();
    out.insert(QStringLiteral("fourcc"), QString::number(f.fourcc));
    out.insert(QStringLiteral("width"), QString::number(f.size.width()));
    out.insert(QStringLiteral("height"), QString::number(f.size.height()));
    out.insert(QStringLiteral("interval"), QStringLiteral("%1/%2").arg(f.interval.num).arg(f.interval.den));
    for (const ControlInfo& c : controls())
        if (c.type != ControlInfo::Type::Button && !c.inactive)
            out.insert(controlKey(c.id), QString::number(c.value));
    return out;
}

void V4l2Driver::applyKeptSettings(const Settings& kept)
{
    const uint32_t fourcc = kept.value(QStringLiteral("fourcc")).toUInt();
    const QSize size(kept.value(QStringLiteral("width")).toInt(), kept.value(QStringLiteral("height")).toInt());
    const QStringList iv = kept.value(QStringLiteral("interval")).split(QLatin1Char('/'));
    // Only a format the camera still offers; a kept one it has lost would leave it unusable.
    for (const PixelFormatInfo& f : formatChoices()) {
        if (f.fourcc != fourcc)
            continue;
        for (const FrameSizeInfo& s : f.sizes) {
            if (s.size != size)
                continue;
            Interval interval = s.intervals.empty() ? Interval{} : s.intervals.front();
            if (iv.size() == 2) {
                const Interval wanted{iv[0].toUInt(), iv[1].toUInt()};
                if (std::find(s.intervals.begin(), s.intervals.end(), wanted) != s.intervals.end())
                    interval = wanted;
            }
            applyFormat(fourcc, size, interval);
        }
    }
    for (const ControlInfo& c : controls()) {
        if (c.type == ControlInfo::Type::Button || c.inactive)
            continue;
        bool ok = false;
        const int v = kept.value(controlKey(c.id)).toInt(&ok);
        if (ok && v >= c.minimum && v <= c.maximum && v != c.value)
            setControl(c.id, v);
    }
}

bool V4l2Driver::start(FrameSink frames, ErrorSink errors)
{
    if (!m_device.isOpen())
        return false;
    stop();
    m_frames = std::move(frames);
    m_errors = std::move(errors);
    if (!m_device.startStreaming())
        return false;
    startThread();
    return true;
}

void V4l2Driver::startThread()
{
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void V4l2Driver::joinThread()
{
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
}

void V4l2Driver::stop()
{
    joinThread();
    m_device.stopStreaming();
}

void V4l2Driver::run()
{
    const CurrentFormat format = currentFormat();
    const double rate = std::max(1.0, format.interval.rate());
    // A few frame periods: long enough for a slow camera, short enough
    // that a stop never waits long.
    const int timeoutMs = std::clamp(int(3000.0 / rate), 100, 1000);
    const bool jpeg = format.fourcc == V4L2_PIX_FMT_MJPEG || format.fourcc == V4L2_PIX_FMT_JPEG;
    FrameConverter converter;
    int waitedMs = 0;
    auto lose = [this](const QString& reason) {
        qCWarning(lcV4l2).noquote() << m_info.path << reason;
        if (m_errors)
            m_errors(reason);
    };
    while (!m_stopping) {
        const Device::Wait w = m_device.waitFrame(timeoutMs);
        if (w == Device::Wait::Lost)
            return lose(QStringLiteral("The device has gone."));
        if (w == Device::Wait::Timeout) {
            waitedMs += timeoutMs;
            if (waitedMs % 5000 < timeoutMs)
                qCWarning(lcV4l2) << m_info.path << "no frame for" << waitedMs << "ms";
            continue;
        }
        waitedMs = 0;
        Buffer b;
        bool lost = false;
        if (!m_device.dequeue(&b, &lost)) {
            if (lost)
                return lose(QStringLiteral("The device has gone."));
            continue;
        }
        auto frame = std::make_shared<VideoFrame>();
        frame->sequence = b.sequence;
        frame->timestampUs = steadyMicros();
        // YUV goes on as it is; the picture is made when something shows it.
        bool ok = !b.error
                  && (FrameConverter::keepYuv(format.fourcc, format.size, format.bytesPerLine, b.data, b.bytesUsed,
                                              frame.get())
                      || converter.convert(format.fourcc, format.size, format.bytesPerLine, b.data, b.bytesUsed,
                                           &frame->image));
        if (ok && jpeg)
            frame->jpeg = QByteArray(reinterpret_cast<const char*>(b.data), qsizetype(b.bytesUsed));
        const bool requeued = m_device.requeue(b.index);
        // A damaged buffer is left out; its sequence gap counts it as lost.
        if (ok && m_frames)
            m_frames(frame);
        if (!requeued && !m_stopping)
            return lose(QStringLiteral("The device has gone."));
    }
}

bool V4l2Driver::showSourceDialog(QWidget* parent)
{
    DeviceDialogs* ui = deviceDialogs();
    if (!m_device.isOpen() || !ui)
        return false;
    ui->cameraSource(controls(), [this](uint32_t id, int v) { return setControl(id, v); }, parent);
    return true;
}

bool V4l2Driver::showFormatDialog(QWidget* parent)
{
    DeviceDialogs* ui = deviceDialogs();
    if (!m_device.isOpen() || !ui)
        return false;
    if (const auto c = ui->cameraFormat(formatChoices(), currentFormat(), parent))
        applyFormat(c->fourcc, c->size, c->interval);
    return true;
}

std::unique_ptr<AudioSource> V4l2Driver::createAudioSource()
{
    return std::make_unique<AlsaAudioSource>(QStringLiteral("default"));
}

} // namespace lv::v4l2
