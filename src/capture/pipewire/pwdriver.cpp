#include "capture/pipewire/pwdriver.h"

#include "capture/pipewire/pwportal.h"
#include "capture/devicedialogs.h"
#include "capture/v4l2/frameconverter.h"

#include <QLoggingCategory>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>
#include <linux/videodev2.h>
#include <pipewire/pipewire.h>
#include <spa/node/command.h>
#include <spa/param/props.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

Q_DECLARE_LOGGING_CATEGORY(lcPipeWire)

namespace lv::pipewire {

namespace {

struct FormatName {
    uint32_t spa;
    uint32_t fourcc;
    const char* text;
};
// The raw formats offered to a source, in order of preference.
constexpr FormatName kRawFormats[] = {
    {SPA_VIDEO_FORMAT_YUY2, V4L2_PIX_FMT_YUYV, "YUYV 4:2:2"},
    {SPA_VIDEO_FORMAT_NV12, V4L2_PIX_FMT_NV12, "NV12 4:2:0"},
    {SPA_VIDEO_FORMAT_I420, V4L2_PIX_FMT_YUV420, "YUV 4:2:0 planar"},
    {SPA_VIDEO_FORMAT_RGB, V4L2_PIX_FMT_RGB24, "RGB 24-bit"},
    {SPA_VIDEO_FORMAT_BGR, V4L2_PIX_FMT_BGR24, "BGR 24-bit"},
    {SPA_VIDEO_FORMAT_BGRx, V4L2_PIX_FMT_XBGR32, "BGRx 32-bit"},
    {SPA_VIDEO_FORMAT_RGBx, V4L2_PIX_FMT_RGBX32, "RGBx 32-bit"},
    {SPA_VIDEO_FORMAT_xRGB, V4L2_PIX_FMT_XRGB32, "xRGB 32-bit"},
    {SPA_VIDEO_FORMAT_xBGR, V4L2_PIX_FMT_BGRX32, "xBGR 32-bit"},
};

QString formatText(uint32_t fourcc)
{
    if (fourcc == V4L2_PIX_FMT_MJPEG)
        return QStringLiteral("Motion-JPEG");
    for (const FormatName& f : kRawFormats)
        if (f.fourcc == fourcc)
            return QString::fromLatin1(f.text);
    return v4l2::fourccText(fourcc);
}

uint32_t spaForFourcc(uint32_t fourcc)
{
    for (const FormatName& f : kRawFormats)
        if (f.fourcc == fourcc)
            return f.spa;
    return SPA_VIDEO_FORMAT_UNKNOWN;
}

// The values of one property of an object pod: its default first, then
// the alternatives (an enumeration) or the bounds (a range).
template <typename T>
std::vector<T> propValues(const spa_pod* object, uint32_t key, uint32_t* choiceType = nullptr)
{
    const spa_pod_prop* p = spa_pod_find_prop(object, nullptr, key);
    if (!p)
        return {};
    uint32_t n = 0;
    uint32_t choice = SPA_CHOICE_None;
    const spa_pod* v = spa_pod_get_values(&p->value, &n, &choice);
    if (!v || v->size != sizeof(T))
        return {};
    if (choiceType)
        *choiceType = choice;
    const T* values = static_cast<const T*>(SPA_POD_BODY_CONST(v));
    return std::vector<T>(values, values + n);
}

// A choice as a list of offers: an enumeration's members, or a range's default
// and maximum.
template <typename T>
std::vector<T> offers(const std::vector<T>& values, uint32_t choice)
{
    if (values.empty())
        return {};
    if (choice == SPA_CHOICE_Enum && values.size() > 1)
        return std::vector<T>(values.begin() + 1, values.end());
    if ((choice == SPA_CHOICE_Range || choice == SPA_CHOICE_Step) && values.size() >= 3) {
        std::vector<T> out{values[0]};
        if (std::memcmp(&values[2], &values[0], sizeof(T)) != 0)
            out.push_back(values[2]);
        return out;
    }
    return {values[0]};
}

void addFormat(std::vector<v4l2::PixelFormatInfo>& all, uint32_t fourcc, const std::vector<spa_rectangle>& sizes,
               const std::vector<spa_fraction>& rates)
{
    auto it = std::find_if(all.begin(), all.end(), [&](const v4l2::PixelFormatInfo& f) { return f.fourcc == fourcc; });
    if (it == all.end()) {
        v4l2::PixelFormatInfo f;
        f.fourcc = fourcc;
        f.description = formatText(fourcc);
        f.convertible = true;
        all.push_back(f);
        it = all.end() - 1;
    }
    for (const spa_rectangle& r : sizes) {
        if (r.width == 0 || r.height == 0 || r.width > 16384 || r.height > 16384)
            continue;
        const QSize size(int(r.width), int(r.height));
        auto s = std::find_if(it->sizes.begin(), it->sizes.end(), [&](const auto& x) { return x.size == size; });
        if (s == it->sizes.end()) {
            it->sizes.push_back({size, {}});
            s = it->sizes.end() - 1;
        }
        for (const spa_fraction& fr : rates) {
            if (fr.num == 0 || fr.denom == 0)
                continue;
            const v4l2::Interval iv{fr.denom, fr.num};
            if (std::find(s->intervals.begin(), s->intervals.end(), iv) == s->intervals.end())
                s->intervals.push_back(iv);
        }
        if (s->intervals.empty())
            s->intervals.push_back({1, 30});
    }
}

} // namespace

uint32_t fourccForSpa(uint32_t mediaSubtype, uint32_t videoFormat)
{
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg)
        return V4L2_PIX_FMT_MJPEG;
    if (mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return 0;
    for (const FormatName& f : kRawFormats)
        if (f.spa == videoFormat)
            return f.fourcc;
    return 0;
}

namespace {

// One buffer's bytes, copied out of PipeWire's memory for the converter.
struct RawFrame {
    std::vector<uint8_t> bytes;
    uint32_t stride = 0;
    uint64_t sequence = 0;
    int64_t timestampUs = 0;
    v4l2::CurrentFormat format;
};

} // namespace

struct PipeWireDriver::Callbacks {
    ~Callbacks() { stopConverter(); }

