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

bool FtpSettings::hasControlCharacter(QStringView value)
{
    return std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString FtpSettings::unsafeField() const
{
    auto unsafe = [](const QString& v) {
        return v.contains(QLatin1Char('\r')) || v.contains(QLatin1Char('\n')) || v.contains(QChar(0));
    };
    if (unsafe(server))
        return QStringLiteral("server");
    if (unsafe(userName))
        return QStringLiteral("user name");
    if (unsafe(password))
        return QStringLiteral("password");
    if (unsafe(directory))
        return QStringLiteral("directory");
    return {};
}

} // namespace lv
