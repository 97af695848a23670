#include "capture/devicewatcher.h"

#include "capture/pipewire/pwportal.h"
#include "capture/pipewire/pwsession.h"

#include <QDir>
#include <QFileSystemWatcher>

namespace lv {

DeviceWatcher::DeviceWatcher(QObject* parent, const QString& devDir) : QObject(parent), m_devDir(devDir)
{
    // Nodes and sources come in bursts (a camera brings several nodes);
    // one notice after things settle.
    m_settle.setSingleShot(true);
    m_settle.setInterval(300);
    connect(&m_settle, &QTimer::timeout, this, &DeviceWatcher::changed);

    m_nodes = videoNodes();
    m_fs = new QFileSystemWatcher(this);
    m_fs->addPath(m_devDir);
    connect(m_fs, &QFileSystemWatcher::directoryChanged, this, &DeviceWatcher::onDirectoryChanged);

    // Without a PipeWire service, look again now and then: it may start later.
    m_retry.setInterval(5000);
    connect(&m_retry, &QTimer::timeout, this, &DeviceWatcher::connectPipeWire);
    connectPipeWire();
}

// The session goes first: its thread may still post to the timers.
DeviceWatcher::~DeviceWatcher() { m_session.reset(); }

QStringList DeviceWatcher::videoNodes() const
{
    return QDir(m_devDir).entryList({QStringLiteral("video*")}, QDir::System | QDir::Files | QDir::Dirs |
                                                                     QDir::NoDotAndDotDot, QDir::Name);
}

void DeviceWatcher::onDirectoryChanged()
{
    const QStringList now = videoNodes();
    if (now == m_nodes)
        return;
    m_nodes = now;
    m_settle.start();
}

void DeviceWatcher::connectPipeWire()
{
    m_session.reset();
    const int fd = pipewire::remoteFd();
    if (fd == pipewire::kRemoteRefused) {
        m_retry.stop();
        return;
    }
    if (fd == pipewire::kRemotePending) {
        // The portal's answer decides; the device list changes with it
        // either way (the portal's cameras come, or the reason to show).
        m_retry.stop();
        connect(&pipewire::portalAccess(), &pipewire::PortalAccess::answered, this,
                [this] {
                    connectPipeWire();
                    m_settle.start();
                },
                Qt::SingleShotConnection);
        return;
    }
    auto session = std::make_unique<pipewire::Session>("lumivark-pw-watch", fd, 1000);
    if (!session->connected()) {
        m_retry.start();
        return;
    }
    m_retry.stop();
    {
        pipewire::Session::Lock lock(*session);
        // Loop thread: hand over to ours.
        session->setSourcesChanged([this] { QMetaObject::invokeMethod(&m_settle, qOverload<>(&QTimer::start)); });
        session->setBroken([this](const QString&) {
            QMetaObject::invokeMethod(this, [this] { connectPipeWire(); m_settle.start(); }, Qt::QueuedConnection);
        });
    }
    m_session = std::move(session);
}

} // namespace lv
