#pragma once

#include <QLoggingCategory>

namespace lv {
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
}
