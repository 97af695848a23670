#pragma once

#include "base/command.h"
#include "capture/ui/liveview.h"
#include "image/ui/imageeditor.h"
#include "image/ui/seriesviewer.h"
#include "modes/runrecord.h"
#include "settings/capturemodel.h"
#include "modes/captureprogram.h"
#include "net/seriesuploader.h"
#include "schedule/ui/autostart.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace lv {

class MainWindow;

// The main window's side of a capture: it registers the capture commands
// (record, snapshot, clipboard, motion detector, autostart, write movie info)
// with the window's dispatcher; the dispatch by mode, snapshots into
// the image editor and onto the clipboard, the series viewer, the questions
// and the buttons. The series, the timers, the motion detector and the files
// are the CaptureProgram's, which it drives. UI thread only.
class CaptureController final : public QObject {
    Q_OBJECT

public:
    explicit CaptureController(MainWindow& master);
    ~CaptureController() override;

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
    void seriesTimerTick() { m_program->seriesTick(); }
    void motionTick() { m_program->motionTick(); }
    // The operation bar's "motion" button: wait for motion, then start once.
    void ArmMotionDetector();
    // The operation bar's "autostart" button.
    void OpenAutostart();
    // The information fields into the current capture file (the
    // write-movie-info command; a recording writes its own at its end).
    void WriteInfo();

    // The windows the capture opens (null when closed).
    ImageEditor* editor() const { return m_editor; }
    SeriesViewer* multiImage() const { return m_viewer; }
    Autostart* autostart() const { return m_autostart; }
    const motion::Detector& motionDetector() const { return m_program->motionDetector(); }
    const SeriesCountdown& seriesCountdown() const { return m_program->seriesCountdown(); }
    CaptureProgram& program() { return *m_program; }

    // Where series images are uploaded; the application owns the settings.
    // Plays the shutter sound to its end; replaceable so tests can see it called.
    std::function<bool(const QString& wavFile)> playSound;

private:
    // The current frame, handed to `then` at once or when the device delivers its first.
    void grabFrame(std::function<void(const QImage&)> then);
    ImageEditor* showInEditor(const QImage& frame, const QString& caption);
    ImageEditor* ensureEditor();
    SeriesViewer* ensureViewer();
    void closeViewer();
    void shutterSound();
    // The frame into the editor, then `shown`; nothing when there is no picture
    // or the edited one is kept (or asked about: then `retry` runs after the answer).
    void editorFrame(const QString& caption, std::function<void()> retry, std::function<void(ImageEditor&)> shown = {});
    void showSeriesPicture(const QImage& picture, const QString& title);
    void watchDevice();
    void masterTick();
    bool overwriteAllowed(bool withIcon);
    bool editorMayTakeFrame(std::function<void()> retry);
    void runWaitingCaptures();

    MainWindow& m_master;
    CaptureModel& m_model;
    RunRecord& m_run;
    QPointer<ImageEditor> m_editor;
    QPointer<SeriesViewer> m_viewer;
    QPointer<Autostart> m_autostart;
    QPointer<LiveView> m_watched;
    CaptureProgram* m_program = nullptr;
    // Sends the series pictures through the upload spool; made anew when the
    // Internet Settings change.
    std::unique_ptr<SeriesUploader> m_uploader;
    // Captures that came while the editor asked about unsaved edits; they
    // run, in order, once it has its answer.
    std::vector<std::function<void()>> m_waitingCaptures;
};

} // namespace lv
