// The recorder's codec dialog; only in builds with Qt Widgets.
#include "capture/sequencecapture.h"
#include "movie/compressiondialog.h"

namespace lv {

bool SequenceCapture::showCompressionDialog(QWidget* parent)
{
    CompressionDialog dialog(parent);
    if (dialog.exec() == QDialog::Accepted)
        saveCodecChoice(dialog.choice());
    return true;
}

} // namespace lv
