#pragma once

#include "capture/testpattern.h"
#include "capture/v4l2/v4l2device.h"
#include "movie/videocodecs.h"

#include <QSize>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace lv {

// A camera's pixel format, frame size and frame rate as the user chose them.
struct CameraFormatChoice {
    uint32_t fourcc = 0;
    QSize size;
    v4l2::Interval interval;
};

// The modal dialogs of the devices and the recorder. The capture core asks
// through this interface and never opens a window itself: the program with
// windows registers the widget dialogs at start-up; without them (the
// command-line program, a build without Qt Widgets) every dialog is "not
// available". UI thread only.
class DeviceDialogs {
public:
    virtual ~DeviceDialogs() = default;

    // The test pattern's source (brightness, moving or still) and format
    // (frame size, rate): the settings chosen, nothing when cancelled.
    virtual std::optional<TestPatternSettings> testPatternSource(const TestPatternSettings& current,
                                                                 QWidget* parent) = 0;
    virtual std::optional<TestPatternSettings> testPatternFormat(const TestPatternSettings& current,
                                                                 QWidget* parent) = 0;
    // A camera's controls; `set` applies one as it moves.
    virtual void cameraSource(const std::vector<v4l2::ControlInfo>& controls,
                              const std::function<bool(uint32_t id, int value)>& set, QWidget* parent) = 0;
    // A camera's format among `formats`: the choice, nothing when cancelled.
    virtual std::optional<CameraFormatChoice> cameraFormat(const std::vector<v4l2::PixelFormatInfo>& formats,
                                                           const v4l2::CurrentFormat& current, QWidget* parent) = 0;
    // Whether the picture is scaled to the window: the choice, nothing when cancelled.
    virtual std::optional<bool> display(bool scale, QWidget* parent) = 0;
    // The recording codec and its quality: the choice, nothing when cancelled.
    // The choice among the codecs the container holds, shown with the one saved for it.
    virtual std::optional<CodecChoice> compression(QWidget* parent, MovieContainer container) = 0;
};

// The registered dialogs; null when none are.
DeviceDialogs* deviceDialogs();
void setDeviceDialogs(DeviceDialogs* dialogs); // nullptr: none

} // namespace lv
