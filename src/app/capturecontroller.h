#pragma once

#include "base/command.h"
#include "base/sessionstate.h"
#include "capture/capturewindow.h"
#include "image/image.h"
#include "image/multiimage.h"
#include "schedule/autostart.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace lv {

class Master;
struct FtpSettings;
struct StampSettings;

namespace motion {
class Detector;
}
class SeriesCountdown;

// Everything that starts, runs and ends a capture from the main window: the
// dispatcher, snapshots, series shots, the series and motion timers, the end
// of a recording and the scheduled start. UI thread only.
class CaptureController final : public QObject {
    Q_OBJECT

public:
    CaptureController(Master& master, SessionState& state);
    ~CaptureController() override;

    // A command of the main window (record, snapshot, clipboard, motion detector,
    // autostart, write movie info); false when not ours.
    bool handle(Command command);

    // Starts or stops the capture of the visible mode; every trigger comes here.
    void DispatchCapture(bool start);
    // The operation bar's record button, by mode and run state.
    void RecordButton();

    // Snapshots into the image editor; the second also leaves it on the clipboard.
    void CaptureFrameToEditor();
    void PutFrameOnClipboard();
    // One image of a series, stored as the file type says. False when it
    // could not be taken or stored (the status label says why).
    bool ShootImage();

    // The timers' steps (the series interval and the motion detector).
    void seriesTimerTick();
    void motionTick();
    // The operation bar's "motion" button: wait for motion, then start once.
    void ArmMotionDetector();
    // The operation bar's "autostart" button.
    void OpenAutostart();
    // At the end of a recording with "writeinfo" pressed.
    void WriteInfo();

    // The windows the capture opens (null when closed).
    Image* editor() const { return m_editor; }
    MultiImage* multiImage() const { return m_viewer; }
    Autostart* autostart() const { return m_autostart; }
    const motion::Detector& motionDetector() const { return *m_motion; }
    const SeriesCountdown& seriesCountdown() const { return *m_countdown; }

    // Where series images are uploaded; the application owns the settings.
    // Plays the shutter sound to its end; replaceable so tests can see it called.
    std::function<bool(const QString& wavFile)> playSound;

private:
    QImage grabFrame();
    StampSettings stampsOf(bool series) const;
    StampSettings imageStamps() const;
    StampSettings seriesStamps() const;
    Image* ensureEditor();
    MultiImage* ensureViewer();
    void closeViewer();
    void shutterSound();
    // False when the frame did not reach the editor (no picture, or the edited one is kept or asked about).
    bool editorFrame(const QString& caption, std::function<void()> retry);
    void motionError();
    void watchDevice();
    void masterTick();
    bool overwriteAllowed(bool withIcon);
    bool editorMayTakeFrame(std::function<void()> retry);
    void runWaitingCaptures();

    Master& m_master;
    SessionState& m_state;
    QPointer<Image> m_editor;
    QPointer<MultiImage> m_viewer;
    QPointer<Autostart> m_autostart;
    QPointer<CaptureWindow> m_watched;
    std::unique_ptr<motion::Detector> m_motion;
    std::unique_ptr<SeriesCountdown> m_countdown;
    // Added to ImageCount for the number in a numbered series' file names, so
    // a series goes on after the pictures already there instead of over them.
    int32_t m_numberOffset = 0;
    bool m_inMotionTick = false;
    bool m_deviceLost = false;
    bool m_wasCapturing = false;
    // Captures that came while the editor asked about unsaved edits; they
    // run, in order, once it has its answer.
    std::vector<std::function<void()>> m_waitingCaptures;
};

} // namespace lv
