#pragma once

#include "capture/audiosource.h"
#include "capture/videoframe.h"

#include <QMap>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

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

} // namespace lv
