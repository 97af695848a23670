#pragma once

#include <QString>

namespace lv::pipewire {

inline constexpr int kRemoteDirect = -1;  // not sandboxed: connect to the user's PipeWire
inline constexpr int kRemoteRefused = -2; // sandboxed and the portal said no (or did not answer)

// True inside a Flatpak sandbox (or LUMIVARK_SANDBOXED=1, for tests).
bool sandboxed();

// The PipeWire remote to use: kRemoteDirect outside a sandbox; inside one,
// a file descriptor the camera portal hands out after granting access
// (the caller owns it), or kRemoteRefused. Waits for the portal at most a
// few seconds; never blocks on a missing portal.
int remoteFd();

// Why the last remoteFd() gave kRemoteRefused, for the status line.
QString portalRefusal();

// True when the portal has said no this run (portalRefusal() says why).
bool portalRefused();

// The portal's answer is asked once per run; this asks again next time.
void forgetPortalAnswer();

} // namespace lv::pipewire
