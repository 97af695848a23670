#include "movie/soundoutput.h"

#include <alsa/asoundlib.h>

namespace lv {

namespace {

snd_pcm_t* pcmOf(void* p)
{
    return static_cast<snd_pcm_t*>(p);
}

// ALSA reports a missing sound card on stderr; no card is an ordinary case here.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

} // namespace

void SoundOutput::PcmClose::operator()(void* pcm) const
{
    snd_pcm_close(pcmOf(pcm));
}

SoundOutput::SoundOutput() = default;

SoundOutput::~SoundOutput()
{
    close();
}

QString SoundOutput::deviceName()
{
    const QString name = qEnvironmentVariable("LUMIVARK_SOUND_DEVICE");
    return name.isEmpty() ? QStringLiteral("default") : name;
}

bool SoundOutput::open(int sampleRate, int channels)
{
    close();
    m_error.clear();
    snd_lib_error_set_handler(quietAlsa);
    snd_pcm_t* pcm = nullptr;
    int r = snd_pcm_open(&pcm, deviceName().toLocal8Bit().constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (r < 0) {
        m_error = QString::fromLocal8Bit(snd_strerror(r));
        return false;
    }
    m_pcm.reset(pcm);
    // Half a second of buffer: enough to ride out a slow frame, short enough to stop promptly.
    r = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, unsigned(channels),
                           unsigned(sampleRate), 1, 500000);
    if (r < 0) {
        m_error = QString::fromLocal8Bit(snd_strerror(r));
        m_pcm.reset();
        return false;
    }
    m_bytesPerFrame = 2 * channels;
    return true;
}

void SoundOutput::close()
{
    if (m_pcm)
        snd_pcm_drop(pcmOf(m_pcm.get()));
    m_pcm.reset();
}

int64_t SoundOutput::writable()
{
    if (!m_pcm)
        return 0;
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcmOf(m_pcm.get()));
    if (avail < 0) {
        // An underrun (the player fell behind) or a suspend: start over.
        if (snd_pcm_recover(pcmOf(m_pcm.get()), int(avail), 1) < 0)
            return 0;
        avail = snd_pcm_avail_update(pcmOf(m_pcm.get()));
    }
    return avail > 0 ? avail : 0;
}

int64_t SoundOutput::write(const QByteArray& pcm)
{
    if (!m_pcm || m_bytesPerFrame == 0 || pcm.isEmpty())
        return 0;
    const snd_pcm_uframes_t frames = snd_pcm_uframes_t(pcm.size() / m_bytesPerFrame);
    snd_pcm_sframes_t n = snd_pcm_writei(pcmOf(m_pcm.get()), pcm.constData(), frames);
    if (n == -EAGAIN)
        return 0;
    if (n < 0) {
        if (snd_pcm_recover(pcmOf(m_pcm.get()), int(n), 1) < 0)
            return 0;
        n = snd_pcm_writei(pcmOf(m_pcm.get()), pcm.constData(), frames);
    }
    return n > 0 ? n : 0;
}

void SoundOutput::drop()
{
    if (m_pcm) {
        snd_pcm_drop(pcmOf(m_pcm.get()));
        snd_pcm_prepare(pcmOf(m_pcm.get()));
    }
}

} // namespace lv
