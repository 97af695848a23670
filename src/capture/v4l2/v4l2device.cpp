#include "capture/v4l2/v4l2device.h"

#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

Q_LOGGING_CATEGORY(lcV4l2, "lumivark.capture.v4l2")

namespace lv::v4l2 {

namespace {

QString fixedText(const unsigned char* text, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text), int(strnlen(reinterpret_cast<const char*>(text), size)));
}

bool isStreamingCapture(const v4l2_capability& cap)
{
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

QString versionText(const v4l2_capability& cap)
{
    return QStringLiteral("%1 %2.%3.%4")
        .arg(fixedText(cap.driver, sizeof cap.driver))
        .arg((cap.version >> 16) & 0xff)
        .arg((cap.version >> 8) & 0xff)
        .arg(cap.version & 0xff);
}

} // namespace

QString fourccText(uint32_t f)
{
    const char c[4] = {char(f & 0xff), char((f >> 8) & 0xff), char((f >> 16) & 0xff), char((f >> 24) & 0xff)};
    return QString::fromLatin1(c, 4).trimmed();
}

bool isConvertible(uint32_t fourcc)
{
    return fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG;
}

bool probeDevice(Io& io, const QString& path, QString* card, QString* driverVersion)
{
    Device d(io);
    if (!d.open(path))
        return false;
    *card = d.card();
    *driverVersion = d.driverVersion();
    return true;
}

Device::Device(Io& io) : m_io(io) {}

Device::~Device() { close(); }

bool Device::open(const QString& path)
{
    close();
    const int fd = m_io.open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    v4l2_capability cap{};
    if (xioctl(m_io, fd, VIDIOC_QUERYCAP, &cap) < 0 || !isStreamingCapture(cap)) {
        m_io.close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_card = fixedText(cap.card, sizeof cap.card);
    m_busInfo = fixedText(cap.bus_info, sizeof cap.bus_info);
    m_driverVersion = versionText(cap);
    return true;
}

void Device::close()
{
    stopStreaming();
    if (m_fd >= 0)
        m_io.close(m_fd);
    m_fd = -1;
}

std::vector<PixelFormatInfo> Device::formats() const
{
    std::vector<PixelFormatInfo> out;
    for (uint32_t i = 0;; ++i) {
        v4l2_fmtdesc fd{};
        fd.index = i;
        fd.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(m_io, m_fd, VIDIOC_ENUM_FMT, &fd) < 0)
            break;
        PixelFormatInfo f;
        f.fourcc = fd.pixelformat;
        f.description = fixedText(fd.description, sizeof fd.description);
        f.convertible = isConvertible(fd.pixelformat);
        for (uint32_t s = 0;; ++s) {
            v4l2_frmsizeenum fs{};
            fs.index = s;
            fs.pixel_format = fd.pixelformat;
            if (xioctl(m_io, m_fd, VIDIOC_ENUM_FRAMESIZES, &fs) < 0)
                break;
            FrameSizeInfo size;
            if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                size.size = QSize(int(fs.discrete.width), int(fs.discrete.height));
            } else {
                // Stepwise and continuous ranges: offer their largest size.
                size.size = QSize(int(fs.stepwise.max_width), int(fs.stepwise.max_height));
            }
            for (uint32_t k = 0;; ++k) {
                v4l2_frmivalenum fi{};
                fi.index = k;
                fi.pixel_format = fd.pixelformat;
                fi.width = uint32_t(size.size.width());
                fi.height = uint32_t(size.size.height());
                if (xioctl(m_io, m_fd, VIDIOC_ENUM_FRAMEINTERVALS, &fi) < 0)
                    break;
                if (fi.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                    size.intervals.push_back({fi.discrete.numerator, fi.discrete.denominator});
                } else {
                    size.intervals.push_back({fi.stepwise.min.numerator, fi.stepwise.min.denominator});
                    break;
                }
            }
            f.sizes.push_back(std::move(size));
            if (fs.type != V4L2_FRMSIZE_TYPE_DISCRETE)
                break;
        }
        out.push_back(std::move(f));
    }
    return out;
}

std::vector<ControlInfo> Device::controls() const
{
    std::vector<ControlInfo> out;
    v4l2_queryctrl q{};
    q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (xioctl(m_io, m_fd, VIDIOC_QUERYCTRL, &q) == 0) {
        const uint32_t id = q.id;
        if (!(q.flags & V4L2_CTRL_FLAG_DISABLED) && q.type != V4L2_CTRL_TYPE_CTRL_CLASS) {
            ControlInfo c;
            c.id = id;
            c.name = fixedText(q.name, sizeof q.name);
            c.minimum = q.minimum;
            c.maximum = q.maximum;
            c.step = q.step > 0 ? q.step : 1;
            c.defaultValue = q.default_value;
            c.inactive = q.flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED);
            bool known = true;
            switch (q.type) {
            case V4L2_CTRL_TYPE_INTEGER:
                c.type = ControlInfo::Type::Integer;
                break;
            case V4L2_CTRL_TYPE_BOOLEAN:
                c.type = ControlInfo::Type::Boolean;
                break;
            case V4L2_CTRL_TYPE_BUTTON:
                c.type = ControlInfo::Type::Button;
                break;
            case V4L2_CTRL_TYPE_MENU:
            case V4L2_CTRL_TYPE_INTEGER_MENU:
                c.type = ControlInfo::Type::Menu;
                for (int v = q.minimum; v <= q.maximum; ++v) {
                    v4l2_querymenu m{};
                    m.id = id;
                    m.index = uint32_t(v);
                    if (xioctl(m_io, m_fd, VIDIOC_QUERYMENU, &m) < 0)
                        continue; // menus may have holes
                    c.menu.emplace_back(v, q.type == V4L2_CTRL_TYPE_MENU
                                               ? fixedText(m.name, sizeof m.name)
                                               : QString::number(m.value));
                }
                break;
            default:
                known = false; // strings, 64-bit and compound controls are not offered
            }
            if (known) {
                if (c.type != ControlInfo::Type::Button && !readControl(id, &c.value))
                    c.value = c.defaultValue;
                out.push_back(std::move(c));
            }
        }
        q = v4l2_queryctrl{};
        q.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return out;
}

