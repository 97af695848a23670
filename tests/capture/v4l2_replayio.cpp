#include "v4l2_replayio.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

namespace {

uint32_t fourccOf(const QString& s)
{
    const QByteArray b = s.toLatin1().leftJustified(4, ' ');
    return v4l2_fourcc(b[0], b[1], b[2], b[3]);
}

void copyText(unsigned char* dst, size_t size, const QString& text)
{
    const QByteArray b = text.toUtf8();
    std::memset(dst, 0, size);
    std::memcpy(dst, b.constData(), std::min<size_t>(size - 1, size_t(b.size())));
}

int fail(int err)
{
    errno = err;
    return -1;
}

QJsonArray formatsOf(const QJsonObject& desc) { return desc.value(QStringLiteral("formats")).toArray(); }

QJsonObject formatOf(const QJsonObject& desc, uint32_t fourcc)
{
    for (const QJsonValue& f : formatsOf(desc))
        if (fourccOf(f.toObject().value(QStringLiteral("fourcc")).toString()) == fourcc)
            return f.toObject();
    return {};
}

QJsonArray controlsOf(const QJsonObject& desc) { return desc.value(QStringLiteral("controls")).toArray(); }

QJsonObject controlOf(const QJsonObject& desc, uint32_t id)
{
    for (const QJsonValue& c : controlsOf(desc))
        if (uint32_t(c.toObject().value(QStringLiteral("id")).toInteger()) == id)
            return c.toObject();
    return {};
}

} // namespace

ReplayIo::ReplayIo(const QString& description)
{
    QFile f(description);
    f.open(QIODevice::ReadOnly);
    const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    const QString folder = QFileInfo(description).absolutePath();
    for (const QJsonValue& v : root.value(QStringLiteral("devices")).toArray()) {
        const QJsonObject d = v.toObject();
        DeviceState s;
        s.desc = d;
        const QJsonObject cur = d.value(QStringLiteral("current")).toObject();
        s.fourcc = fourccOf(cur.value(QStringLiteral("fourcc")).toString());
        s.width = cur.value(QStringLiteral("width")).toInt();
        s.height = cur.value(QStringLiteral("height")).toInt();
        const QJsonArray iv = cur.value(QStringLiteral("interval")).toArray();
        if (iv.size() == 2) {
            s.ivNum = uint32_t(iv[0].toInt());
            s.ivDen = uint32_t(iv[1].toInt());
        }
        for (const QJsonValue& c : controlsOf(d))
            s.controls[uint32_t(c.toObject().value(QStringLiteral("id")).toInteger())] =
                c.toObject().value(QStringLiteral("value")).toInt();
        const QJsonObject frames = d.value(QStringLiteral("frames")).toObject();
        for (auto it = frames.begin(); it != frames.end(); ++it) {
            QFile ff(folder + QLatin1Char('/') + it.value().toString());
            ff.open(QIODevice::ReadOnly);
            s.frames[fourccOf(it.key())] = ff.readAll();
        }
        m_devices[d.value(QStringLiteral("path")).toString()] = std::move(s);
    }
}

QStringList ReplayIo::deviceNodes() const
{
    std::lock_guard l(m_mutex);
    QStringList out;
    for (const auto& [path, d] : m_devices)
        out << path;
    return out;
}

int ReplayIo::open(const QString& path, int)
{
    std::lock_guard l(m_mutex);
    if (!m_devices.count(path))
        return fail(ENOENT);
    const int fd = m_nextFd++;
    m_open[fd] = path;
    return fd;
}

int ReplayIo::close(int fd)
{
    std::lock_guard l(m_mutex);
    return m_open.erase(fd) ? 0 : fail(EBADF);
}

ReplayIo::DeviceState* ReplayIo::stateOf(int fd)
{
    const auto it = m_open.find(fd);
    return it == m_open.end() ? nullptr : &m_devices[it->second];
}

bool ReplayIo::exhausted(const DeviceState& d) const
{
    return d.next >= d.desc.value(QStringLiteral("sequence")).toArray().size();
}