    PipeWireDriver* d;
    spa_hook nodeHook{};
    spa_hook streamHook{};
    bool streamed = false;
    pw_node_state nodeState = PW_NODE_STATE_CREATING; // the source node's, as the daemon last said
    v4l2::FrameConverter converter; // converter thread
    std::atomic<bool> negotiated{false};

    static void onNodeInfo(void* data, const pw_node_info* info)
    {
        auto* c = static_cast<Callbacks*>(data);
        if (info && (info->change_mask & PW_NODE_CHANGE_MASK_STATE))
            c->nodeState = info->state;
    }

    static void onNodeParam(void* data, int, uint32_t id, uint32_t, uint32_t, const spa_pod* param)
    {
        auto* c = static_cast<Callbacks*>(data);
        if (!param || !spa_pod_is_object(param))
            return;
        if (id == SPA_PARAM_EnumFormat)
            c->addEnumFormat(param);
        else if (id == SPA_PARAM_PropInfo)
            c->addPropInfo(param);
        else if (id == SPA_PARAM_Props)
            c->readProps(param);
    }

    void addEnumFormat(const spa_pod* param)
    {
        uint32_t mediaType = 0;
        uint32_t mediaSubtype = 0;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video)
            return;
        uint32_t sizeChoice = 0;
        uint32_t rateChoice = 0;
        const auto sizes = offers(propValues<spa_rectangle>(param, SPA_FORMAT_VIDEO_size, &sizeChoice), sizeChoice);
        const auto rates = offers(propValues<spa_fraction>(param, SPA_FORMAT_VIDEO_framerate, &rateChoice), rateChoice);
        if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
            addFormat(d->m_formats, V4L2_PIX_FMT_MJPEG, sizes, rates);
            return;
        }
        if (mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
            return;
        uint32_t formatChoice = 0;
        const auto all = propValues<uint32_t>(param, SPA_FORMAT_VIDEO_format, &formatChoice);
        for (uint32_t f : offers(all, formatChoice))
            if (const uint32_t fourcc = fourccForSpa(mediaSubtype, f))
                addFormat(d->m_formats, fourcc, sizes, rates);
    }