bool Device::readControl(uint32_t id, int* value) const
{
    v4l2_control c{id, 0};
    if (xioctl(m_io, m_fd, VIDIOC_G_CTRL, &c) < 0)
        return false;
    *value = c.value;
    return true;
}

bool Device::setControl(uint32_t id, int value)
{
    v4l2_control c{id, value};
    return xioctl(m_io, m_fd, VIDIOC_S_CTRL, &c) == 0;
}

CurrentFormat Device::currentFormat() const
{
    CurrentFormat cf;
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_io, m_fd, VIDIOC_G_FMT, &f) < 0)
        return cf;
    cf.fourcc = f.fmt.pix.pixelformat;
    cf.size = QSize(int(f.fmt.pix.width), int(f.fmt.pix.height));
    cf.bytesPerLine = f.fmt.pix.bytesperline;
    cf.sizeImage = f.fmt.pix.sizeimage;
    v4l2_streamparm p{};
    p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_io, m_fd, VIDIOC_G_PARM, &p) == 0 && p.parm.capture.timeperframe.denominator)
        cf.interval = {p.parm.capture.timeperframe.numerator, p.parm.capture.timeperframe.denominator};
    return cf;
}

bool Device::setFormat(uint32_t fourcc, QSize size, Interval interval)
{
    if (m_streaming)
        return false;
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.pixelformat = fourcc;
    f.fmt.pix.width = uint32_t(size.width());
    f.fmt.pix.height = uint32_t(size.height());
    f.fmt.pix.field = V4L2_FIELD_NONE;
    if (xioctl(m_io, m_fd, VIDIOC_S_FMT, &f) < 0) {
        qCWarning(lcV4l2) << m_path << "refuses format" << fourccText(fourcc) << size << strerror(errno);
        return false;
    }
    v4l2_streamparm p{};
    p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_io, m_fd, VIDIOC_G_PARM, &p) == 0 && (p.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        p.parm.capture.timeperframe.numerator = interval.num;
        p.parm.capture.timeperframe.denominator = interval.den;
        xioctl(m_io, m_fd, VIDIOC_S_PARM, &p);
    }
    return true;
}

bool Device::startStreaming(uint32_t bufferCount)
{
    if (m_streaming)
        return true;
    v4l2_requestbuffers req{};
    req.count = bufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (xioctl(m_io, m_fd, VIDIOC_REQBUFS, &req) < 0 || req.count < 2) {
        qCWarning(lcV4l2) << m_path << "cannot get buffers:" << strerror(errno);
        return false;
    }
    m_streaming = true; // from here on stopStreaming() cleans up
    for (uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (xioctl(m_io, m_fd, VIDIOC_QUERYBUF, &b) < 0) {
            stopStreaming();
            return false;
        }
        void* addr = m_io.mmap(b.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, off_t(b.m.offset));
        if (addr == MAP_FAILED) {
            stopStreaming();
            return false;
        }
        m_buffers.push_back({addr, b.length});
        if (xioctl(m_io, m_fd, VIDIOC_QBUF, &b) < 0) {
            stopStreaming();
            return false;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_io, m_fd, VIDIOC_STREAMON, &type) < 0) {
        qCWarning(lcV4l2) << m_path << "cannot start streaming:" << strerror(errno);
        stopStreaming();
        return false;
    }
    return true;
}

void Device::stopStreaming()
{
    if (!m_streaming)
        return;
    m_streaming = false;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(m_io, m_fd, VIDIOC_STREAMOFF, &type);
    for (const Mapping& m : m_buffers)
        m_io.munmap(m.addr, m.length);
    m_buffers.clear();
    v4l2_requestbuffers req{};
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    xioctl(m_io, m_fd, VIDIOC_REQBUFS, &req);
}

Device::Wait Device::waitFrame(int timeoutMs)
{
    short revents = 0;
    const int r = m_io.poll(m_fd, POLLIN, &revents, timeoutMs);
    if (r < 0)
        return errno == EINTR ? Wait::Timeout : Wait::Lost;
    if (r == 0)
        return Wait::Timeout;
    if (revents & (POLLERR | POLLHUP | POLLNVAL))
        return Wait::Lost;
    return Wait::Ready;
}

bool Device::dequeue(Buffer* buffer, bool* lost)
{
    *lost = false;
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    if (xioctl(m_io, m_fd, VIDIOC_DQBUF, &b) < 0) {
        *lost = errno != EAGAIN && errno != EIO;
        return false;
    }
    if (b.index >= m_buffers.size()) {
        *lost = true;
        return false;
    }
    buffer->index = b.index;
    buffer->data = static_cast<const uint8_t*>(m_buffers[b.index].addr);
    buffer->bytesUsed = std::min<uint32_t>(b.bytesused, uint32_t(m_buffers[b.index].length));
    buffer->sequence = b.sequence;
    buffer->error = b.flags & V4L2_BUF_FLAG_ERROR;
    return true;
}

bool Device::requeue(uint32_t index)
{
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    b.index = index;
    return xioctl(m_io, m_fd, VIDIOC_QBUF, &b) == 0;
}

} // namespace lv::v4l2
