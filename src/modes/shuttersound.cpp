#include "modes/shuttersound.h"

#include <QFile>
#include "modes/modeslog.h"
#include <QtEndian>

#include <alsa/asoundlib.h>
#include <cstdarg>
#include <memory>


namespace lv {

namespace {

struct PcmClose {
    void operator()(snd_pcm_t* p) const { snd_pcm_close(p); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmClose>;

// ALSA prints its own complaints to stderr when no card exists; a machine
// without sound is normal here, so they are dropped.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

struct Wave {
    int channels = 0;
    int rate = 0;
    int bits = 0;
    QByteArray data;
};

bool readWave(const QString& path, Wave& w)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray all = f.readAll();
    if (all.size() < 12 || !all.startsWith("RIFF") || all.mid(8, 4) != "WAVE")
        return false;
    qsizetype pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= all.size()) {
        const QByteArray id = all.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(all.constData() + pos + 4);
        const qsizetype body = pos + 8;
        const qsizetype avail = std::min<qsizetype>(size, all.size() - body);
        if (id == "fmt " && avail >= 16) {
            const char* p = all.constData() + body;
            if (qFromLittleEndian<quint16>(p) != 1)
                return false; // PCM only
            w.channels = qFromLittleEndian<quint16>(p + 2);
            w.rate = static_cast<int>(qFromLittleEndian<quint32>(p + 4));
            w.bits = qFromLittleEndian<quint16>(p + 14);
            haveFormat = true;
        } else if (id == "data") {
            w.data = all.mid(body, avail);
        }
        pos = body + static_cast<qsizetype>(size) + (size & 1);
    }
    return haveFormat && !w.data.isEmpty() && (w.bits == 8 || w.bits == 16) && w.channels >= 1 && w.channels <= 2
        && w.rate > 0;
}

} // namespace

bool playSoundToEnd(const QString& wavFile)
{
    Wave w;
    if (!readWave(wavFile, w)) {
        qCDebug(lcModes) << "no playable sound in" << wavFile;
        return false;
    }
    snd_lib_error_set_handler(&quietAlsa);
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0 || !raw) {
        qCDebug(lcModes) << "no sound output; shutter sound skipped";
        return false;
    }
    PcmPtr pcm(raw);
    const snd_pcm_format_t format = w.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm.get(), format, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(w.channels),
                           static_cast<unsigned>(w.rate), 1, 200000) < 0)
        return false;
    const int frameBytes = w.channels * w.bits / 8;
    const char* p = w.data.constData();
    snd_pcm_uframes_t left = static_cast<snd_pcm_uframes_t>(w.data.size() / frameBytes);
    while (left > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm.get(), p, left);
        if (n < 0)
            n = snd_pcm_recover(pcm.get(), static_cast<int>(n), 1);
        if (n < 0)
            return false;
        p += n * frameBytes;
        left -= static_cast<snd_pcm_uframes_t>(n);
    }
    snd_pcm_drain(pcm.get());
    return true;
}

} // namespace lv
