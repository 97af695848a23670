#pragma once

#include "cli/cliargs.h"

namespace lv::cli {

// Exit statuses a script can rely on.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs one parsed request; needs a running Q(Gui)Application, whose event
// loop it drives itself. Returns the exit status; errors went to stderr.
// Throws UsageError for arguments that only show their fault late (an
// unknown effect name, a missing --duration).
int runRequest(const Request& request);

} // namespace lv::cli
