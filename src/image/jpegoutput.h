#pragma once

#include <QImage>
#include <QString>

#include <functional>

namespace lv {

class cDIBSection;

// Where an operation puts its one-line outcome (the main window's status label);
// empty means nobody listens.
using StatusSink = std::function<void(const QString&)>;

// Writes the section (bottom-up BGR rows with their padding) as a baseline JPEG
// file at `quality` (1-100; values outside are brought into range). On failure
// shows "Failed to initialise the IJL library: N" or "Failed to save to JPG"
// through lv::dialogs() and returns false; an existing file of that name is
// left untouched then.
bool SaveJPG(const cDIBSection& section, const QString& fileName, int quality);

// Writes a drawn picture (frame plus stamps and effects) as a JPEG file through
// a 24-bit section. On failure, after SaveJPG's message, tells `status`
// "Error writing <file name>JPEG File.". Returns whether the file was written.
bool SaveJPEGFile(const QImage& picture, const QString& fileName, int quality, const StatusSink& status = {});

} // namespace lv
