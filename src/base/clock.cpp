#include "base/clock.h"

namespace lv {

namespace {
SystemClock g_systemClock;
Clock* g_clock = &g_systemClock;
} // namespace

Clock& clock() { return *g_clock; }
void setClock(Clock* c) { g_clock = c ? c : &g_systemClock; }

} // namespace lv
