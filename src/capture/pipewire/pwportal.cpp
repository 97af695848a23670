#include "capture/pipewire/pwportal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <mutex>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcPipeWire)

namespace lv::pipewire {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kCamera = QStringLiteral("org.freedesktop.portal.Camera");

std::mutex g_mutex;
enum class Access { Unknown, Granted, Refused };
Access g_access = Access::Unknown;
QString g_refusal;

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

} // namespace

// Receives the portal's answer to one access request on the asking thread.
class PortalResponse final : public QObject {
    Q_OBJECT
public:
    uint response = 2;
    bool answered = false;
public slots:
    void onResponse(uint code, const QVariantMap&)
    {
        response = code;
        answered = true;
        emit done();
    }
signals:
    void done();
};

namespace {

// Asks the portal for camera access; runs on a thread of its own, so the
// wait for the user's answer neither blocks nor re-enters the caller's loop.
QString askAccess()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("Camera access: no session bus to reach the desktop portal.");

    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kCamera << QStringLiteral("IsCameraPresent");
    const QDBusMessage present = bus.call(get, QDBus::Block, 5000);
    if (present.type() == QDBusMessage::ErrorMessage)
        return QStringLiteral("Camera access: the desktop portal does not answer (%1).").arg(present.errorMessage());
    if (present.arguments().isEmpty() || !present.arguments().front().value<QDBusVariant>().variant().toBool())
        return QStringLiteral("Camera access: the desktop portal sees no camera.");

    const QString token = QStringLiteral("lumivark%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    PortalResponse answer;
    QEventLoop loop;
    QObject::connect(&answer, &PortalResponse::done, &loop, &QEventLoop::quit);
    // Listen before asking: the answer may come at once.
    bus.connect(kService, request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                &answer, SLOT(onResponse(uint, QVariantMap)));
    const QDBusMessage reply = bus.call(cameraCall(QStringLiteral("AccessCamera"), {{QStringLiteral("handle_token"), token}}),
                                        QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        bus.disconnect(kService, request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                       &answer, SLOT(onResponse(uint, QVariantMap)));
        return QStringLiteral("Camera access: the desktop portal refused the request (%1).").arg(reply.errorMessage());
    }
    QTimer::singleShot(timeoutMs(), &loop, &QEventLoop::quit);
    if (!answer.answered)
        loop.exec();
    bus.disconnect(kService, request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                   &answer, SLOT(onResponse(uint, QVariantMap)));
    if (!answer.answered)
        return QStringLiteral("Camera access: no answer from the desktop portal.");
    if (answer.response != 0)
        return QStringLiteral("Camera access was refused.");
    return {};
}

} // namespace

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
    std::lock_guard l(g_mutex);
    if (g_access == Access::Unknown) {
        QString refusal;
        QThread* asker = QThread::create([&refusal] { refusal = askAccess(); });
        asker->start();
        asker->wait();
        delete asker;
        g_access = refusal.isEmpty() ? Access::Granted : Access::Refused;
        g_refusal = refusal;
        if (!refusal.isEmpty())
            qCWarning(lcPipeWire).noquote() << refusal;
    }
    if (g_access == Access::Refused)
        return kRemoteRefused;
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(cameraCall(QStringLiteral("OpenPipeWireRemote"), {}), QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty()) {
        g_refusal = QStringLiteral("Camera access: the desktop portal hands out no PipeWire connection (%1).")
                        .arg(reply.errorMessage());
        return kRemoteRefused;
    }
    const QDBusUnixFileDescriptor fd = reply.arguments().front().value<QDBusUnixFileDescriptor>();
    // The message owns its descriptor; the session gets a copy of its own.
    const int own = fd.isValid() ? ::dup(fd.fileDescriptor()) : -1;
    if (own < 0) {
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
}

} // namespace lv::pipewire

#include "pwportal.moc"
