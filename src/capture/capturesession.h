#pragma once

#include "capture/capturedriver.h"
#include "capture/capturetypes.h"
#include "capture/recorder.h"

#include <QMutex>
#include <QObject>
#include <atomic>
#include <memory>

namespace lv {

// The capture engine: one connected device without a window. It owns which
// device is open, the driver, its newest frame, the recorder, the device's
// records (capture record, sound format, capture file, display scaling) and
// what is remembered per device between connects. The command-line program
// captures through it; the capture window only shows the frames it announces.
//
// Threads: call it on the thread it lives on; frames arrive on the device's
// capture thread and every signal is delivered on the session's thread.
class CaptureSession final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureSession)

public:
    explicit CaptureSession(QObject* parent = nullptr);
    ~CaptureSession() override;

    // Opens and starts device `index` of the driver catalogue; false (with
    // errorText()) when it cannot be used. The records start afresh (the
    // frame period from the device's rate); with remembersDevices(), what
    // keepDeviceSettings() kept for this device comes back first. Then
    // `prepare` may change the device's settings between open and start.
    bool open(int index, const std::function<void(CaptureDriver&)>& prepare = {});
    // Stops a recording and the device; safe to call twice.
    void close();
    bool isOpen() const { return m_driver != nullptr; }
    CaptureDriver* driver() const { return m_driver.get(); }
    // The catalogue index of the open device; -1 when none is open.
    int deviceIndex() const { return m_driver ? m_index : -1; }
    QString errorText() const { return m_error; }

    // --- Per-device memory ---
    // The program's window remembers what the user set on each device; the
    // command-line program opens devices as they are (the default).
    void setRemembersDevices(bool on) { m_remembers = on; }
    bool remembersDevices() const { return m_remembers; }
    // Keeps what the user set on the open device (its format and controls,
    // the display scaling, the capture record's movie and advanced fields,
    // the sound format) for its next open, in this run or a later one.
    // False when no device is open.
    bool keepDeviceSettings();

    // --- The device's records (false / empty when no device is open) ---
    bool captureParms(CaptureParms& parms) const;
    bool setCaptureParms(const CaptureParms& parms);
    bool audioFormat(AudioFormat& format) const;
    // Only 1 or 2 channels of 8 or 16 bits at 1000 to 48000 samples a second.
    bool setAudioFormat(const AudioFormat& format);
    QString captureFile() const;
    bool setCaptureFile(const QString& name); // false for an empty name
    // Whether the picture is scaled to the view; kept across devices.
    bool scale() const { return m_scale; }
    bool setScale(bool on);
    // The device's size, the scaling and the recorder's counts; the view's
    // live and overlay flags are left as they are.
    bool status(CaptureStatus& status) const;
    // What the open device can do (overlay, its dialogs) and its index.
    bool driverCaps(CaptureDriverCaps& caps) const;

    // The newest frame (any thread); null before the first.
    FramePtr latestFrame() const;
    // Hands `done` the newest frame: at once when there is one, otherwise on
    // the session's thread when the first arrives, or null after timeoutMs
    // or when the device is lost first. Never waits on the
    // caller's thread. Nothing is called once `context` is gone.
    void whenFrame(QObject* context, int timeoutMs, std::function<void(FramePtr)> done);

    // Starts a streaming recording; setup.driver and setup.status are filled
    // in by the session. False (with errorText()) when it cannot start.
    bool startRecording(Recorder::Setup setup);
    // The same into the capture file, with the capture record and sound
    // format of the records; false also while a recording runs.
    bool startRecording();
    // Ends a running recording; recordingEnded follows. Safe to call twice.
    void stopRecording();
    bool isRecording() const { return m_sequence->capturing(); }

    // A frame-by-frame movie at the rate of parms.dwRequestMicroSecPerFrame and
    // the device's frame size; each captureOneFrame adds the newest frame.
    // close() closes it too. False when no device is open or the file cannot be written.
    bool openSingleFrames(const QString& fileName, const CaptureParms& parms);
    // The same into the capture file at the records' frame period.
    bool openSingleFrames();
    bool captureOneFrame();
    // False when none was open.
    bool closeSingleFrames();
    bool singleFramesOpen() const { return m_singleOpen; }
    Recorder& recorder() { return *m_sequence; }
    const Recorder& recorder() const { return *m_sequence; }

signals:
    // A new frame is there (coalesced: not one signal per frame when the
    // receiver is slow).
    void frameArrived();
    // The device stopped delivering for good.
    void deviceLost(const QString& reason);
    // 300 when a recording starts, 301 when it has ended and its file is closed.
    void recordingStatus(int code);

private:
    void onDriverFrame(const FramePtr& frame); // capture thread
    void resetRecords(int index);
    void restoreDeviceSettings();

    std::unique_ptr<CaptureDriver> m_driver;
    int m_index = -1;
    bool m_remembers = false;
    CaptureParms m_parms;
    AudioFormat m_audio;
    QString m_captureFile;
    bool m_scale = false;
    std::unique_ptr<Recorder> m_sequence;
    QString m_error;
    mutable QMutex m_frameMutex;
    FramePtr m_latest;
    std::atomic<bool> m_framePending{false};
    bool m_singleOpen = false;
    // Shared with queued calls from other threads so they never touch a destroyed session.
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
};

} // namespace lv
