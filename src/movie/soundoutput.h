#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace lv {

// Plays interleaved signed 16-bit PCM through ALSA, never blocking: the
// player hands over as much as the device takes and keeps the rest. The
// device is $LUMIVARK_SOUND_DEVICE when set, else "default"; without a sound
// output open() fails and the caller plays silently.
//
// Threads: one thread at a time (the player's worker).
class SoundOutput final {
public:
    SoundOutput();
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    static QString deviceName();

    bool open(int sampleRate, int channels);
    void close();
    bool isOpen() const { return m_pcm != nullptr; }
    QString errorText() const { return m_error; }

    // Sample frames the device takes now without waiting.
    int64_t writable();
    // Writes what the device takes of pcm; the number of sample frames written.
    int64_t write(const QByteArray& pcm);
    // Stops at once and throws away what is queued.
    void drop();

private:
    struct PcmClose {
        void operator()(void* pcm) const;
    };
    std::unique_ptr<void, PcmClose> m_pcm;
    int m_bytesPerFrame = 0;
    QString m_error;
};

} // namespace lv