int ReplayIo::ioctl(int fd, unsigned long request, void* arg)
{
    std::lock_guard l(m_mutex);
    DeviceState* d = stateOf(fd);
    if (!d)
        return fail(EBADF);
    return handle(*d, request, arg);
}

int ReplayIo::handle(DeviceState& d, unsigned long request, void* arg)
{
    const QJsonObject& desc = d.desc;
    const bool vanished = d.streaming && exhausted(d) && desc.value(QStringLiteral("vanishes")).toBool();
    if (vanished)
        return fail(ENODEV);
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        copyText(cap->driver, sizeof cap->driver, desc.value(QStringLiteral("driver")).toString());
        copyText(cap->card, sizeof cap->card, desc.value(QStringLiteral("card")).toString());
        copyText(cap->bus_info, sizeof cap->bus_info, QStringLiteral("replay"));
        const QJsonArray v = desc.value(QStringLiteral("version")).toArray();
        cap->version = uint32_t((v[0].toInt() << 16) | (v[1].toInt() << 8) | v[2].toInt());
        for (const QJsonValue& c : desc.value(QStringLiteral("capabilities")).toArray()) {
            if (c.toString() == QLatin1String("video-capture"))
                cap->device_caps |= V4L2_CAP_VIDEO_CAPTURE;
            else if (c.toString() == QLatin1String("metadata-capture"))
                cap->device_caps |= V4L2_CAP_META_CAPTURE;
            else if (c.toString() == QLatin1String("streaming"))
                cap->device_caps |= V4L2_CAP_STREAMING;
        }
        // The node's capabilities are the whole device's: both nodes together.
        cap->capabilities = cap->device_caps | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* f = static_cast<v4l2_fmtdesc*>(arg);
        const QJsonArray formats = formatsOf(desc);
        if (f->index >= uint32_t(formats.size()))
            return fail(EINVAL);
        const QJsonObject fo = formats[int(f->index)].toObject();
        f->pixelformat = fourccOf(fo.value(QStringLiteral("fourcc")).toString());
        f->flags = f->pixelformat == V4L2_PIX_FMT_YUYV ? 0 : V4L2_FMT_FLAG_COMPRESSED;
        copyText(f->description, sizeof f->description, fo.value(QStringLiteral("description")).toString());
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        const QJsonArray sizes = formatOf(desc, s->pixel_format).value(QStringLiteral("sizes")).toArray();
        if (s->index >= uint32_t(sizes.size()))
            return fail(EINVAL);
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete.width = uint32_t(sizes[int(s->index)].toObject().value(QStringLiteral("width")).toInt());
        s->discrete.height = uint32_t(sizes[int(s->index)].toObject().value(QStringLiteral("height")).toInt());
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* fi = static_cast<v4l2_frmivalenum*>(arg);
        for (const QJsonValue& sv : formatOf(desc, fi->pixel_format).value(QStringLiteral("sizes")).toArray()) {
            const QJsonObject so = sv.toObject();
            if (uint32_t(so.value(QStringLiteral("width")).toInt()) != fi->width
                || uint32_t(so.value(QStringLiteral("height")).toInt()) != fi->height)
                continue;
            const QJsonArray ivs = so.value(QStringLiteral("intervals")).toArray();
            if (fi->index >= uint32_t(ivs.size()))
                return fail(EINVAL);
            fi->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            fi->discrete.numerator = uint32_t(ivs[int(fi->index)].toArray()[0].toInt());
            fi->discrete.denominator = uint32_t(ivs[int(fi->index)].toArray()[1].toInt());
            return 0;
        }
        return fail(EINVAL);
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return fail(EINVAL);
        if (request == VIDIOC_S_FMT) {
            if (d.streaming || !d.buffers.empty())
                return fail(EBUSY);
            const QJsonObject fo = formatOf(desc, f->fmt.pix.pixelformat);
            const QJsonArray sizes = fo.value(QStringLiteral("sizes")).toArray();
            if (!sizes.isEmpty()) {
                // Like a driver: take the format, and the size if it is offered, else its first.
                d.fourcc = f->fmt.pix.pixelformat;
                d.width = sizes[0].toObject().value(QStringLiteral("width")).toInt();
                d.height = sizes[0].toObject().value(QStringLiteral("height")).toInt();
                for (const QJsonValue& sv : sizes)
                    if (uint32_t(sv.toObject().value(QStringLiteral("width")).toInt()) == f->fmt.pix.width
                        && uint32_t(sv.toObject().value(QStringLiteral("height")).toInt()) == f->fmt.pix.height) {
                        d.width = int(f->fmt.pix.width);
                        d.height = int(f->fmt.pix.height);
                    }
            }
        }
        f->fmt.pix.pixelformat = d.fourcc;
        f->fmt.pix.width = uint32_t(d.width);
        f->fmt.pix.height = uint32_t(d.height);
        f->fmt.pix.field = V4L2_FIELD_NONE;
        f->fmt.pix.bytesperline = d.fourcc == V4L2_PIX_FMT_YUYV ? uint32_t(d.width) * 2 : 0;
        f->fmt.pix.sizeimage = uint32_t(d.width * d.height * 2);
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* p = static_cast<v4l2_streamparm*>(arg);
        if (request == VIDIOC_S_PARM) {
            d.ivNum = p->parm.capture.timeperframe.numerator;
            d.ivDen = p->parm.capture.timeperframe.denominator;
        }
        p->parm.capture = {};
        p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        p->parm.capture.timeperframe = {d.ivNum, d.ivDen};
        return 0;
    }
    case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        const bool next = q->id & V4L2_CTRL_FLAG_NEXT_CTRL;
        const uint32_t id = q->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        const auto it = next ? d.controls.upper_bound(id) : d.controls.find(id);
        if (it == d.controls.end())
            return fail(EINVAL);
        const QJsonObject c = controlOf(desc, it->first);
        *q = {};
        q->id = it->first;
        copyText(q->name, sizeof q->name, c.value(QStringLiteral("name")).toString());
        const QString type = c.value(QStringLiteral("type")).toString();
        q->type = type == QLatin1String("boolean") ? V4L2_CTRL_TYPE_BOOLEAN
                  : type == QLatin1String("menu")  ? V4L2_CTRL_TYPE_MENU
                  : type == QLatin1String("button") ? V4L2_CTRL_TYPE_BUTTON
                                                    : V4L2_CTRL_TYPE_INTEGER;
        q->minimum = c.value(QStringLiteral("min")).toInt();
        q->maximum = c.value(QStringLiteral("max")).toInt();
        q->step = c.value(QStringLiteral("step")).toInt();
        q->default_value = c.value(QStringLiteral("default")).toInt();
        if (c.value(QStringLiteral("disabled")).toBool())
            q->flags |= V4L2_CTRL_FLAG_DISABLED;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto* m = static_cast<v4l2_querymenu*>(arg);
        const QJsonObject menu = controlOf(desc, m->id).value(QStringLiteral("menu")).toObject();
        const QString key = QString::number(m->index);
        if (!menu.contains(key))
            return fail(EINVAL);
        copyText(m->name, sizeof m->name, menu.value(key).toString());
        return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto* c = static_cast<v4l2_control*>(arg);
        const auto it = d.controls.find(c->id);
        if (it == d.controls.end())
            return fail(EINVAL);
        if (request == VIDIOC_S_CTRL) {
            const QJsonObject desc1 = controlOf(desc, c->id);
            if (c->value < desc1.value(QStringLiteral("min")).toInt()
                || c->value > desc1.value(QStringLiteral("max")).toInt())
                return fail(ERANGE);
            it->second = c->value;
        }
        c->value = it->second;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        if (r->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (d.streaming)
            return fail(EBUSY);
        for (const Buffer& b : d.buffers)
            if (b.mapped && r->count > 0)
                return fail(EBUSY);
        d.buffers.clear();
        d.buffers.resize(std::min<uint32_t>(r->count, 8));
        for (Buffer& b : d.buffers)
            b.data = QByteArray(d.width * d.height * 2, 0);
        r->count = uint32_t(d.buffers.size());
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (b->index >= d.buffers.size())
            return fail(EINVAL);
        b->length = uint32_t(d.buffers[b->index].data.size());
        b->m.offset = b->index * 0x100000u;
        if (request == VIDIOC_QBUF)
            d.buffers[b->index].queued = true;
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (!d.streaming || exhausted(d))
            return fail(EAGAIN);
        for (size_t i = 0; i < d.buffers.size(); ++i) {
            Buffer& buf = d.buffers[i];
            if (!buf.queued)
                continue;
            const QByteArray& frame = d.frames[d.fourcc];
            const int n = std::min<int>(int(frame.size()), int(buf.data.size()));
            std::memcpy(buf.data.data(), frame.constData(), size_t(n));
            buf.queued = false;
            b->index = uint32_t(i);
            b->bytesused = uint32_t(n);
            b->sequence = uint32_t(desc.value(QStringLiteral("sequence")).toArray()[d.next].toInt());
            b->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
            ++d.next;
            return 0;
        }
        return fail(EAGAIN);
    }
    case VIDIOC_STREAMON:
        d.streaming = true;
        return 0;
    case VIDIOC_STREAMOFF:
        d.streaming = false;
        for (Buffer& b : d.buffers)
            b.queued = false;
        return 0;
    default:
        return fail(ENOTTY);
    }
}

