#pragma once

#include "capture/drivercatalogue.h"
#include "capture/testpatterndriver.h"

#include <QString>

// The built-in test pattern's place in the device list; -1 when it is not listed.
inline int testPatternIndex()
{
    QString name;
    for (int i = 0; lv::driverCatalogue().describe(i, &name, nullptr); ++i)
        if (name == lv::TestPatternDriver::driverName())
            return i;
    return -1;
}
