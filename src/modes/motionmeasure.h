#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

namespace lv {

// The motion detector's measure: the average of the packed colours
// (red + 256 × green + 65536 × blue) of a coarse grid of sample points, and
// its change against the previous tick. Pure; no window involved.
namespace motion {

// The sampling grid for a frame of height h: rows every round(h / 10)
// (halves to even), columns every h / 10 without rounding (the column step is
// taken from the height). Both are at least 1, so frames under 10 pixels high
// are sampled densely instead of looping forever.
struct Grid {
    int rowStep = 1;
    double columnStep = 1.0;
};
Grid gridFor(int height);

// Average packed colour over the grid; positions run from 1 to width and
// height inclusive, a fractional column maps to the pixel it falls in.
// 0 for an empty image.
double sampleAverage(const QImage& frame);

// One tick's outcome.
struct Step {
    bool measured = false;  // false: an all-black frame (level 0), nothing else happened
    int ratio = 100;        // level × 100 / reference, rounded down
    bool motion = false;    // the ratio left the tolerance band
    QString status;         // " 3% Image changed"
};

// The detector's memory between ticks. reference 0 means unset.
class Detector {
public:
    void reset() { m_reference = 0.0; }
    double reference() const { return m_reference; }
    void setReference(double r) { m_reference = r; }

    // Compares level with the previous tick's and remembers it. A ratio too
    // large for the counter (a dark picture turning bright) is held at the
    // counter's top and counts as motion.
    Step step(double level, int sensitivity);

private:
    double m_reference = 0.0;
};

// " n% Image changed" for a ratio: |100 - ratio| with a blank before it.
QString changedText(int ratio);

} // namespace motion
} // namespace lv
