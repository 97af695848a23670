#pragma once

#include "capture/capturedriver.h"
#include "capture/capturesession.h"
#include "capture/capturetypes.h"

#include <QMutex>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

namespace lv {

class SequenceCapture;
class CaptureWindow;

// The status callback: (window, code, text) -> accepted. Called on the UI thread.
using StatusCallbackFn = std::function<bool(CaptureWindow*, int, const QString&)>;

// The capture window: a child widget over one capture session (the connected
// device and its recorder); it shows the picture and carries out every device
// operation of the program.
// Operations keep the names, arguments and results the rest of the program
// relies on; the window itself is the implicit first argument.
//
// Threads: every operation is called on the UI thread. Frames arrive on the
// device's capture thread and are handed to the UI thread by a queued call.
class CaptureWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureWindow)

public:
    ~CaptureWindow() override;

    // --- Driver enumeration (no window needed) ---
    static QString GetDriverName(int index);    // "Error!" when no driver answers
    static QString GetDriverVersion(int index); // "Error!" when no driver answers
    static int CountDrivers();                  // indices from 0 up to the first gap
    static bool HasDrivers();

    // --- Time and rate functions ---
    static uint32_t MicroSecondsPerFrame(int rate);
    static uint32_t MicroSecondsPerFrame(double rate); // rate taken to four decimals
    static int HoursOf(int64_t seconds);
    static int MinutesOf(int64_t seconds);
    static int SecondsOf(int64_t seconds);
    static int64_t TotalSeconds(int64_t hours, int64_t minutes, int64_t seconds);
    // Milliseconds between preview frames: 1000 / rate rounded, 0 below 1.
    static int PreviewIntervalMs(int rate);

    // --- Window lifetime ---
    static CaptureWindow* CreateCaptureWindow(QWidget* parent);
    bool ConnectDriver(int index);
    // Disconnects and destroys the window; false for a null window.
    static bool DisconnectDriver(CaptureWindow* window);
    bool SetStatusCallback(StatusCallbackFn callback); // empty = clear
    // Keeps what the user set on this device (its format and controls, the
    // display scaling, the capture record's movie and advanced fields, the
    // sound format) for the next connect, in this run or a later one;
    // ConnectDriver puts it back. False when not connected.
    bool KeepSettings();

    // --- Information ---
    bool GetDriverCaps(CaptureDriverCaps& caps) const;
    bool GetStatus(CaptureStatus& status) const;
    bool GetSequenceSetup(CaptureParms& parms) const;
    bool SetSequenceSetup(const CaptureParms& parms);
    int GetAudioFormatSize() const;
    bool GetAudioFormat(AudioFormat& format, int size) const;
    bool SetAudioFormat(const AudioFormat& format, int size);
    QString GetCaptureFile() const;
    bool SetCaptureFile(const QString& name);

    // --- Display ---
    bool StartPreview(int rate);
    bool StartOverlay();
    bool SetScale(bool on);
    bool FitWindow(int top, int left, int height, int width);

    // --- Dialogs ---
    bool ShowFormatDialog();
    bool ShowSourceDialog();
    bool ShowDisplayDialog();
    bool ShowCompressionDialog();

    // --- Capturing ---
    bool StartSequence();
    bool StopSequence();
    // Why the recording, asked with sound, runs without it; empty otherwise.
    QString soundMissingReason() const;
    // Why the last recording could not start or ended on a write error; empty when it did not.
    QString recordingError() const;
    bool OpenSingleFrames();
    bool CaptureOneFrame();
    bool CloseSingleFrames();
    // Hands the current frame over in process (see grabbedFrame()); the
    // system clipboard is never touched. True when a frame was there. Just
    // after connecting there may be none yet: then `done` hears later, on the
    // UI thread, whether one came within a second. The call never waits.
    bool CopyFrameToClipboard(std::function<void(bool grabbed)> done = {});

    // The frame of the last CopyFrameToClipboard, process-wide; null before any.
    static FramePtr grabbedFrame();
    static void setGrabbedFrame(FramePtr frame);

    // Where a picture of size image is drawn in a window of size window: at
    // its own size in the top-left corner when it fits and scaling is off;
    // otherwise as large as fits, keeping its shape, centred.
    static QRect pictureRect(QSize window, QSize image, bool scale);

    // The newest frame of the device (any thread); null before the first.
    FramePtr latestFrame() const;
    bool isConnected() const { return m_session.isOpen(); }
    CaptureDriver* driver() const { return m_session.driver(); }
    // The device, its newest frame and its recorder, without the window.
    CaptureSession& session() { return m_session; }
    int driverIndex() const { return m_index; }

signals:
    // A device that stopped delivering (unplugged, read error).
    void deviceLost(const QString& reason);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    explicit CaptureWindow(QWidget* parent);
    void disconnectDevice();
    void onFrameOnUiThread();
    void onDriverError(const QString& reason);
    void reportStatus(int code);
    void startStreamingIfNeeded();
    void restoreKeptSettings();

    CaptureSession m_session;
    int m_index = -1;
    StatusCallbackFn m_statusCallback;
    CaptureParms m_parms;
    AudioFormat m_audio;
    QString m_captureFile;
    bool m_overlay = false;
    bool m_preview = false;
    bool m_scale = false;
    QTimer m_previewTimer;

    // Shared with the capture thread's queued calls so they never touch a destroyed window.
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
};

} // namespace lv
