#pragma once

#include <cstdint>

namespace lv {

// What the capture running now has counted and measured: the window's status
// panels show it, the capture logic keeps it. It is not a setting and no file
// keeps it. UI thread only.
struct RunRecord {
    // The pictures of the series (or the frames of a frame-by-frame movie) so far.
    int32_t ImageCount = 0;
    // Frames per second of the capture running: the movie's rate, or the
    // series movie's entry; the capture time is worked out from it.
    int32_t FrameRate = 0;
    // The series timer: its interval in seconds and the ticks counted towards it.
    int32_t TimerInterval = 0;
    int32_t TimerTicks = 0;
    // The motion detector starts a series rather than a movie.
    bool MotionSeries = false;
    // Stopping found the motion detector armed (nothing was recorded).
    bool MotionInterrupted = false;
    // Free space on the capture file's disk when the recording started, and now.
    int64_t FreeSpaceAtStart = 0;
    int64_t FreeSpaceNow = 0;
    // Bytes written so far, as the free space says.
    float EstimatedSize = 0.0f;
    // The movie viewer has popped up for this recording.
    bool ViewerShown = false;
    // The last code the capture window reported with a status text.
    int16_t LastStatusCode = 0;
};

} // namespace lv
