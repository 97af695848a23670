#pragma once

#include <QImage>
#include <QString>

namespace lv {

// Writes a picture as a 24-bit bottom-up bitmap file (40-byte header, no
// colour table, biSizeImage filled in). False on any file error, with the
// reason in *error when given.
bool SavePictureAsBitmap(const QImage& picture, const QString& fileName, QString* error = nullptr);

// Loads a bitmap or JPEG file, deciding the format by content, not by name.
// A null image when the file cannot be read as a picture.
QImage LoadPicture(const QString& fileName);

} // namespace lv
