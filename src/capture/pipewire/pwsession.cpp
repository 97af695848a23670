#include "capture/pipewire/pwsession.h"

#include "capture/pipewire/pwportal.h"

#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <pipewire/pipewire.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPipeWire, "lumivark.pipewire")

namespace lv::pipewire {

void ensureInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

namespace {

QString prop(const spa_dict* props, const char* key)
{
    const char* v = props ? spa_dict_lookup(props, key) : nullptr;
    return v ? QString::fromUtf8(v) : QString();
}

} // namespace

struct Session::Listeners {
    spa_hook core{};
    spa_hook registry{};

    static void onDone(void* data, uint32_t id, int seq)
    {
        auto* s = static_cast<Session*>(data);
        if (id == PW_ID_CORE && seq == s->m_pendingSeq) {
            s->m_syncDone = true;
            pw_thread_loop_signal(s->m_loop, false);
        }
    }

    static void onError(void* data, uint32_t id, int, int res, const char* message)
    {
        auto* s = static_cast<Session*>(data);
        // Only the connection itself failing ends the session; a node that
        // lacks a parameter or has just gone is no news.
        if (id != PW_ID_CORE || res != -EPIPE || s->m_isBroken) {
            qCDebug(lcPipeWire) << "error on object" << id << ":" << message;
            return;
        }
        qCWarning(lcPipeWire) << "connection error:" << message;
        s->m_isBroken = true;
        pw_thread_loop_signal(s->m_loop, false);
        if (s->m_broken)
            s->m_broken(QStringLiteral("The PipeWire service has gone."));
        if (s->m_sourcesChanged)
            s->m_sourcesChanged();
    }

    static void onGlobal(void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict* props)
    {
        auto* s = static_cast<Session*>(data);
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 || prop(props, PW_KEY_MEDIA_CLASS) != u"Video/Source")
            return;
        SourceInfo info;
        info.id = id;
        info.serial = prop(props, PW_KEY_OBJECT_SERIAL).toULongLong();
        info.name = prop(props, PW_KEY_NODE_NAME);
        info.description = prop(props, PW_KEY_NODE_DESCRIPTION);
        if (info.description.isEmpty())
            info.description = prop(props, PW_KEY_NODE_NICK);
        if (info.description.isEmpty())
            info.description = info.name;
        info.devicePath = prop(props, "api.v4l2.path");
        const QString objectPath = prop(props, PW_KEY_OBJECT_PATH);
        if (info.devicePath.isEmpty() && objectPath.startsWith(u"v4l2:"))
            info.devicePath = objectPath.mid(5);
        s->m_sources.push_back(std::move(info));
        if (s->m_sourcesChanged)
            s->m_sourcesChanged();
    }

    static void onGlobalRemove(void* data, uint32_t id)
    {
        auto* s = static_cast<Session*>(data);
        const auto n = std::erase_if(s->m_sources, [id](const SourceInfo& i) { return i.id == id; });
        if (s->m_nodeRemoved)
            s->m_nodeRemoved(id);
        if (n && s->m_sourcesChanged)
            s->m_sourcesChanged();
    }

    static constexpr pw_core_events kCoreEvents = {
        .version = PW_VERSION_CORE_EVENTS,
        .info = nullptr,
        .done = onDone,
        .ping = nullptr,
        .error = onError,
        .remove_id = nullptr,
        .bound_id = nullptr,
        .add_mem = nullptr,
        .remove_mem = nullptr,
    };
    static constexpr pw_registry_events kRegistryEvents = {
        .version = PW_VERSION_REGISTRY_EVENTS,
        .global = onGlobal,
        .global_remove = onGlobalRemove,
    };
};

Session::Session(const char* loopName, int remoteFd, int timeoutMs) : m_listeners(std::make_unique<Listeners>())
{
    ensureInitialised();
    m_loop = pw_thread_loop_new(loopName, nullptr);
    if (!m_loop) {
        if (remoteFd >= 0)
            ::close(remoteFd);
        return;
    }
    m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
    if (!m_context || pw_thread_loop_start(m_loop) < 0) {
        if (remoteFd >= 0)
            ::close(remoteFd);
        return;
    }
    Lock lock(*this);
    // Connecting to a missing socket fails at once; the round trip bounds
    // the wait for a daemon that accepted but does not answer.
    m_core = remoteFd >= 0 ? pw_context_connect_fd(m_context, remoteFd, nullptr, 0)
                           : pw_context_connect(m_context, nullptr, 0);
    if (!m_core)
        return;
    pw_core_add_listener(m_core, &m_listeners->core, &Listeners::kCoreEvents, this);
    m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(m_registry, &m_listeners->registry, &Listeners::kRegistryEvents, this);
    if (!roundTrip(timeoutMs)) {
        qCInfo(lcPipeWire) << "no answer from the PipeWire service";
        spa_hook_remove(&m_listeners->registry);
        spa_hook_remove(&m_listeners->core);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_registry));
        m_registry = nullptr;
        pw_core_disconnect(m_core);
        m_core = nullptr;
    }
}

Session::~Session()
{
    if (m_loop) {
        {
            Lock lock(*this);
            m_sourcesChanged = nullptr;
            m_nodeRemoved = nullptr;
            m_broken = nullptr;
            if (m_registry) {
                spa_hook_remove(&m_listeners->registry);
                pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_registry));
            }
            if (m_core) {
                spa_hook_remove(&m_listeners->core);
                pw_core_disconnect(m_core);
            }
        }
        pw_thread_loop_stop(m_loop);
    }
    if (m_context)
        pw_context_destroy(m_context);
    if (m_loop)
        pw_thread_loop_destroy(m_loop);
}

bool Session::roundTrip(int timeoutMs)
{
    if (!m_core || m_isBroken)
        return false;
    m_syncDone = false;
    m_pendingSeq = pw_core_sync(m_core, PW_ID_CORE, 0);
    timespec deadline{};
    pw_thread_loop_get_time(m_loop, &deadline, int64_t(timeoutMs) * SPA_NSEC_PER_MSEC);
    while (!m_syncDone && !m_isBroken) {
        if (pw_thread_loop_timed_wait_full(m_loop, &deadline) != 0)
            break;
    }
    return m_syncDone && !m_isBroken;
}

std::vector<SourceInfo> Session::sources() const { return m_sources; }

Session::Lock::Lock(const Session& s) : m_loop(s.m_loop) { pw_thread_loop_lock(m_loop); }
Session::Lock::~Lock() { pw_thread_loop_unlock(m_loop); }

std::vector<SourceInfo> listSources(int timeoutMs)
{
    const int fd = remoteFd();
    if (fd == kRemoteRefused || fd == kRemotePending)
        return {};
    Session s("lumivark-pw-list", fd, timeoutMs);
    if (!s.connected())
        return {};
    Session::Lock lock(s);
    return s.sources();
}

} // namespace lv::pipewire