    void addPropInfo(const spa_pod* param)
    {
        const auto ids = propValues<uint32_t>(param, SPA_PROP_INFO_id);
        const spa_pod_prop* name = spa_pod_find_prop(param, nullptr, SPA_PROP_INFO_name);
        const spa_pod_prop* type = spa_pod_find_prop(param, nullptr, SPA_PROP_INFO_type);
        const char* text = nullptr;
        if (ids.empty() || !name || !type || spa_pod_get_string(&name->value, &text) < 0 || !text)
            return;
        v4l2::ControlInfo c;
        c.id = ids.front();
        c.name = QString::fromUtf8(text);
        uint32_t n = 0;
        uint32_t choice = SPA_CHOICE_None;
        const spa_pod* v = spa_pod_get_values(&type->value, &n, &choice);
        if (!v || n == 0)
            return;
        if (spa_pod_is_bool(v)) {
            c.type = v4l2::ControlInfo::Type::Boolean;
            c.maximum = 1;
            c.defaultValue = c.value = *static_cast<const int32_t*>(SPA_POD_BODY_CONST(v)) ? 1 : 0;
        } else if (spa_pod_is_int(v)) {
            const auto* values = static_cast<const int32_t*>(SPA_POD_BODY_CONST(v));
            c.defaultValue = c.value = values[0];
            if (choice == SPA_CHOICE_Range && n >= 3) {
                c.minimum = values[1];
                c.maximum = values[2];
            } else if (choice == SPA_CHOICE_Step && n >= 4) {
                c.minimum = values[1];
                c.maximum = values[2];
                c.step = std::max(1, values[3]);
            } else if (choice == SPA_CHOICE_Enum && n >= 2) {
                c.type = v4l2::ControlInfo::Type::Menu;
                for (uint32_t i = 1; i < n; ++i)
                    c.menu.emplace_back(values[i], QString::number(values[i]));
            } else {
                return; // a fixed value is nothing to control
            }
        } else {
            return;
        }
        d->m_controls.push_back(std::move(c));
    }

    void readProps(const spa_pod* param)
    {
        for (v4l2::ControlInfo& c : d->m_controls) {
            const spa_pod_prop* p = spa_pod_find_prop(param, nullptr, c.id);
            if (!p)
                continue;
            int32_t i = 0;
            bool b = false;
            if (spa_pod_get_int(&p->value, &i) == 0)
                c.value = i;
            else if (spa_pod_get_bool(&p->value, &b) == 0)
                c.value = b ? 1 : 0;
        }
    }

    static void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
    {
        auto* c = static_cast<Callbacks*>(data);
        qCDebug(lcPipeWire) << c->d->m_info.description << "stream" << pw_stream_state_as_string(state);
        if (state == PW_STREAM_STATE_STREAMING)
            c->streamed = true;
        else if (state == PW_STREAM_STATE_ERROR)
            c->d->lose(QString::fromUtf8(error ? error : "The stream failed."));
        else if (state == PW_STREAM_STATE_UNCONNECTED && c->streamed)
            c->d->lose(QStringLiteral("The device has gone."));
    }

