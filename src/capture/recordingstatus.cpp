#include "capture/recordingstatus.h"


namespace lv::recordingstatus {

namespace {
QString twoDigits(int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }
// A number without leading zeros, zero written as nothing.
QString bare(int64_t v) { return v == 0 ? QString() : QString::number(v); }
} // namespace

QString elapsedText(uint32_t frames, int32_t frameRate)
{
    if (frameRate < 1)
        frameRate = 1;
    // Whole counts throughout, so no floating-point rounding creeps into the display.
    const int64_t whole = frames / static_cast<uint32_t>(frameRate);
    const int64_t h = whole / 3600;
    const int64_t m = (whole % 3600) / 60;
    const int64_t s = whole % 60;
    const int64_t f = frames % static_cast<uint32_t>(frameRate);
    return twoDigits(h) + QLatin1Char(':') + twoDigits(m) + QLatin1Char(':') + twoDigits(s) + QLatin1Char('.')
        + twoDigits(f);
}

Dropped droppedText(uint32_t frames, uint32_t dropped, uint32_t percentDropForError)
{
    Dropped d;
    if (frames < 1 || dropped < 1) {
        d.text = QStringLiteral("none");
    } else {
        const auto p = static_cast<int64_t>(static_cast<double>(dropped) * 100.0 / frames);
        d.text = bare(dropped) + QStringLiteral(" = ") + bare(p) + QLatin1Char('%');
    }
    d.color = static_cast<double>(percentDropForError) / 100.0 * frames >= dropped ? green() : red();
    return d;
}

} // namespace lv::recordingstatus
