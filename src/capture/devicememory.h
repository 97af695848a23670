#pragma once

#include "capture/capturedriver.h"

namespace lv::devicememory {

// What the user set on each capture device (format, controls, display and
// capture records), kept in the settings store under the device's identity
// so it outlives a reconnect and a restart. UI thread only.
CaptureDriver::Settings load(const QString& identity);
void save(const QString& identity, const CaptureDriver::Settings& settings);

} // namespace lv::devicememory
