#pragma once

#include <QStringView>
#include <cstdint>

namespace lv {

// The lenient number reading used for every stored value: the leading decimal
// number of a text (blanks before it skipped, an optional sign, digits, an
// optional full stop and fraction), 0 when the text does not start with one.
double leadingNumber(QStringView text);

// Round to the nearest whole number (halves to even) and clamp into the
// range of the field; NaN reads as 0.
int16_t toInt16(double v);
int32_t toInt32(double v);
uint32_t toUInt32(double v);

inline int16_t readInt16(QStringView text) { return toInt16(leadingNumber(text)); }
inline int32_t readInt32(QStringView text) { return toInt32(leadingNumber(text)); }

} // namespace lv
