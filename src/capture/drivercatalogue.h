#pragma once

#include "capture/capturedriver.h"
#include "capture/pipewire/pwsession.h"

#include <optional>
#include <vector>

class QObject;

namespace lv {

// Lists the drivers of the machine by index and creates them.
class DriverCatalogue {
public:
    virtual ~DriverCatalogue() = default;
    // false when no driver answers at index.
    virtual bool describe(int index, QString* name, QString* version) const = 0;
    virtual std::unique_ptr<CaptureDriver> create(int index) const = 0;
    // Looks at the machine again (cameras come and go).
    virtual void rescan() {}
    // False while part of the list is still to come (in a sandbox, the
    // camera portal has not answered): an index saved earlier may then
    // name another device.
    virtual bool complete() const { return true; }
};

// The machine's drivers: every V4L2 video-capture device, every PipeWire
// video source not already among them, then the test pattern (hidden with
// LUMIVARK_TEST_DEVICE=0).
class SystemDriverCatalogue final : public DriverCatalogue {
public:
    SystemDriverCatalogue();
    bool describe(int index, QString* name, QString* version) const override;
    std::unique_ptr<CaptureDriver> create(int index) const override;
    void rescan() override;
    bool complete() const override { return m_complete; }

private:
    struct Entry {
        QString name;
        QString version;
        QString devicePath; // empty for the test pattern
        std::optional<pipewire::SourceInfo> pipewire;
    };
    std::vector<Entry> m_entries;
    bool m_complete = true;
};

// The catalogue the program uses; tests may install their own. Never null.
DriverCatalogue& driverCatalogue();

// Calls done on context's thread once driverCatalogue() is complete,
// looking at the machine again first when it was not; at once when it is.
// Never waits on the caller's thread: the event loop brings the answer.
void whenCatalogueComplete(QObject* context, std::function<void()> done);
void setDriverCatalogue(DriverCatalogue* c); // nullptr restores the system catalogue

// Installs a catalogue for the lifetime of the object (tests).
class ScopedDriverCatalogue {
public:
    explicit ScopedDriverCatalogue(DriverCatalogue* c) { setDriverCatalogue(c); }
    ~ScopedDriverCatalogue() { setDriverCatalogue(nullptr); }
    ScopedDriverCatalogue(const ScopedDriverCatalogue&) = delete;
    ScopedDriverCatalogue& operator=(const ScopedDriverCatalogue&) = delete;
};

} // namespace lv
