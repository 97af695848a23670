#include "image/imagelog.h"

Q_LOGGING_CATEGORY(lcImage, "lumivark.image")
