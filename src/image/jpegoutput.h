#pragma once

#include "base/fileresult.h"

#include <QImage>
#include <QString>

#include <functional>

namespace lv {

class cDIBSection;

// Where an operation puts its one-line outcome (the main window's status label);
// empty means nobody listens.
using StatusSink = std::function<void(const QString&)>;

// Writes the section (bottom-up BGR rows with their padding) as a baseline JPEG
// file at `quality` (1-100; values outside are brought into range). A failure
// carries the warning to show, "Failed to initialise the IJL library: N" or
// "Failed to save to JPG"; an existing file of that name is left untouched then.
FileResult SaveJPG(const cDIBSection& section, const QString& fileName, int quality);

// Writes a drawn picture (frame plus stamps and effects) as a JPEG file through
// a 24-bit section. On failure tells `status` "Error writing <file name>JPEG
// File." and returns SaveJPG's warning, which the caller shows.
FileResult SaveJPEGFile(const QImage& picture, const QString& fileName, int quality, const StatusSink& status = {});

} // namespace lv
