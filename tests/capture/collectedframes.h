#pragma once
// Frames and errors a capture driver hands over, gathered on its own thread and
// read by the test on the UI thread.
#include "capture/capturedriver.h"

#include <QStringList>
#include <mutex>
#include <vector>

namespace lv {

struct Collected {
    std::mutex mutex;
    std::vector<FramePtr> frames;
    QStringList errors;
    size_t frameCount()
    {
        std::lock_guard l(mutex);
        return frames.size();
    }
    int errorCount()
    {
        std::lock_guard l(mutex);
        return int(errors.size());
    }
    CaptureDriver::FrameSink frameSink()
    {
        return [this](const FramePtr& f) {
            std::lock_guard l(mutex);
            frames.push_back(f);
        };
    }
    CaptureDriver::ErrorSink errorSink()
    {
        return [this](const QString& reason) {
            std::lock_guard l(mutex);
            errors << reason;
        };
    }
};

} // namespace lv
