#include "capture/v4l2/v4l2devices.h"

namespace lv::v4l2 {

// Placeholder until the V4L2 back end lands: no cameras are listed.
std::vector<DeviceInfo> listDevices() { return {}; }

std::unique_ptr<CaptureDriver> createDriver(const DeviceInfo&) { return nullptr; }

} // namespace lv::v4l2
