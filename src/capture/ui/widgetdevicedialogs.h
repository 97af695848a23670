#pragma once

#include "capture/devicedialogs.h"

namespace lv {

// The device and recorder dialogs as Qt widgets; the program with windows
// registers one at start-up (setDeviceDialogs).
class WidgetDeviceDialogs final : public DeviceDialogs {
public:
    std::optional<TestPatternSettings> testPatternSource(const TestPatternSettings& current,
                                                         QWidget* parent) override;
    std::optional<TestPatternSettings> testPatternFormat(const TestPatternSettings& current,
                                                         QWidget* parent) override;
    void cameraSource(const std::vector<v4l2::ControlInfo>& controls,
                      const std::function<bool(uint32_t id, int value)>& set, QWidget* parent) override;
    std::optional<CameraFormatChoice> cameraFormat(const std::vector<v4l2::PixelFormatInfo>& formats,
                                                   const v4l2::CurrentFormat& current, QWidget* parent) override;
    std::optional<bool> display(bool scale, QWidget* parent) override;
    std::optional<CodecChoice> compression(QWidget* parent, MovieContainer container) override;
};

} // namespace lv
