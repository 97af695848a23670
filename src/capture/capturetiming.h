#pragma once

#include <cstdint>

// The time arithmetic of capturing: frame periods from frame rates, and the
// hours, minutes and seconds a movie length is shown and entered in. Plain
// functions with no Qt: the window, the main window's movie panel and the
// parameters files share them. Any thread.
namespace lv::capturetiming {

// 1 000 000 / rate rounded to the nearest whole number; 0 when rate is 0.
uint32_t MicroSecondsPerFrame(int rate);
// The same for a rate with up to four decimals (29.97 stays 29.97).
uint32_t MicroSecondsPerFrame(double rate);

// The parts of a length in seconds: whole hours, then the minutes and the
// seconds left over.
int HoursOf(int64_t seconds);
int MinutesOf(int64_t seconds);
int SecondsOf(int64_t seconds);
// Back to seconds; negative hours and minutes count as none.
int64_t TotalSeconds(int64_t hours, int64_t minutes, int64_t seconds);

// Milliseconds between preview frames: 1000 / rate rounded, 0 below 1
// (every frame as it comes).
int PreviewIntervalMs(int rate);

} // namespace lv::capturetiming
