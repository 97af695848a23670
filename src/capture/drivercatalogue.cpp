#include "capture/drivercatalogue.h"
#include "capture/pipewire/pwdriver.h"
#include "capture/pipewire/pwportal.h"
#include "capture/testpatterndriver.h"
#include "capture/v4l2/v4l2devices.h"

#include <algorithm>

namespace lv {

SystemDriverCatalogue::SystemDriverCatalogue() { rescan(); }

void SystemDriverCatalogue::rescan()
{
    m_entries.clear();
    const auto cameras = v4l2::listDevices();
    for (const v4l2::DeviceInfo& d : cameras)
        m_entries.push_back({d.card, d.version, d.path, {}});
    // A camera this program opens directly is not listed again through PipeWire.
    const auto sources = pipewire::listSources();
    m_complete = !pipewire::portalPending();
    for (const pipewire::SourceInfo& s : sources) {
        if (!s.devicePath.isEmpty() && std::any_of(cameras.begin(), cameras.end(), [&](const v4l2::DeviceInfo& d) {
                return d.path == s.devicePath;
            }))
            continue;
        m_entries.push_back({s.description, QStringLiteral("PipeWire"), {}, s});
    }
    if (qEnvironmentVariable("LUMIVARK_TEST_DEVICE") != QLatin1String("0"))
        m_entries.push_back({TestPatternDriver::driverName(), TestPatternDriver::driverVersion(), {}, {}});
}

bool SystemDriverCatalogue::describe(int index, QString* name, QString* version) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size())
        return false;
    const Entry& e = m_entries[static_cast<size_t>(index)];
    if (name)
        *name = e.name;
    if (version)
        *version = e.version;
    return true;
}

std::unique_ptr<CaptureDriver> SystemDriverCatalogue::create(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size())
        return nullptr;
    const Entry& e = m_entries[static_cast<size_t>(index)];
    if (e.pipewire)
        return std::make_unique<pipewire::PipeWireDriver>(*e.pipewire);
    if (e.devicePath.isEmpty())
        return std::make_unique<TestPatternDriver>();
    return v4l2::createDriver({e.devicePath, e.name, e.version});
}

namespace {
DriverCatalogue* g_catalogue = nullptr;
} // namespace

DriverCatalogue& driverCatalogue()
{
    if (!g_catalogue) {
        static SystemDriverCatalogue system;
        return system;
    }
    return *g_catalogue;
}

void setDriverCatalogue(DriverCatalogue* c) { g_catalogue = c; }

void whenCatalogueComplete(QObject* context, std::function<void()> done)
{
    if (driverCatalogue().complete()) {
        done();
        return;
    }
    if (!pipewire::portalPending()) { // answered since the last look
        driverCatalogue().rescan();
        done();
        return;
    }
    // Only the camera portal leaves the list open; its answer completes it.
    QObject::connect(&pipewire::portalAccess(), &pipewire::PortalAccess::answered, context,
                     [done = std::move(done)] {
                         driverCatalogue().rescan();
                         done();
                     },
                     Qt::SingleShotConnection);
}

} // namespace lv
