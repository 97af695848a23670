#pragma once

#include "base/devicerecords.h"
#include "settings/capturesettings.h"

// The movie panel's settings and a device's records (its capture record and
// sound format) say the same things in two forms: sound on or off, the
// sound format, the frame rate, the time limit and the movie's length. These
// convert between them. Plain functions, any thread.
namespace lv {

// The records as the movie panel shows them: what a connected device brings.
// A sound rate the panel does not list leaves the panel's rate as it is.
void movieSettingsFromRecords(const CaptureParms& parms, const AudioFormat& audio, CaptureSettings& settings);
// The movie panel's settings into the records, before a recording or a
// disconnect; the fields they do not speak of are kept.
void movieSettingsToRecords(const CaptureSettings& settings, CaptureParms& parms, AudioFormat& audio);

} // namespace lv
