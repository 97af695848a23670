#include "net/ftpsettings.h"

#include "base/textnumber.h"

#include <algorithm>

namespace lv {

uint16_t FtpSettings::portFromText(QStringView text)
{
    const int32_t n = toInt32(leadingNumber(text));
    return static_cast<uint16_t>(std::clamp<int32_t>(n, 0, 65535));
}

QString FtpSettings::portToText(uint16_t port)
{
    return port == 0 ? QString() : QString::number(port);
}

} // namespace lv
