#include "capture/movierecords.h"

#include "capture/capturetiming.h"

#include <cmath>

namespace lv {

void movieSettingsFromRecords(const CaptureParms& parms, const AudioFormat& audio, CaptureSettings& settings)
{
    CaptureSettings& c = settings;
    const AudioFormat& a = audio;
    c.AudioChannels = a.nChannels == 1 ? 1 : 2;
    c.AudioBits = a.wBitsPerSample == 8 ? 8 : 16;
    if (audioRateEntry(a.nSamplesPerSec) >= 0)
        c.AudioRate = static_cast<int32_t>(a.nSamplesPerSec);
    c.Audio = parms.fCaptureAudio != 0;
    // The one fractional rate comes back as itself, not rounded to 30.
    c.FrameRate = parms.dwRequestMicroSecPerFrame <= 1 ? 12.0
        : parms.dwRequestMicroSecPerFrame == capturetiming::MicroSecondsPerFrame(29.97)
        ? 29.97
        : static_cast<double>(std::lround(1000000.0 / parms.dwRequestMicroSecPerFrame));
    c.Limit = parms.fLimitEnabled == 1;
    c.DurationSeconds = static_cast<int32_t>(parms.wTimeLimit == 0 ? 1 : parms.wTimeLimit);
}

void movieSettingsToRecords(const CaptureSettings& settings, CaptureParms& parms, AudioFormat& audio)
{
    const CaptureSettings& c = settings;
    CaptureParms& p = parms;
    p.fCaptureAudio = c.Audio ? 1 : 0;
    p.fLimitEnabled = c.Limit ? 1 : 0;
    // The length is kept even while "No Limit" is ticked, so unticking it brings it back.
    p.wTimeLimit = static_cast<uint32_t>(c.DurationSeconds);
    p.dwRequestMicroSecPerFrame = capturetiming::MicroSecondsPerFrame(c.FrameRate);
    AudioFormat& a = audio;
    a.wBitsPerSample = c.AudioBits <= 8 ? 8 : 16;
    a.nChannels = c.AudioChannels <= 1 ? 1 : 2;
    if (c.AudioRate > 0) {
        a.nSamplesPerSec = static_cast<uint32_t>(c.AudioRate);
        a.nAvgBytesPerSec = a.nSamplesPerSec * a.nChannels * (a.wBitsPerSample / 8u);
    }
    a.nBlockAlign = static_cast<uint16_t>(a.nChannels * a.wBitsPerSample / 8);
}

} // namespace lv
