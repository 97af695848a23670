#pragma once

#include <QColor>
#include <QString>
#include <cstdint>

namespace lv {

// The recording displays, worked out from the frame counts alone.
namespace recordingstatus {

// "hh:mm:ss.ff" where ff is the frame within the current second.
QString elapsedText(uint32_t frames, int32_t frameRate);

struct Dropped {
    QString text;
    QColor color;
};
// dropped of frames against the warning percentage; "none" when nothing dropped.
Dropped droppedText(uint32_t frames, uint32_t dropped, uint32_t percentDropForError);

inline QColor green() { return QColor(0, 250, 0); }
inline QColor red() { return QColor(250, 0, 0); }

} // namespace recordingstatus
} // namespace lv
