#pragma once

#include "capture/capturetypes.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace lv {

// A sound source that belongs to a capture device (the test pattern's sine,
// a camera's ALSA input). start() delivers interleaved PCM in the requested
// format on a thread of its own; stop() is safe to call twice.
class AudioSource {
public:
    using PcmSink = std::function<void(const QByteArray& pcm, int64_t timestampUs)>;
    virtual ~AudioSource() = default;
    virtual bool start(const AudioFormat& format, PcmSink sink) = 0;
    virtual void stop() = 0;
    virtual QString errorText() const { return {}; }
};

} // namespace lv
