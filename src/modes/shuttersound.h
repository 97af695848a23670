#pragma once

#include <QString>

namespace lv {

// Plays a PCM WAV file on the default sound output and returns when it has
// been heard to its end. Returns false, quietly, when there is no output or
// the file cannot be read: a missing sound never holds up a capture.
bool playSoundToEnd(const QString& wavFile);

} // namespace lv