void* ReplayIo::mmap(size_t length, int, int, int fd, off_t offset)
{
    std::lock_guard l(m_mutex);
    DeviceState* d = stateOf(fd);
    const size_t index = size_t(offset) / 0x100000u;
    if (!d || index >= d->buffers.size() || length > size_t(d->buffers[index].data.size())) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    d->buffers[index].mapped = true;
    return d->buffers[index].data.data();
}

int ReplayIo::munmap(void* addr, size_t)
{
    std::lock_guard l(m_mutex);
    for (auto& [path, d] : m_devices)
        for (Buffer& b : d.buffers)
            if (b.data.data() == addr && b.mapped) {
                b.mapped = false;
                return 0;
            }
    return fail(EINVAL);
}

int ReplayIo::poll(int fd, short, short* revents, int timeoutMs)
{
    int sleepMs = timeoutMs;
    {
        std::lock_guard l(m_mutex);
        DeviceState* d = stateOf(fd);
        if (!d)
            return fail(EBADF);
        *revents = 0;
        if (d->streaming && exhausted(*d) && d->desc.value(QStringLiteral("vanishes")).toBool()) {
            *revents = POLLERR;
            return 1;
        }
        const bool queued = std::any_of(d->buffers.begin(), d->buffers.end(), [](const Buffer& b) { return b.queued; });
        if (d->streaming && queued && !exhausted(*d)) {
            // The next frame comes one frame interval later.
            sleepMs = int(1000 * d->ivNum / std::max<uint32_t>(1, d->ivDen));
            *revents = POLLIN;
        }
    }
    QThread::msleep(std::max(0, std::min(sleepMs, timeoutMs)));
    return *revents ? 1 : 0;
}

int ReplayIo::openDescriptors() const
{
    std::lock_guard l(m_mutex);
    return int(m_open.size());
}

int ReplayIo::mappedBuffers() const
{
    std::lock_guard l(m_mutex);
    int n = 0;
    for (const auto& [path, d] : m_devices)
        for (const Buffer& b : d.buffers)
            n += b.mapped ? 1 : 0;
    return n;
}

int ReplayIo::controlValue(const QString& path, uint32_t id) const
{
    std::lock_guard l(m_mutex);
    const auto it = m_devices.find(path);
    if (it == m_devices.end())
        return -1;
    const auto c = it->second.controls.find(id);
    return c == it->second.controls.end() ? -1 : c->second;
}
