#include "modes/modeslog.h"

Q_LOGGING_CATEGORY(lcModes, "lumivark.modes")
