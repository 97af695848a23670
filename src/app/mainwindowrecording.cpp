// The main window during a movie recording: the status panels and the record
// button follow the recording's own reports.
#include "app/mainwindow.h"
#include "app/panels/panelparts.h"
#include "app/videoscreen.h"
#include "capture/recordingstatus.h"
#include "capture/ui/liveview.h"

namespace lv {

void MainWindow::watchRecording(MovieRecording& recording)
{
    connect(&recording, &MovieRecording::started, this, &MainWindow::recordingStarted);
    connect(&recording, &MovieRecording::progress, this,
            [this](uint32_t frames, uint32_t dropped, int64_t, int64_t freeBytes, int64_t) {
                recordingProgress(frames, dropped, freeBytes);
            });
    connect(&recording, &MovieRecording::ended, this, &MainWindow::recordingEnded);
}

void MainWindow::recordingStarted(const QString&, const QString& withoutSound)
{
    m_recordingWithoutSound = withoutSound;
    m_recordingEndPending = false;
    // The time starts at nought; the device's status is taken again with the first recorded frame.
    m_model.setCaptureTimeText(QStringLiteral("00:00:00.00"));
}

void MainWindow::recordingProgress(uint32_t frames, uint32_t dropped, int64_t freeBytes)
{
    if (LiveView* w = m_videoScreen->captureWindow())
        w->GetStatus(m_videoScreen->status());
    m_run.FreeSpaceNow = freeBytes;
    if (m_run.FreeSpaceNow >= m_run.FreeSpaceAtStart)
        m_run.FreeSpaceAtStart = m_run.FreeSpaceNow;
    m_run.EstimatedSize = static_cast<float>(m_run.FreeSpaceAtStart - m_run.FreeSpaceNow);
    setPanelText(QStringLiteral("filesize"),
                 QStringLiteral("Estimated Filesize: ")
                     + panelparts::withBlank(static_cast<qint64>(m_run.EstimatedSize / 1048576.0f)) + QStringLiteral(" Mb"));
    // A recording that started without the record button (a scheduled or motion start) shows too.
    if (m_model.runState() == RunState::Idle)
        m_model.setRunState(RunState::Recording);
    if (visibleBand() == QLatin1String("multiple")) {
        if (m_model.settings().Trigger == TriggerKind::Manual)
            setStatusString(QString::number(frames) + QStringLiteral(" frames captured"));
    } else {
        // Sound was asked for but no input could give it: the user hears of it now, not at playback.
        setStatusString(m_recordingWithoutSound.isEmpty() ? QStringLiteral("Recording")
                                                          : QStringLiteral("Recording without sound"));
    }
    m_model.setCaptureTimeText(recordingstatus::elapsedText(frames, m_run.FrameRate));
    if (visibleBand() != QLatin1String("movie") || m_model.captureParms().wPercentDropForError < 1) {
        m_model.setDroppedText(QString());
    } else {
        const auto d = recordingstatus::droppedText(frames, dropped, m_model.captureParms().wPercentDropForError);
        m_model.setDropped(d.text, d.color);
    }
}

void MainWindow::recordingEnded(const MovieRecordingResult& result)
{
    if (LiveView* w = m_videoScreen->captureWindow())
        w->GetStatus(m_videoScreen->status());
    if (visibleBand() == QLatin1String("movie") && m_model.runState() == RunState::Recording)
        m_model.setRunState(RunState::Idle);
    m_recordingResult = result;
    m_recordingEndPending = true;
    showRecordingEnd();
}

void MainWindow::showRecordingEnd()
{
    const QString band = visibleBand();
    if (band != QLatin1String("movie") && band != QLatin1String("multiple"))
        return; // shown when one of them is back
    m_recordingEndPending = false;
    const MovieRecordingResult& r = m_recordingResult;
    // The recording wrote the information itself; its outcome is shown here.
    bool infoFailed = false;
    if (r.infoAsked) {
        setStatusString(QStringLiteral("Writing Info"));
        m_model.setInfoWriteFailed(!r.infoWritten);
        if (!r.infoWritten) {
            setStatusString(r.infoError);
            infoFailed = true;
        }
    }
    // A write error, or a failed information write, leaves its reason standing instead of "Stopped".
    if (!r.error.isEmpty())
        setStatusString(QStringLiteral("Recording stopped: ") + r.error);
    else if (!infoFailed)
        setStatusString(QStringLiteral("Stopped"));
    if (r.diskFull)
        setStatusString(QStringLiteral("Recording stopped: the disk is full"));
    if (m_model.runState() == RunState::Recording)
        m_model.setRunState(RunState::Idle);
    MasterTimer2.start();
    if (m_model.preferences().PopUpMovieViewer == QLatin1String("1") && !m_run.ViewerShown) {
        m_run.ViewerShown = true;
        emit commandRequested(Command::PopUpViewer);
    }
}

} // namespace lv
