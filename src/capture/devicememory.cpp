#include "capture/devicememory.h"

#include "base/settingsstore.h"

namespace lv::devicememory {

namespace {

const QString kStore = QStringLiteral("LVDEVICES");

// The store splits names at slashes; an identity keeps its own.
QString sectionOf(const QString& identity)
{
    QString s = identity;
    s.replace(QLatin1Char('%'), QStringLiteral("%25"));
    s.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    s.replace(QLatin1Char('\\'), QStringLiteral("%5C"));
    return s;
}

} // namespace

CaptureDriver::Settings load(const QString& identity)
{
    if (identity.isEmpty())
        return {};
    return settings::section(kStore, sectionOf(identity));
}

void save(const QString& identity, const CaptureDriver::Settings& values)
{
    if (!identity.isEmpty())
        settings::saveSection(kStore, sectionOf(identity), values);
}

} // namespace lv::devicememory
