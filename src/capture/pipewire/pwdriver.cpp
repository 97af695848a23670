#include "capture/pipewire/pwdriver.h"

#include "capture/pipewire/pwformats.h"
#include "capture/pipewire/pwportal.h"
#include "capture/devicedialogs.h"
#include "capture/v4l2/frameconverter.h"

#include <QLoggingCategory>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <thread>
#include <linux/videodev2.h>
#include <pipewire/pipewire.h>
#include <spa/node/command.h>
#include <spa/pod/builder.h>

Q_DECLARE_LOGGING_CATEGORY(lcPipeWire)

namespace lv::pipewire {

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
            addEnumFormat(c->d->m_formats, param);
        else if (id == SPA_PARAM_PropInfo)
            addPropInfo(c->d->m_controls, param);
        else if (id == SPA_PARAM_Props)
            readProps(c->d->m_controls, param);
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
        const std::optional<v4l2::CurrentFormat> agreed = agreedFormat(param);
        if (!agreed)
            return;
        const v4l2::CurrentFormat& f = *agreed;
        c->negotiated = f.fourcc != 0 && !f.size.isEmpty();
        {
            std::lock_guard l(c->d->m_formatMutex);
            c->d->m_streamFormat = f;
            if (c->negotiated)
                c->d->m_format = f;
        }
        // The buffer header (its sequence numbers show lost frames) and room for a whole frame.
        uint8_t buffer[512];
        spa_pod_builder b{};
        spa_pod_builder_init(&b, buffer, sizeof(buffer));
        const spa_pod* params[2];
        const uint32_t n = bufferParams(b, f, c->negotiated, params);
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
    const spa_pod* pod = controlValue(b, id, c->type == v4l2::ControlInfo::Type::Boolean, value);
    Session::Lock lock(*m_session);
    const int res = pw_node_set_param(m_node, SPA_PARAM_Props, 0, pod);
    if (res >= 0)
        c->value = value;
    return res >= 0;
}

bool PipeWireDriver::applyFormat(uint32_t fourcc, QSize size, v4l2::Interval interval)
{
    if (!canRequest(fourcc))
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
    const spa_pod* params[1] = {formatRequest(b, want)};
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
