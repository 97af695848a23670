#pragma once

#include "capture/audiosource.h"

#include <atomic>
#include <thread>

namespace lv {

// Sound from an ALSA capture device (the "default" PCM for a camera), in
// exactly the PCM format asked for. The reading thread is its own.
class AlsaAudioSource final : public AudioSource {
public:
    explicit AlsaAudioSource(QString device = QStringLiteral("default"));
    ~AlsaAudioSource() override;
    bool start(const AudioFormat& format, PcmSink sink) override;
    void stop() override;
    QString errorText() const override { return m_error; }

private:
    QString m_device;
    QString m_error;
    void* m_pcm = nullptr; // snd_pcm_t, owned; closed by stop()
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
};

} // namespace lv
