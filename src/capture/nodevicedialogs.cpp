// A build without Qt Widgets has no device or codec dialogs: each says it
// cannot be shown, as a device without the dialog does.
#include "capture/sequencecapture.h"
#include "capture/testpatterndriver.h"
#include "capture/pipewire/pwdriver.h"
#include "capture/v4l2/v4l2driver.h"

namespace lv {

bool TestPatternDriver::showSourceDialog(QWidget*) { return false; }
bool TestPatternDriver::showFormatDialog(QWidget*) { return false; }
bool SequenceCapture::showCompressionDialog(QWidget*) { return false; }

namespace v4l2 {
bool V4l2Driver::showSourceDialog(QWidget*) { return false; }
bool V4l2Driver::showFormatDialog(QWidget*) { return false; }
} // namespace v4l2

namespace pipewire {
bool PipeWireDriver::showSourceDialog(QWidget*) { return false; }
bool PipeWireDriver::showFormatDialog(QWidget*) { return false; }
} // namespace pipewire

} // namespace lv
