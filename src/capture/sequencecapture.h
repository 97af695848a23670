#pragma once

#include "capture/capturedriver.h"
#include "capture/capturetypes.h"

#include <QString>
#include <functional>

class QWidget;

namespace lv {

// Streaming and frame-by-frame recording of one capture window into an AVI.
//
// Threads: start/stop/openSingle/captureOne/closeSingle and the counters are
// called on the UI thread; pushFrame() is called on the device's capture
// thread for every frame while the device streams.
class SequenceCapture {
public:
    struct Setup {
        QString fileName;
        CaptureParms parms;
        AudioFormat audio;
        CaptureDriver* driver = nullptr;     // the connected device (for its sound)
        std::function<void(int code)> status; // receives 300 at the start and 301 at the end
    };

    SequenceCapture();
    ~SequenceCapture();
    SequenceCapture(const SequenceCapture&) = delete;
    SequenceCapture& operator=(const SequenceCapture&) = delete;

    // Starts a streaming capture. With parms.fYield 1 it returns at once;
    // with 0 it returns when the recording has ended.
    bool start(const Setup& setup);
    bool stop();
    bool capturing() const;
    uint32_t framesCaptured() const;
    uint32_t framesDropped() const;

    void pushFrame(const FramePtr& frame);
    // The device stopped delivering for good: ends a running capture.
    void deviceLost();

    bool openSingle(const QString& fileName, const CaptureParms& parms);
    bool captureOne(const FramePtr& frame);
    bool closeSingle();

    // The recording codec and its quality.
    bool showCompressionDialog(QWidget* parent);
};

} // namespace lv
