#pragma once

#include <QLoggingCategory>

// Logging category of the still-picture code (files, JPEG, stamping, editor).
Q_DECLARE_LOGGING_CATEGORY(lcImage)
