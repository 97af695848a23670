#include "capture/pipewire/pwportal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTimer>
#include <mutex>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcPipeWire)

namespace lv::pipewire {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kCamera = QStringLiteral("org.freedesktop.portal.Camera");

int timeoutMs()
{
    bool ok = false;
    const int t = qEnvironmentVariableIntValue("LUMIVARK_PORTAL_TIMEOUT_MS", &ok);
    // The portal may show the user a question: give them time to answer.
    return ok && t > 0 ? t : 30000;
}

QDBusMessage cameraCall(const QString& method, const QVariantMap& options)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kCamera, method);
    m << options;
    return m;
}

std::mutex g_mutex;
enum class Access { Unknown, Pending, Granted, Refused };
Access g_access = Access::Unknown;
QString g_refusal;
// Counts forgetPortalAnswer() calls: the answer to an earlier request is stale.
uint64_t g_generation = 0;

} // namespace

// One access request, on the application's thread: asks whether there is a
// camera, asks for access, and waits for the Response signal of the request
// object (the user may be asked), or gives up after the portal timeout.
// Nothing in it blocks; it deletes itself once answered.
class PortalRequest final : public QObject {
    Q_OBJECT
public:
    explicit PortalRequest(uint64_t generation) : m_generation(generation)
    {
        m_timeout.setSingleShot(true);
        connect(&m_timeout, &QTimer::timeout, this,
                [this] { finish(QStringLiteral("Camera access: no answer from the desktop portal.")); });
    }

    void start()
    {
        if (!m_bus.isConnected()) {
            finish(QStringLiteral("Camera access: no session bus to reach the desktop portal."));
            return;
        }
        QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << kCamera << QStringLiteral("IsCameraPresent");
        whenReplied(get, [this](const QDBusMessage& present) {
            if (present.type() == QDBusMessage::ErrorMessage)
                finish(QStringLiteral("Camera access: the desktop portal does not answer (%1).").arg(present.errorMessage()));
            else if (present.arguments().isEmpty() || !present.arguments().front().value<QDBusVariant>().variant().toBool())
                finish(QStringLiteral("Camera access: the desktop portal sees no camera."));
            else
                askAccess();
        });
    }

public slots:
    void onResponse(uint code, const QVariantMap&)
    {
        finish(code == 0 ? QString() : QStringLiteral("Camera access was refused."));
    }

private:
    void askAccess()
    {
        const QString token = QStringLiteral("lumivark%1").arg(QRandomGenerator::global()->generate());
        QString sender = m_bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        m_request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
        // Listen before asking: the answer may come at once.
        m_listening = m_bus.connect(kService, m_request, QStringLiteral("org.freedesktop.portal.Request"),
                                    QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        m_timeout.start(timeoutMs());
        whenReplied(cameraCall(QStringLiteral("AccessCamera"), {{QStringLiteral("handle_token"), token}}),
                    [this](const QDBusMessage& reply) {
                        if (reply.type() == QDBusMessage::ErrorMessage)
                            finish(QStringLiteral("Camera access: the desktop portal refused the request (%1).")
                                       .arg(reply.errorMessage()));
                    });
    }

    template <typename F>
    void whenReplied(const QDBusMessage& call, F handle)
    {
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, handle] {
            watcher->deleteLater();
            handle(watcher->reply());
        });
    }

    void finish(const QString& refusal)
    {
        if (m_done)
            return;
        m_done = true;
        m_timeout.stop();
        if (m_listening)
            m_bus.disconnect(kService, m_request, QStringLiteral("org.freedesktop.portal.Request"),
                             QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        deleteLater();
        {
            std::lock_guard l(g_mutex);
            if (m_generation != g_generation)
                return;
            g_access = refusal.isEmpty() ? Access::Granted : Access::Refused;
            g_refusal = refusal;
        }
        if (!refusal.isEmpty())
            qCWarning(lcPipeWire).noquote() << refusal;
        emit portalAccess().answered();
    }

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    const uint64_t m_generation;
    QString m_request;
    QTimer m_timeout;
    bool m_listening = false;
    bool m_done = false;
};

PortalAccess& portalAccess()
{
    static PortalAccess* access = [] {
        auto* a = new PortalAccess;
        if (QCoreApplication::instance())
            a->moveToThread(QCoreApplication::instance()->thread());
        return a;
    }();
    return *access;
}

bool sandboxed()
{
    const QString forced = qEnvironmentVariable("LUMIVARK_SANDBOXED");
    if (!forced.isEmpty())
        return forced == u"1";
    return QFile::exists(QStringLiteral("/.flatpak-info"));
}

int remoteFd()
{
    if (!sandboxed())
        return kRemoteDirect;
    std::unique_lock l(g_mutex);
    if (g_access == Access::Unknown) {
        g_access = Access::Pending;
        const uint64_t generation = g_generation;
        // Always queued, so the answer never comes before the caller has
        // heard that it is pending.
        QMetaObject::invokeMethod(
            &portalAccess(), [generation] { (new PortalRequest(generation))->start(); }, Qt::QueuedConnection);
    }
    if (g_access == Access::Pending)
        return kRemotePending;
    if (g_access == Access::Refused)
        return kRemoteRefused;
    l.unlock();
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(cameraCall(QStringLiteral("OpenPipeWireRemote"), {}), QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty()) {
        std::lock_guard relock(g_mutex);
        g_refusal = QStringLiteral("Camera access: the desktop portal hands out no PipeWire connection (%1).")
                        .arg(reply.errorMessage());
        return kRemoteRefused;
    }
    const QDBusUnixFileDescriptor fd = reply.arguments().front().value<QDBusUnixFileDescriptor>();
    // The message owns its descriptor; the session gets a copy of its own.
    const int own = fd.isValid() ? ::dup(fd.fileDescriptor()) : -1;
    if (own < 0) {
        std::lock_guard relock(g_mutex);
        g_refusal = QStringLiteral("Camera access: the desktop portal hands out no PipeWire connection.");
        return kRemoteRefused;
    }
    return own;
}

QString portalRefusal()
{
    std::lock_guard l(g_mutex);
    return g_refusal.isEmpty() ? QStringLiteral("Camera access through the desktop portal is not available.")
                               : g_refusal;
}

bool portalPending()
{
    std::lock_guard l(g_mutex);
    return g_access == Access::Pending;
}

bool portalRefused()
{
    std::lock_guard l(g_mutex);
    return g_access == Access::Refused;
}

void forgetPortalAnswer()
{
    std::lock_guard l(g_mutex);
    g_access = Access::Unknown;
    g_refusal.clear();
    ++g_generation;
}

} // namespace lv::pipewire

#include "pwportal.moc"
