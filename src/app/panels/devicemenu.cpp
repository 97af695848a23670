#include "app/panels/devicemenu.h"
#include "modes/movierecording.h" // videoscreen.h needs it whole
#include "app/videoscreen.h"
#include "base/dialogs.h"
#include "capture/drivercatalogue.h"
#include "capture/ui/liveview.h"

namespace lv {

DeviceMenu::DeviceMenu(CaptureModel& model, QWidget* parent)
    : QMenu(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("DeviceMenu"));
    connect(this, &QMenu::triggered, this,
            [this](QAction* a) { choose(static_cast<int>(actions().indexOf(a)), a->data().toString()); });
}

void DeviceMenu::fill()
{
    clear();
    if (LiveView::HasDrivers()) {
        const int n = LiveView::CountDrivers();
        for (int i = 0; i < n; ++i)
            addAction(LiveView::GetDriverName(i))->setData(QStringLiteral("vfw"));
    } else {
        QAction* a = addAction(QStringLiteral("no MSVIDEO devices detected"));
        a->setData(QStringLiteral("menu"));
        a->setEnabled(false);
    }
    addSeparator();
    addAction(QStringLiteral("Video Device Information..."))->setData(QStringLiteral("info"));
    addAction(QStringLiteral("Disconnect driver to unplug external device"))->setData(QStringLiteral("unplug"));
}

void DeviceMenu::devicesChanged()
{
    const QString current = LiveView::GetDriverName(m_model.settings().DeviceIndex);
    driverCatalogue().rescan();
    for (int i = 0, n = LiveView::CountDrivers(); i < n; ++i)
        if (LiveView::GetDriverName(i) == current) {
            m_model.edit([i](CaptureSettings& c) { c.DeviceIndex = i; });
            break;
        }
    fill();
}

void DeviceMenu::choose(int index, const QString& key)
{
    if (key == QLatin1String("vfw")) {
        m_screen->Disconnect();
        m_model.edit([index](CaptureSettings& c) { c.DeviceIndex = index; });
        m_screen->ConnectionTag = QStringLiteral("vfw");
        m_screen->Initialize();
        emit driverConnected();
    } else if (key == QLatin1String("unplug")) {
        m_screen->setWindowTitle(QStringLiteral("Disconnected"));
        m_screen->Disconnect();
        dialogs().message(QStringLiteral("Device Driver Disconnected.\r\nCan be now removed if is a USB device..."),
                          Dialogs::Icon::Information, Dialogs::Buttons::Ok, {}, parentWidget());
    } else if (key == QLatin1String("info")) {
        emit deviceInfoRequested();
    }
}

void DeviceMenu::connectFirstDriver()
{
    const QList<QAction*> entries = actions();
    for (int i = 0; i < entries.size(); ++i) {
        const QString key = entries[i]->data().toString();
        if (key == QLatin1String("vfw") || key == QLatin1String("dx") || key == QLatin1String("dv")
            || key == QLatin1String("snappy") || key == QLatin1String("mjpeg")) {
            choose(i, key);
            break;
        }
    }
}

} // namespace lv
