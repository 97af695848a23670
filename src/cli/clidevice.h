#pragma once

#include "capture/videoframe.h"
#include "cli/cliargs.h"
#include "cli/cliparams.h"
#include "image/stamping.h"

#include <QImage>

// The capture commands' device steps: which device, opened how, its first
// frame, and the stamps on the pictures. Each runs the event loop itself
// until it has its answer. Main thread only.
namespace lv {
class CaptureSession;
}

namespace lv::cli {

// The stamps as the options and the parameters file ask.
StampSettings stampsOf(const Request& r, const Settings& s);
// frame with the stamps drawn on it, as picture number imageNumber.
QImage stamped(const QImage& frame, const StampSettings& stamps, int imageNumber);

// Runs the event loop until the device list is complete (in a sandbox, the
// camera portal has answered), so a device index means what it meant when saved.
void awaitDeviceList();
// Opens the device of the options with the size, rate and pattern they ask;
// false (the reason on stderr) when it cannot.
bool openDevice(CaptureSession& session, const Request& r, const Settings& s, int rate = 0);
// Runs the event loop until the session's first frame (or a give-up after
// 10 seconds, or a lost device). Returns the frame, null on failure.
FramePtr firstFrame(CaptureSession& session);

} // namespace lv::cli
