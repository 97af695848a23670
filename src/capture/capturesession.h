#pragma once

#include "capture/capturedriver.h"
#include "capture/sequencecapture.h"

#include <QMutex>
#include <QObject>
#include <atomic>
#include <memory>

namespace lv {

// One connected capture device without a window: the driver, its newest
// frame and the recorder. What the command-line program captures through;
// a window can show the frames it announces.
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
    // errorText()) when it cannot be used. `prepare` may change the device's
    // settings between open and start.
    bool open(int index, const std::function<void(CaptureDriver&)>& prepare = {});
    // Stops a recording and the device; safe to call twice.
    void close();
    bool isOpen() const { return m_driver != nullptr; }
    CaptureDriver* driver() const { return m_driver.get(); }
    QString errorText() const { return m_error; }

    // The newest frame (any thread); null before the first.
    FramePtr latestFrame() const;
    // Hands `done` the newest frame: at once when there is one, otherwise on
    // the session's thread when the first arrives, or null after timeoutMs
    // or when the device is lost first. Never waits on the
    // caller's thread. Nothing is called once `context` is gone.
    void whenFrame(QObject* context, int timeoutMs, std::function<void(FramePtr)> done);

    // Starts a streaming recording; setup.driver and setup.status are filled
    // in by the session. False (with errorText()) when it cannot start.
    bool startRecording(SequenceCapture::Setup setup);
    // Ends a running recording; recordingEnded follows. Safe to call twice.
    void stopRecording();
    bool isRecording() const { return m_sequence->capturing(); }

    // A frame-by-frame movie at the rate of parms.dwRequestMicroSecPerFrame and
    // the device's frame size; each captureOneFrame adds the newest frame.
    // close() closes it too. False when no device is open or the file cannot be written.
    bool openSingleFrames(const QString& fileName, const CaptureParms& parms);
    bool captureOneFrame();
    // False when none was open.
    bool closeSingleFrames();
    bool singleFramesOpen() const { return m_singleOpen; }
    SequenceCapture& recorder() { return *m_sequence; }
    const SequenceCapture& recorder() const { return *m_sequence; }

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

    std::unique_ptr<CaptureDriver> m_driver;
    std::unique_ptr<SequenceCapture> m_sequence;
    QString m_error;
    mutable QMutex m_frameMutex;
    FramePtr m_latest;
    std::atomic<bool> m_framePending{false};
    bool m_singleOpen = false;
    // Shared with queued calls from other threads so they never touch a destroyed session.
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
};

} // namespace lv
