#pragma once

#include "capture/audiosource.h"
#include "capture/pipewire/pwsession.h"
#include "capture/videoframe.h"

#include <QMap>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;
class QWidget;

namespace lv {

// One capture device back end (V4L2 camera or the built-in test pattern).
//
// Threads: every method is called on the UI thread. Between start() and
// stop() the back end runs one capture thread of its own and calls the frame
// sink there, once per frame, in order; it calls the error sink (also on
// its thread) once when the device stops delivering for good, and then
// delivers nothing more. stop() and close() are safe to call twice and from
// the error path.
class CaptureDriver {
public:
    using FrameSink = std::function<void(const FramePtr&)>;
    using ErrorSink = std::function<void(const QString& reason)>;
    // The device's own settings (format, rate, controls) as named texts.
    using Settings = QMap<QString, QString>;

    virtual ~CaptureDriver() = default;

    virtual QString name() const = 0;
    virtual QString version() const = 0;
    // The system behind the device as the device information window names it
    // ("V4L2 (uvcvideo 6.1.0)"); empty when the back end does not say.
    virtual QString captureSystem() const { return {}; }

    // Names this device the same way across plugs and restarts, so what the
    // user set on it can be kept for it (valid once open).
    virtual QString identity() const { return name(); }
    // What the user set on the device, and putting it back after open()
    // and before start(); values the device no longer offers are skipped.
    virtual Settings keptSettings() const { return {}; }
    virtual void applyKeptSettings(const Settings&) {}

    // Opens the device; false when it cannot be used.
    virtual bool open() = 0;
    virtual void close() = 0;

    virtual QSize frameSize() const = 0;
    virtual double frameRate() const = 0;
    // The device can paint every frame itself (overlay); otherwise the
    // program shows frames at the preview rate.
    virtual bool hasOverlay() const = 0;
    virtual bool hasSourceDialog() const = 0;
    virtual bool hasFormatDialog() const = 0;
    virtual bool hasDisplayDialog() const { return true; }

    // The device's own modal dialogs; false when they cannot be shown. A
    // format change may stop and restart the stream (the sinks stay).
    virtual bool showSourceDialog(QWidget* parent) = 0;
    virtual bool showFormatDialog(QWidget* parent) = 0;

    virtual bool start(FrameSink frames, ErrorSink errors) = 0;
    virtual void stop() = 0;

    // The sound that goes with this device; null when it has none.
    virtual std::unique_ptr<AudioSource> createAudioSource() { return nullptr; }
};

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
