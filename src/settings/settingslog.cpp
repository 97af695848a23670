#include "settings/settingslog.h"

namespace lv {
Q_LOGGING_CATEGORY(lcSettings, "lumivark.settings")
}
