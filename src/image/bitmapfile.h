#pragma once

#include "base/fileresult.h"

#include <QImage>
#include <QString>

namespace lv {

// Writes a picture as a 24-bit bottom-up bitmap file (40-byte header, no
// colour table, biSizeImage filled in). A failure carries the reason, for
// the caller's message.
FileResult SavePictureAsBitmap(const QImage& picture, const QString& fileName);

// The largest picture that is opened: its pixels are held several times
// over by an editor (picture, reset copy, drawn copy), 4 bytes each.
inline constexpr qint64 kMaxPicturePixels = 25'000'000;

struct PictureLoad {
    QImage image;       // null when not loaded
    bool tooLarge = false;
    QString error;      // why not, for a message
};

// Loads a bitmap (".bmp") or JPEG (".jpg", ".jpeg") file as the name's
// ending says; content of another format, any other ending, or a picture
// of more than kMaxPicturePixels is refused before it is decoded. A bitmap
// is read bottom-up or top-down (negative height); one whose header, colour
// table or pixel data runs past the end of the file is refused, the reason
// in `error`.
PictureLoad LoadPictureChecked(const QString& fileName);
// The picture alone (null when refused).
QImage LoadPicture(const QString& fileName);

} // namespace lv
