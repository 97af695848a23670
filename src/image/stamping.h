#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include <cstdint>

namespace lv {

class DrawnPicture;

// One stamping call's settings, as both the single-image panel and the series
// panel hold them. Colours are packed red + 256 × green + 65536 × blue;
// positions 0 "Top Left", 1 "Top Right", 2 "Top Center", 3 "Bottom Left",
// 4 "Bottom Right", 5 "Bottom Center".
struct StampSettings {
    bool timeOn = false;
    std::uint32_t timeColor = 0;
    int timePosition = 0;
    bool dateOn = false;
    std::uint32_t dateColor = 0;
    int datePosition = 0;
    bool textOn = false;
    std::uint32_t textColor = 0;
    int textPosition = 0;
    QString text;
};

enum class StampKind { Text, Date, Time };

// The stamp strings, from lv::clock(): "hh:mm:ss" (24-hour) and "mm-dd-yyyy".
QString stampTimeString();
QString stampDateString();

// Replaces "&DATE", "&TIME" and "&FRM&" (any case) by the date, the time and
// the image number.
QString ExpandStampText(const QString& text, int imageNumber);

// Top-left corner of a stamp of `textSize` in a picture of `picture`, with
// `lineHeight` the height of one line; a position outside 0-5 gives `current`.
QPoint stampPosition(StampKind kind, int position, QSize picture, QSize textSize, int lineHeight, QPoint current);

// Clears earlier stamps (the frame stays) and draws text, date and time, in
// that order, as the settings say. `imageNumber` fills "&FRM&".
void StampImage(DrawnPicture& picture, const StampSettings& settings, int imageNumber);

} // namespace lv
