#pragma once

#include "capture/capturedriver.h"
#include "capture/capturesession.h"
#include "capture/capturetypes.h"

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

namespace lv {

class LiveView;

// The status callback: (window, code, text) -> accepted. Called on the UI thread.
using StatusCallbackFn = std::function<bool(LiveView*, int, const QString&)>;

// The capture window: the live view of one capture session. It paints the
// session's newest frame (as overlay or at the preview rate), places itself,
// and hands what the user asks for (dialogs, recording, records) to the
// session, which holds the device, its records and its memory. The
// operations keep the names, arguments and results the rest of the program
// relies on; the window itself is the implicit first argument.
//
// Threads: every operation is called on the UI thread. Frames arrive on the
// device's capture thread; the session announces them on the UI thread.
class LiveView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LiveView)

public:
    ~LiveView() override;

    // --- Driver enumeration (no window needed) ---
    static QString GetDriverName(int index);    // "Error!" when no driver answers
    static QString GetDriverVersion(int index); // "Error!" when no driver answers
    static int CountDrivers();                  // indices from 0 up to the first gap
    static bool HasDrivers();

    // --- Window lifetime ---
    static LiveView* CreateCaptureWindow(QWidget* parent);
    bool ConnectDriver(int index);
    // Disconnects and destroys the window; false for a null window.
    static bool DisconnectDriver(LiveView* window);
    bool SetStatusCallback(StatusCallbackFn callback); // empty = clear
    // See CaptureSession::keepDeviceSettings; ConnectDriver puts it back.
    bool KeepSettings() { return m_session.keepDeviceSettings(); }

    // --- Information (the session's records) ---
    bool GetDriverCaps(CaptureDriverCaps& caps) const { return m_session.driverCaps(caps); }
    bool GetStatus(CaptureStatus& status) const;
    bool GetSequenceSetup(CaptureParms& parms) const { return m_session.captureParms(parms); }
    bool SetSequenceSetup(const CaptureParms& parms) { return m_session.setCaptureParms(parms); }
    int GetAudioFormatSize() const { return m_session.isOpen() ? kAudioFormatSize : 0; }
    bool GetAudioFormat(AudioFormat& format, int size) const;
    bool SetAudioFormat(const AudioFormat& format, int size);
    QString GetCaptureFile() const { return m_session.captureFile(); }
    bool SetCaptureFile(const QString& name) { return m_session.setCaptureFile(name); }

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

    // --- Capturing (the session's recorder) ---
    bool StartSequence() { return m_session.startRecording(); }
    bool StopSequence() { return m_session.isOpen() && m_session.recorder().stop(); }
    // Why the recording, asked with sound, runs without it; empty otherwise.
    QString soundMissingReason() const { return m_session.recorder().withoutSoundReason(); }
    // Why the last recording could not start or ended on a write error; empty when it did not.
    QString recordingError() const { return m_session.recorder().errorText(); }
    bool OpenSingleFrames() { return m_session.openSingleFrames(); }
    bool CaptureOneFrame() { return m_session.captureOneFrame(); }
    bool CloseSingleFrames() { return m_session.closeSingleFrames(); }
    // Hands `done` the current frame in process (the system clipboard is
    // never touched): at once when there is one, otherwise on the UI thread
    // when the first arrives, or null when none came within a second or no
    // device is connected. True when a frame was there at once. Never waits.
    bool CopyFrameToClipboard(std::function<void(FramePtr)> done);

    // Where a picture of size image is drawn in a window of size window: at
    // its own size in the top-left corner when it fits and scaling is off;
    // otherwise as large as fits, keeping its shape, centred.
    static QRect pictureRect(QSize window, QSize image, bool scale);

    // The newest frame of the device (any thread); null before the first.
    FramePtr latestFrame() const { return m_session.latestFrame(); }
    bool isConnected() const { return m_session.isOpen(); }
    CaptureDriver* driver() const { return m_session.driver(); }
    // The engine this window shows: the device, its records, newest frame and recorder.
    CaptureSession& session() { return m_session; }
    int driverIndex() const { return m_session.deviceIndex(); }

signals:
    // A device that stopped delivering (unplugged, read error).
    void deviceLost(const QString& reason);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    explicit LiveView(QWidget* parent);
    void disconnectDevice();
    void onFrameOnUiThread();
    void onDriverError(const QString& reason);
    void reportStatus(int code);

    CaptureSession m_session;
    StatusCallbackFn m_statusCallback;
    bool m_overlay = false;
    bool m_preview = false;
    QTimer m_previewTimer;

    // Shared with the capture thread's queued calls so they never touch a destroyed window.
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
};

} // namespace lv
