#include "capture/alsaaudiosource.h"

#include <alsa/asoundlib.h>
#include <chrono>

namespace lv {

AlsaAudioSource::AlsaAudioSource(QString device) : m_device(std::move(device)) {}

AlsaAudioSource::~AlsaAudioSource() { stop(); }

bool AlsaAudioSource::start(const AudioFormat& format, PcmSink sink)
{
    stop();
    m_error.clear();
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, m_device.toLocal8Bit().constData(), SND_PCM_STREAM_CAPTURE, 0);
    if (err < 0) {
        m_error = QString::fromLocal8Bit(snd_strerror(err));
        return false;
    }
    // 8-bit PCM is unsigned and 16-bit signed little-endian, as in a RIFF file.
    const snd_pcm_format_t sampleFormat = format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    err = snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels,
                             format.nSamplesPerSec, 1, 200000);
    if (err < 0) {
        m_error = QString::fromLocal8Bit(snd_strerror(err));
        snd_pcm_close(pcm);
        return false;
    }
    m_pcm = pcm;
    m_stopping = false;
    const int frameBytes = format.nChannels * format.wBitsPerSample / 8;
    const snd_pcm_uframes_t chunk = std::max<snd_pcm_uframes_t>(1, format.nSamplesPerSec / 50);
    m_thread = std::thread([this, pcm, frameBytes, chunk, sink = std::move(sink)] {
        QByteArray buf(qsizetype(chunk) * frameBytes, 0);
        while (!m_stopping) {
            const int64_t ts = std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
            snd_pcm_sframes_t n = snd_pcm_readi(pcm, buf.data(), chunk);
            if (n == -EPIPE || n == -ESTRPIPE || n == -EINTR) {
                snd_pcm_recover(pcm, int(n), 1);
                continue;
            }
            if (n < 0)
                return; // the device has gone: the recording goes on without sound
            sink(buf.left(qsizetype(n) * frameBytes), ts);
        }
    });
    return true;
}

void AlsaAudioSource::stop()
{
    m_stopping = true;
    if (m_pcm)
        snd_pcm_drop(static_cast<snd_pcm_t*>(m_pcm)); // wakes a blocked read
    if (m_thread.joinable())
        m_thread.join();
    if (m_pcm)
        snd_pcm_close(static_cast<snd_pcm_t*>(m_pcm));
    m_pcm = nullptr;
}

} // namespace lv
