#pragma once

#include <QString>
#include <cstdint>

namespace lv {

// The preferences in effect (the "Preferences" window edits them). The three
// switches are the texts "1" and "0", as the settings store keeps them; the
// application writes them to the store itself (at disconnect and exit).
struct PreferenceValues {
    QString PopUpMovieViewer;
    QString Autoplay;
    QString SystemSounds = QStringLiteral("1");
    int32_t JpegQuality = 100;
    int16_t MotionSensitivity = 5;
};

} // namespace lv
