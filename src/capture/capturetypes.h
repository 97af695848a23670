#pragma once

// The device records themselves are plain data shared with the session state in base/.
#include "base/devicerecords.h"

namespace lv {

// Status codes the capture window reports through its status callback.
inline constexpr int kStatusCaptureStart = 300;
inline constexpr int kStatusCaptureEnd = 301;

} // namespace lv
