#pragma once

#include "base/fileresult.h"
#include "capture/capturetypes.h"
#include "image/stamping.h"
#include "net/ftpsettings.h"
#include "settings/capturesettings.h"

#include <QString>

#include <array>

namespace lv::cli {

// The settings a command starts from: the program's defaults, or what a
// capture parameters file holds. Command-line options override them.
struct Settings {
    bool fromFile = false;
    // The reader's note on fields it left out (a control character, too long).
    QString ignored;
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
    // The movie information fields (Copyright, Artist, Subject, Product,
    // Source, Comments) and whether the Movie panel writes them.
    std::array<QString, 6> infoFields;
    bool movieInfo = false;
    // The Internet Settings and whether a series sends its pictures.
    bool sendToFtp = false;
    FtpSettings ftp;

    const StampSettings& stampsFor(const QString& command) const
    {
        return command == QLatin1String("series") ? seriesStamps : singleStamps;
    }
};

// The switches of one image panel's stamps as the model holds them (their
// colours are the model's, shared by both panels).
PanelStamps panelOf(const StampSettings& stamps);

// Reads a capture parameters file the way the main window applies one; a
// file that cannot be read is a failure with its message.
FileResult readSettings(const QString& path, Settings* settings);

} // namespace lv::cli