    static void onParamChanged(void* data, uint32_t id, const spa_pod* param)
    {
        auto* c = static_cast<Callbacks*>(data);
        if (id != SPA_PARAM_Format || !param)
            return;
        uint32_t mediaType = 0;
        uint32_t mediaSubtype = 0;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video)
            return;
        v4l2::CurrentFormat f;
        if (mediaSubtype == SPA_MEDIA_SUBTYPE_raw) {
            spa_video_info_raw raw{};
            if (spa_format_video_raw_parse(param, &raw) < 0)
                return;
            f.fourcc = fourccForSpa(mediaSubtype, raw.format);
            f.size = QSize(int(raw.size.width), int(raw.size.height));
            f.interval = {raw.framerate.denom, raw.framerate.num};
        } else if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
            spa_video_info_mjpg mjpg{};
            if (spa_format_video_mjpg_parse(param, &mjpg) < 0)
                return;
            f.fourcc = V4L2_PIX_FMT_MJPEG;
            f.size = QSize(int(mjpg.size.width), int(mjpg.size.height));
            f.interval = {mjpg.framerate.denom, mjpg.framerate.num};
        }
        c->negotiated = f.fourcc != 0 && !f.size.isEmpty();
        {
            std::lock_guard l(c->d->m_formatMutex);
            c->d->m_streamFormat = f;
            if (c->negotiated)
                c->d->m_format = f;
        }
        // Ask for the buffer header: its sequence numbers show lost frames.
        uint8_t buffer[512];
        spa_pod_builder b{};
        spa_pod_builder_init(&b, buffer, sizeof(buffer));
        const spa_pod* params[2];
        uint32_t n = 0;
        params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
            SPA_PARAM_META_size, SPA_POD_Int(int(sizeof(spa_meta_header)))));
        if (f.fourcc == V4L2_PIX_FMT_MJPEG && c->negotiated) {
            // A compressed frame has no size the format tells; without room
            // for the largest, a producer cuts frames short.
            const int size = std::max(f.size.width() * f.size.height() * 2, 1 << 16);
            params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_size,
                SPA_POD_CHOICE_RANGE_Int(size, size, INT32_MAX)));
        }
        pw_stream_update_params(c->d->m_stream, params, n);
    }

    // The stream's data thread, once per buffer. The buffer goes back to
    // PipeWire before this returns: a producer gets its buffers back one per
    // graph cycle, so a buffer kept past the cycle it came in is one the
    // producer never sees again, and a driving producer that runs out
    // (GStreamer's pipewiresink) waits for ever. The bytes are copied out
    // and converted on the driver's converter thread.
    static void onProcess(void* data)
    {
        auto* c = static_cast<Callbacks*>(data);
        PipeWireDriver* d = c->d;
        pw_buffer* pb = pw_stream_dequeue_buffer(d->m_stream);
        if (!pb)
            return;
        c->copyOut(pb->buffer);
        pw_stream_queue_buffer(d->m_stream, pb);
    }

    void copyOut(spa_buffer* buf)
    {
        if (d->m_lost || !negotiated || buf->n_datas < 1)
            return;
        const spa_data& first = buf->datas[0];
        if (!first.data || !first.chunk)
            return;
        const int64_t arrived = steadyMicros();
        auto* header = static_cast<spa_meta_header*>(spa_buffer_find_meta_data(buf, SPA_META_Header, sizeof(spa_meta_header)));
        uint64_t sequence = d->m_counter++;
        if (header && header->seq != UINT64_MAX)
            sequence = header->seq;
        // A damaged buffer is left out; its sequence gap counts it as lost.
        if ((first.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) ||
            (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)))
            return;
        RawFrame raw = takeSpare();
        raw.sequence = sequence;
        raw.timestampUs = arrived;
        raw.stride = first.chunk->stride > 0 ? uint32_t(first.chunk->stride) : 0;
        {
            std::lock_guard l(d->m_formatMutex);
            raw.format = d->m_streamFormat;
        }
        // Planes in separate blocks are joined the way one block holds them.
        for (uint32_t i = 0; i < buf->n_datas; ++i) {
            const spa_data& p = buf->datas[i];
            if (!p.data || !p.chunk) {
                giveSpare(std::move(raw));
                return;
            }
            const uint32_t o = std::min(p.chunk->offset, p.maxsize);
            const uint32_t n = std::min(p.chunk->size, p.maxsize - o);
            const auto* src = static_cast<const uint8_t*>(p.data) + o;
            raw.bytes.insert(raw.bytes.end(), src, src + n);
        }
        std::lock_guard l(workMutex);
        // A converter that falls behind loses the oldest picture, not the
        // newest; the sequence gap counts it.
        while (pending.size() >= kMaxPending) {
            spare.push_back(std::move(pending.front().bytes));
            pending.pop_front();
        }
        pending.push_back(std::move(raw));
        workReady.notify_one();
    }

    RawFrame takeSpare()
    {
        RawFrame raw;
        std::lock_guard l(workMutex);
        if (!spare.empty()) {
            raw.bytes = std::move(spare.back());
            spare.pop_back();
        }
        raw.bytes.clear();
        return raw;
    }

    void giveSpare(RawFrame&& raw)
    {
        std::lock_guard l(workMutex);
        spare.push_back(std::move(raw.bytes));
    }

    // Converter thread: turns copied buffers into frames for the frame sink, in order.
    void convertLoop()
    {
        for (;;) {
            RawFrame raw;
            {
                std::unique_lock l(workMutex);
                workReady.wait(l, [this] { return stopping || !pending.empty(); });
                if (stopping)
                    return;
                raw = std::move(pending.front());
                pending.pop_front();
            }
            convert(raw);
            giveSpare(std::move(raw));
        }
    }

    void convert(const RawFrame& raw)
    {
        if (d->m_lost)
            return;
        auto frame = std::make_shared<VideoFrame>();
        frame->sequence = raw.sequence;
        frame->timestampUs = raw.timestampUs;
        const v4l2::CurrentFormat& f = raw.format;
        // YUV goes on as it is; the picture is made when something shows it.
        if (!v4l2::FrameConverter::keepYuv(f.fourcc, f.size, raw.stride, raw.bytes.data(), raw.bytes.size(), frame.get())
            && !converter.convert(f.fourcc, f.size, raw.stride, raw.bytes.data(), raw.bytes.size(), &frame->image))
            return;
        if (f.fourcc == V4L2_PIX_FMT_MJPEG)
            frame->jpeg = QByteArray(reinterpret_cast<const char*>(raw.bytes.data()), qsizetype(raw.bytes.size()));
        if (d->m_frames)
            d->m_frames(frame);
    }

    void startConverter()
    {
        stopConverter();
        {
            std::lock_guard l(workMutex);
            stopping = false;
            pending.clear();
        }
        worker = std::thread([this] { convertLoop(); });
    }

    // After the stream is gone: no buffer comes any more.
    void stopConverter()
    {
        if (!worker.joinable())
            return;
        {
            std::lock_guard l(workMutex);
            stopping = true;
        }
        workReady.notify_one();
        worker.join();
        std::lock_guard l(workMutex);
        for (RawFrame& r : pending)
            spare.push_back(std::move(r.bytes));
        pending.clear();
    }

    // Copied buffers waiting for the converter (a few frames' worth: more is
    // only delay) and their memory kept for reuse.
    static constexpr size_t kMaxPending = 3;
    std::mutex workMutex;
    std::condition_variable workReady;
    std::deque<RawFrame> pending;
    std::vector<std::vector<uint8_t>> spare;
    bool stopping = false;
    std::thread worker;

    static constexpr pw_node_events kNodeEvents = {
        .version = PW_VERSION_NODE_EVENTS,
        .info = onNodeInfo,
        .param = onNodeParam,
    };
    static constexpr pw_stream_events kStreamEvents = {
        .version = PW_VERSION_STREAM_EVENTS,
        .destroy = nullptr,
        .state_changed = onStateChanged,
        .control_info = nullptr,
        .io_changed = nullptr,
        .param_changed = onParamChanged,
        .add_buffer = nullptr,
        .remove_buffer = nullptr,
        .process = onProcess,
        .drained = nullptr,
        .command = nullptr,
        .trigger_done = nullptr,
    };
};

