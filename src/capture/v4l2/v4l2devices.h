#pragma once

#include "capture/capturedriver.h"

#include <QString>
#include <memory>
#include <vector>

namespace lv::v4l2 {

struct DeviceInfo {
    QString path;    // /dev/videoN
    QString card;    // the driver's name for the menu
    QString version; // driver name and version
};

// Every /dev/video* node with the video-capture capability, in node order.
std::vector<DeviceInfo> listDevices();

std::unique_ptr<CaptureDriver> createDriver(const DeviceInfo& info);

} // namespace lv::v4l2
