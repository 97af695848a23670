#pragma once

#include "base/fileresult.h"
#include "capture/capturesession.h"
#include "image/stamping.h"
#include "modes/motionmeasure.h"
#include "modes/runrecord.h"
#include "modes/seriesnaming.h"
#include "settings/capturemodel.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

namespace lv {


// What a capture runs without a window: a series of pictures (manual, timer
// or motion trigger) with its numbered, stamped files; the motion detector
// armed to start a capture once; the information written into a finished
// frame-by-frame movie. It takes its settings from
// the model and its frames from the session, writes its run state and status
// texts into the model, its counters into the run record, and tells the
// window by signals what it should show.
// UI thread (the thread it lives on) only.
class CaptureProgram final : public QObject {
    Q_OBJECT

public:
    CaptureProgram(CaptureModel& model, RunRecord& run, QObject* parent = nullptr);
    ~CaptureProgram() override;

    // The connected device; null when none. A frame-by-frame movie still open
    // on the previous device is closed.
    void setSession(CaptureSession* session);
    CaptureSession* session() const { return m_session; }
    // The device stopped delivering; no pictures until another is connected.
    bool deviceLost() const { return m_deviceLost; }

    // Sends a stored series picture to the FTP server (local path, remote
    // name); it reports through the status itself, and may return before the
    // transfer ends. Unset: nothing is sent.
    std::function<void(const QString& file, const QString& remoteName)> upload;
    // True while an earlier upload still runs: the series and motion ticks
    // wait for it instead of stacking shots. Unset: never.
    std::function<bool()> uploadRunning;

    // --- Series ---
    // Starts a series of the model's file type and trigger: SeriesRunning;
    // numbered files go on after those already there.
    void startSeries();
    // Ends the series: the timers stop, a frame-by-frame movie is closed (its
    // information written when asked), Idle. Safe to call twice.
    void stopSeries();
    // One picture of the series, stored as the file type says. False when it
    // could not be taken or stored (the status says why). Just after the
    // device connected it is stored when the first frame arrives (true then).
    bool shoot();
    // The series timer's step: the countdown, and a shot when it is due.
    void seriesTick();

    // --- Motion ---
    // Waits for motion, then asks once for the current mode to start (startRequested).
    void armMotion();
    // Stops the motion detector; true when it was running. A detector that
    // was armed leaves the run state Idle.
    bool interruptMotion();
    // The motion timer's step.
    void motionTick();

    // A scheduled start has come: the window starts its current mode.
    void requestStart() { emit startRequested(); }

    // --- Movie information ---
    // Writes the information fields into the current capture file (a
    // frame-by-frame movie; a streaming recording writes its own, see
    // MovieRecording); false (the status says why) when they could not be written.
    bool writeInfo();

    // The stamps of the image panel or the series panel, in the model's colours.
    StampSettings stamps(bool series) const;

    QTimer& seriesTimer() { return m_seriesTimer; }
    QTimer& motionTimer() { return m_motionTimer; }
    const motion::Detector& motionDetector() const { return m_motion; }
    const SeriesCountdown& seriesCountdown() const { return m_countdown; }

signals:
    // A picture of the series is there: `title` is its file name, or
    // "Clipboard" for the clipboard type, which the window fills.
    void pictureShot(const QImage& picture, const QString& title);
    // The window should start its current mode (motion seen while armed, a scheduled start).
    void startRequested();
    // The motion detector got no picture; what ran has been stopped.
    void motionFailed();
    // A series file could not be written: the message the user is to see
    // (the status already says which file).
    void fileFailed(const lv::FileResult& result);
    // A shot of the series was not stored: `reason` is what the status line
    // says. It comes before the shot's pictureShot, so a caller that counts
    // stored pictures, or ends the series on the first failure, knows in time.
    void shotFailed(const QString& reason);

private:
    QImage newestFrame() const;
    // Stamps frame as picture `number` of the series and stores it as the type says.
    bool store(const QImage& frame, int type, int32_t number);
    void setStatus(const QString& text) { m_model.setStatusText(text); }
    // Says why a shot was not stored; false, for the caller to return.
    bool shotFailedWith(const QString& status);
    void motionError();

    CaptureModel& m_model;
    RunRecord& m_run;
    QPointer<CaptureSession> m_session;
    QTimer m_seriesTimer;
    QTimer m_motionTimer;
    motion::Detector m_motion;
    SeriesCountdown m_countdown;
    // Added to the run record's ImageCount for the number in a numbered series' file names, so
    // a series goes on after the pictures already there instead of over them.
    int32_t m_numberOffset = 0;
    bool m_inMotionTick = false;
    bool m_deviceLost = false;
};

} // namespace lv
