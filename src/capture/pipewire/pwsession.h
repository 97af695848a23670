#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_registry;

namespace lv::pipewire {

// One "Video/Source" node of the PipeWire graph.
struct SourceInfo {
    uint32_t id = 0;
    uint64_t serial = 0;
    QString description; // node.description, else node.nick, else node.name
    QString name;        // node.name
    QString devicePath;  // the V4L2 node behind it ("/dev/video0") when PipeWire says so
};

// A connection to the PipeWire daemon on a thread loop of its own: loop,
// context and core, torn down in order. Connecting waits for the daemon's
// first answer at most timeoutMs; without a daemon (or with a refused
// remote) connected() is false and nothing waits.
//
// Threads: the owner's thread creates and destroys it; callbacks run on the
// loop's thread. Hold lock() around any call into PipeWire objects.
class Session {
public:
    // remoteFd >= 0: a remote handed out by the camera portal (taken over).
    explicit Session(const char* loopName, int remoteFd = -1, int timeoutMs = 2000);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool connected() const { return m_core != nullptr; }
    pw_thread_loop* loop() const { return m_loop; }
    pw_core* core() const { return m_core; }
    pw_registry* registry() const { return m_registry; }

    // Waits (loop locked by the caller) until the daemon has answered
    // everything sent so far; false on timeout or a broken connection.
    bool roundTrip(int timeoutMs);

    // The video sources the registry knows (the loop locked by the caller).
    std::vector<SourceInfo> sources() const;

    // Called on the loop thread when a source comes or goes, and when the
    // daemon goes away (loop locked).
    void setSourcesChanged(std::function<void()> cb) { m_sourcesChanged = std::move(cb); }
    void setNodeRemoved(std::function<void(uint32_t id)> cb) { m_nodeRemoved = std::move(cb); }
    void setBroken(std::function<void(const QString&)> cb) { m_broken = std::move(cb); }
    bool broken() const { return m_isBroken; }

    class Lock {
    public:
        explicit Lock(const Session& s);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pw_thread_loop* m_loop;
    };

private:
    struct Listeners;
    friend struct Listeners;

    pw_thread_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    pw_core* m_core = nullptr;
    pw_registry* m_registry = nullptr;
    std::unique_ptr<Listeners> m_listeners;
    std::vector<SourceInfo> m_sources;
    int m_pendingSeq = -1;
    bool m_syncDone = false;
    bool m_isBroken = false;
    std::function<void()> m_sourcesChanged;
    std::function<void(uint32_t)> m_nodeRemoved;
    std::function<void(const QString&)> m_broken;
};

// Connects, reads the registry and disconnects: the video sources of the
// user's PipeWire (through the portal's remote when sandboxed). Empty when no
// daemon answers within timeoutMs, and while the camera portal's answer is
// awaited (portalPending()).
std::vector<SourceInfo> listSources(int timeoutMs = 1500);

// Calls pw_init once per process.
void ensureInitialised();

} // namespace lv::pipewire