PipeWireDriver::PipeWireDriver(SourceInfo info) : m_info(std::move(info)) {}

PipeWireDriver::~PipeWireDriver() { close(); }

QString PipeWireDriver::version() const { return QString::fromUtf8(pw_get_library_version()); }

bool PipeWireDriver::open()
{
    if (m_session)
        return true;
    ensureInitialised();
    const int fd = remoteFd();
    if (fd == kRemoteRefused) {
        m_lastError = portalRefusal();
        return false;
    }
    if (fd == kRemotePending) {
        m_lastError = QStringLiteral("Camera access: the desktop portal has not answered yet.");
        return false;
    }
    auto session = std::make_unique<Session>("lumivark-pw-capture", fd);
    if (!session->connected()) {
        m_lastError = QStringLiteral("The PipeWire service does not answer.");
        return false;
    }
    m_session = std::move(session);
    m_callbacks = std::make_unique<Callbacks>();
    m_callbacks->d = this;
    if (!readNodeParams()) {
        close();
        return false;
    }
    const v4l2::PixelFormatInfo& first = m_formats.front();
    std::lock_guard l(m_formatMutex);
    m_format = {};
    m_format.fourcc = first.fourcc;
    m_format.size = first.sizes.front().size;
    m_format.interval = first.sizes.front().intervals.front();
    return true;
}

