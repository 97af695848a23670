#include "capture/v4l2/v4l2devices.h"

#include "capture/v4l2/v4l2device.h"
#include "capture/v4l2/v4l2driver.h"

namespace lv::v4l2 {

std::vector<DeviceInfo> listDevices()
{
    std::vector<DeviceInfo> out;
    Io& sys = io();
    for (const QString& path : sys.deviceNodes()) {
        DeviceInfo info;
        info.path = path;
        if (probeDevice(sys, path, &info.card, &info.version))
            out.push_back(std::move(info));
    }
    return out;
}

std::unique_ptr<CaptureDriver> createDriver(const DeviceInfo& info)
{
    return std::make_unique<V4l2Driver>(info);
}

} // namespace lv::v4l2
