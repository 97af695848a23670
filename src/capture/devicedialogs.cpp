#include "capture/devicedialogs.h"

namespace lv {

namespace {
DeviceDialogs* g_deviceDialogs = nullptr;
} // namespace

DeviceDialogs* deviceDialogs() { return g_deviceDialogs; }
void setDeviceDialogs(DeviceDialogs* dialogs) { g_deviceDialogs = dialogs; }

} // namespace lv