bool PipeWireDriver::readNodeParams()
{
    Session::Lock lock(*m_session);
    const auto sources = m_session->sources();
    const auto it = std::find_if(sources.begin(), sources.end(), [this](const SourceInfo& s) {
        return m_info.serial ? s.serial == m_info.serial : s.id == m_info.id;
    });
    if (it == sources.end()) {
        m_lastError = QStringLiteral("The camera is no longer there.");
        return false;
    }
    m_info.id = it->id;
    m_node = static_cast<pw_node*>(pw_registry_bind(m_session->registry(), m_info.id, PW_TYPE_INTERFACE_Node,
                                                    PW_VERSION_NODE, 0));
    if (!m_node)
        return false;
    pw_node_add_listener(m_node, &m_callbacks->nodeHook, &Callbacks::kNodeEvents, m_callbacks.get());
    m_formats.clear();
    m_controls.clear();
    pw_node_enum_params(m_node, 0, SPA_PARAM_EnumFormat, 0, UINT32_MAX, nullptr);
    pw_node_enum_params(m_node, 0, SPA_PARAM_PropInfo, 0, UINT32_MAX, nullptr);
    pw_node_enum_params(m_node, 0, SPA_PARAM_Props, 0, UINT32_MAX, nullptr);
    m_session->roundTrip(3000);
    std::erase_if(m_formats, [](const v4l2::PixelFormatInfo& f) { return f.sizes.empty(); });
    if (m_formats.empty()) {
        m_lastError = QStringLiteral("The camera offers no format this program can show.");
        return false;
    }
    return true;
}

void PipeWireDriver::close()
{
    stop();
    if (m_session) {
        {
            Session::Lock lock(*m_session);
            if (m_node) {
                spa_hook_remove(&m_callbacks->nodeHook);
                pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_node));
                m_node = nullptr;
            }
        }
        m_session.reset();
    }
    m_callbacks.reset();
}

QSize PipeWireDriver::frameSize() const
{
    std::lock_guard l(m_formatMutex);
    return m_format.size;
}

double PipeWireDriver::frameRate() const
{
    std::lock_guard l(m_formatMutex);
    return m_format.interval.rate();
}

v4l2::CurrentFormat PipeWireDriver::currentFormat() const
{
    std::lock_guard l(m_formatMutex);
    return m_format;
}

std::vector<v4l2::PixelFormatInfo> PipeWireDriver::formatChoices() const { return m_formats; }

std::vector<v4l2::ControlInfo> PipeWireDriver::controls() const { return m_controls; }

bool PipeWireDriver::setControl(uint32_t id, int value)
{
    if (!m_session || !m_node)
        return false;
    auto c = std::find_if(m_controls.begin(), m_controls.end(), [id](const auto& x) { return x.id == id; });
    if (c == m_controls.end())
        return false;
    uint8_t buffer[256];
    spa_pod_builder b{};
    spa_pod_builder_init(&b, buffer, sizeof(buffer));
    spa_pod_frame frame{};
    spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
    spa_pod_builder_prop(&b, id, 0);
    if (c->type == v4l2::ControlInfo::Type::Boolean)
        spa_pod_builder_bool(&b, value != 0);
    else
        spa_pod_builder_int(&b, value);
    const auto* pod = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &frame));
    Session::Lock lock(*m_session);
    const int res = pw_node_set_param(m_node, SPA_PARAM_Props, 0, pod);
    if (res >= 0)
        c->value = value;
    return res >= 0;
}

bool PipeWireDriver::applyFormat(uint32_t fourcc, QSize size, v4l2::Interval interval)
{
    if (fourcc != V4L2_PIX_FMT_MJPEG && spaForFourcc(fourcc) == SPA_VIDEO_FORMAT_UNKNOWN)
        return false;
    if (size.isEmpty() || interval.num == 0 || interval.den == 0)
        return false;
    const bool wasRunning = m_stream != nullptr;
    if (wasRunning)
        stop();
    {
        std::lock_guard l(m_formatMutex);
        m_format = {};
        m_format.fourcc = fourcc;
        m_format.size = size;
        m_format.interval = interval;
    }
    if (wasRunning && !connectStream()) {
        if (m_errors)
            m_errors(QStringLiteral("The device does not stream in the new format."));
        return false;
    }
    return true;
}

bool PipeWireDriver::start(FrameSink frames, ErrorSink errors)
{
    if (!m_session)
        return false;
    stop();
    m_frames = std::move(frames);
    m_errors = std::move(errors);
    return connectStream();
}

