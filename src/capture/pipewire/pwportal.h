#pragma once

#include <QObject>
#include <QString>

namespace lv::pipewire {

inline constexpr int kRemoteDirect = -1;  // not sandboxed: connect to the user's PipeWire
inline constexpr int kRemoteRefused = -2; // sandboxed and the portal said no (or did not answer)
inline constexpr int kRemotePending = -3; // sandboxed and the portal's answer is still awaited

// True inside a Flatpak sandbox (or LUMIVARK_SANDBOXED=1, for tests).
bool sandboxed();

// Says when the camera portal has answered an access request. Lives on the
// application's thread, which asks the portal and hears its answer there
// (so that thread must run its event loop for an answer to come).
class PortalAccess final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    // The portal granted or refused access, or did not answer in time.
    void answered();
};
PortalAccess& portalAccess();

// The PipeWire remote to use: kRemoteDirect outside a sandbox; inside one,
// a file descriptor the camera portal hands out after granting access (the
// caller owns it), kRemoteRefused, or kRemotePending while the answer is
// awaited. Never waits for the user: the first call asks the portal and
// returns kRemotePending; portalAccess().answered follows.
int remoteFd();

// True while the portal has been asked and has not answered.
bool portalPending();

// Why the last remoteFd() gave kRemoteRefused, for the status line.
QString portalRefusal();

// True when the portal has said no this run (portalRefusal() says why).
bool portalRefused();

// The portal's answer is asked once per run; this asks again next time.
void forgetPortalAnswer();

} // namespace lv::pipewire
