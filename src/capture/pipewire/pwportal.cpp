#include "capture/pipewire/pwportal.h"

#include <QFile>

namespace lv::pipewire {

bool sandboxed()
{
    const QString forced = qEnvironmentVariable("LUMIVARK_SANDBOXED");
    if (!forced.isEmpty())
        return forced == u"1";
    return QFile::exists(QStringLiteral("/.flatpak-info"));
}

int remoteFd()
{
    return sandboxed() ? kRemoteRefused : kRemoteDirect;
}

QString portalRefusal() { return QStringLiteral("Camera access through the desktop portal is not available."); }

} // namespace lv::pipewire
