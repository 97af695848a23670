#pragma once

#include "capture/capturetypes.h"
#include "image/stamping.h"
#include "settings/capturesettings.h"

#include <QString>

namespace lv::cli {

// The settings a command starts from: the program's defaults, or what a
// capture parameters file holds. Command-line options override them.
struct Settings {
    bool fromFile = false;
    int device = 0;
    int quality = 75;
    StampSettings singleStamps;  // the Single Image panel's
    StampSettings seriesStamps;  // the Multiple Image panel's
    TriggerKind trigger = TriggerKind::Manual;
    int interval = 0;
    double frameRate = 15.0;
    bool limit = true;
    int durationSeconds = 0;
    bool audioOn = false;
    AudioFormat audio;
    CaptureParms parms;

    const StampSettings& stampsFor(const QString& command) const
    {
        return command == QLatin1String("series") ? seriesStamps : singleStamps;
    }
};

// Reads a capture parameters file the way the main window applies one.
// False, with the reason, when the file cannot be read.
bool readSettings(const QString& path, Settings* settings, QString* error);

} // namespace lv::cli