bool PipeWireDriver::connectStream()
{
    const v4l2::CurrentFormat want = currentFormat();
    Session::Lock lock(*m_session);
    if (m_session->broken()) {
        m_lastError = QStringLiteral("The PipeWire service has gone.");
        return false;
    }
    m_lost = false;
    m_counter = 0;
    m_callbacks->streamed = false;
    m_callbacks->negotiated = false;
    m_session->setNodeRemoved([this](uint32_t id) {
        if (id == m_info.id)
            lose(QStringLiteral("The device has gone."));
    });
    m_session->setBroken([this](const QString& reason) { lose(reason); });

    // A source nobody streams from may still hold the buffers of its last
    // consumer: those that consumer never gave back, and those it queued
    // while paused. A producer that waits for a free buffer before it drives
    // the graph (GStreamer's pipewiresink) then never sends again. Suspended,
    // it negotiates anew and gets fresh buffers, as the session manager does
    // with it after a few idle seconds; one in use by others is left alone.
    if (m_callbacks->nodeState == PW_NODE_STATE_IDLE) {
        uint8_t command[64];
        spa_pod_builder cb{};
        spa_pod_builder_init(&cb, command, sizeof(command));
        const auto* suspend = static_cast<const spa_command*>(
            spa_pod_builder_add_object(&cb, SPA_TYPE_COMMAND_Node, SPA_NODE_COMMAND_Suspend));
        pw_node_send_command(m_node, suspend);
        m_session->roundTrip(1000);
    }
    pw_properties* props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Camera",
                          PW_KEY_NODE_NAME, "lumivark", nullptr);
    pw_properties_setf(props, PW_KEY_TARGET_OBJECT, "%llu", static_cast<unsigned long long>(m_info.serial));
    m_stream = pw_stream_new(m_session->core(), "lumivark-capture", props);
    if (!m_stream) {
        m_lastError = QStringLiteral("PipeWire refused a capture stream.");
        return false;
    }
    pw_stream_add_listener(m_stream, &m_callbacks->streamHook, &Callbacks::kStreamEvents, m_callbacks.get());

    uint8_t buffer[1024];
    spa_pod_builder b{};
    spa_pod_builder_init(&b, buffer, sizeof(buffer));
    spa_rectangle size{uint32_t(want.size.width()), uint32_t(want.size.height())};
    spa_fraction rate{want.interval.den, want.interval.num};
    const spa_pod* params[1];
    if (want.fourcc == V4L2_PIX_FMT_MJPEG) {
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
            SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_mjpg), SPA_FORMAT_VIDEO_size,
            SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    } else {
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
            SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_Id(spaForFourcc(want.fourcc)), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    }
    // Buffers are handled on the data thread, within the graph cycle they
    // come in (see Callbacks::onProcess).
    const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                       PW_STREAM_FLAG_DONT_RECONNECT | PW_STREAM_FLAG_RT_PROCESS);
    m_callbacks->startConverter();
    if (pw_stream_connect(m_stream, PW_DIRECTION_INPUT, PW_ID_ANY, flags, params, 1) < 0) {
        m_lastError = QStringLiteral("The capture stream does not connect.");
        destroyStream();
        return false;
    }
    return true;
}

void PipeWireDriver::destroyStream()
{
    if (!m_stream)
        return;
    spa_hook_remove(&m_callbacks->streamHook);
    pw_stream_disconnect(m_stream);
    pw_stream_destroy(m_stream);
    m_stream = nullptr;
    m_callbacks->stopConverter();
}

void PipeWireDriver::stop()
{
    if (!m_session)
        return;
    Session::Lock lock(*m_session);
    destroyStream();
    m_session->setNodeRemoved(nullptr);
    m_session->setBroken(nullptr);
}

void PipeWireDriver::lose(const QString& reason)
{
    if (!m_stream || m_lost.exchange(true))
        return;
    qCWarning(lcPipeWire).noquote() << m_info.description << reason;
    if (m_errors)
        m_errors(reason);
}

bool PipeWireDriver::showSourceDialog(QWidget* parent)
{
    DeviceDialogs* ui = deviceDialogs();
    if (!m_session || !ui)
        return false;
    ui->cameraSource(m_controls, [this](uint32_t id, int v) { return setControl(id, v); }, parent);
    return true;
}

bool PipeWireDriver::showFormatDialog(QWidget* parent)
{
    DeviceDialogs* ui = deviceDialogs();
    if (!m_session || !ui)
        return false;
    if (const auto c = ui->cameraFormat(formatChoices(), currentFormat(), parent))
        applyFormat(c->fourcc, c->size, c->interval);
    return true;
}

} // namespace lv::pipewire
