#pragma once

#include "capture/devicedialogs.h"
#include "capture/v4l2/v4l2device.h"

#include <QDialog>
#include <functional>

class QComboBox;

namespace lv::v4l2 {

class V4l2Driver;

// The camera's controls (brightness, contrast, ...), applied as they move.
class SourceDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceDialog)
public:
    SourceDialog(V4l2Driver& driver, QWidget* parent = nullptr);
    // Any device's controls; set is called as a control moves.
    SourceDialog(const std::vector<ControlInfo>& controls, std::function<bool(uint32_t id, int value)> set,
                 QWidget* parent = nullptr);
};

// Pixel format, frame size and frame rate of the camera.
class FormatDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormatDialog)
public:
    using Choice = CameraFormatChoice;
    FormatDialog(std::vector<PixelFormatInfo> formats, const CurrentFormat& current, QWidget* parent = nullptr);
    Choice choice() const;

private:
    void fillSizes();
    void fillRates();

    std::vector<PixelFormatInfo> m_formats;
    QComboBox* m_format = nullptr;
    QComboBox* m_size = nullptr;
    QComboBox* m_rate = nullptr;
};

} // namespace lv::v4l2
