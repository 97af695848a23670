#pragma once

#include "settings/capturemodel.h"

#include <QMenu>

namespace lv {

class VideoScreen;

// The drop-down of the "device" button: one entry per capture driver, the
// device information and the disconnect command. Follows cameras coming and going.
class DeviceMenu final : public QMenu {
    Q_OBJECT

public:
    DeviceMenu(CaptureModel& model, QWidget* parent);
    // The video window the drivers connect to; set before any entry is chosen.
    void setScreen(VideoScreen* screen) { m_screen = screen; }

    // Lists the drivers anew.
    void fill();
    // Cameras came or went: the connected one keeps its place under its new index.
    void devicesChanged();
    // Carries out the entry at index of the given key ("vfw", "unplug", "info").
    void choose(int index, const QString& key);
    // Connects the first capture driver of the menu, as the program does at start.
    void connectFirstDriver();

signals:
    // A driver was connected: the view buttons follow the device.
    void driverConnected();
    void deviceInfoRequested();

private:
    CaptureModel& m_model;
    VideoScreen* m_screen = nullptr;
};

} // namespace lv
