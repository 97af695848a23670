#include "capture/sequencecapture.h"

namespace lv {

// Placeholder until recording lands: every recording operation is refused.
SequenceCapture::SequenceCapture() = default;
SequenceCapture::~SequenceCapture() = default;
bool SequenceCapture::start(const Setup&) { return false; }
bool SequenceCapture::stop() { return false; }
bool SequenceCapture::capturing() const { return false; }
uint32_t SequenceCapture::framesCaptured() const { return 0; }
uint32_t SequenceCapture::framesDropped() const { return 0; }
void SequenceCapture::pushFrame(const FramePtr&) {}
void SequenceCapture::deviceLost() {}
bool SequenceCapture::openSingle(const QString&, const CaptureParms&) { return false; }
bool SequenceCapture::captureOne(const FramePtr&) { return false; }
bool SequenceCapture::closeSingle() { return false; }
bool SequenceCapture::showCompressionDialog(QWidget*) { return false; }

} // namespace lv
