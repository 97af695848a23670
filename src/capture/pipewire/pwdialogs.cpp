// The PipeWire camera's source and format dialogs: the V4L2 dialogs over the
// node's own controls and formats. Only in a build with windows.
#include "capture/pipewire/pwdriver.h"
#include "capture/v4l2/v4l2dialogs.h"

namespace lv::pipewire {

bool PipeWireDriver::showSourceDialog(QWidget* parent)
{
    if (!m_session)
        return false;
    v4l2::SourceDialog dlg(m_controls, [this](uint32_t id, int v) { return setControl(id, v); }, parent);
    dlg.exec();
    return true;
}

bool PipeWireDriver::showFormatDialog(QWidget* parent)
{
    if (!m_session)
        return false;
    v4l2::FormatDialog dlg(formatChoices(), currentFormat(), parent);
    if (dlg.exec() == QDialog::Accepted) {
        const v4l2::FormatDialog::Choice c = dlg.choice();
        applyFormat(c.fourcc, c.size, c.interval);
    }
    return true;
}

} // namespace lv::pipewire
