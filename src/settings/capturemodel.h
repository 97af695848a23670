#pragma once

#include "base/devicerecords.h"
#include "settings/capturesettings.h"
#include "settings/preferencevalues.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <array>
#include <functional>

namespace lv {

// What the capture is doing. The record button, the motion button and the
// stop/start decisions follow it.
enum class RunState {
    Idle,          // nothing runs
    Recording,     // a movie is being recorded
    SeriesRunning, // a series of pictures runs (manual, timer or motion trigger)
    MotionArmed,   // the motion detector waits to start the current mode once
};

// The live capture settings and the run state, without widgets: the main
// window's panels show it and write their edits into it; the capture logic,
// the video window and the parameters file read it. UI thread only.
class CaptureModel final : public QObject {
    Q_OBJECT

public:
    explicit CaptureModel(QObject* parent = nullptr);

    const CaptureSettings& settings() const { return m_settings; }
    // Changes the settings through `change`; settingsChanged when anything differs.
    void edit(const std::function<void(CaptureSettings&)>& change);
    void setSettings(const CaptureSettings& settings);
    // The settings as the parameters file keeps them: the stamps and the
    // "writeinfo" button of the current mode's panel in the keyed fields.
    CaptureSettings forFile() const;
    // The stamps of the single-image panel or of the series panel.
    const PanelStamps& stamps(bool series) const
    {
        return series ? m_settings.SeriesStamps : m_settings.ImageStamps;
    }
    // Whether the information is written at the end of a recording of the current mode.
    bool writesInfo() const;

    // The capture file (the parameters file's Filename).
    QString fileName() const { return m_settings.Filename; }
    void setFileName(const QString& name);
    // The movie information fields, in the file's order: Copyright, Artist,
    // Subject, Product, Source, Comments.
    std::array<QString, 6> infoFields() const;
    void setInfoFields(const std::array<QString, 6>& fields);
    // One of them; an index outside 0..5 is ignored.
    void setInfoField(int index, const QString& text);

    // The recording setup of the device: the advanced settings of the
    // parameters file live here (forFile fills their keys from it), the rest
    // is filled in from the movie panel when a recording starts.
    CaptureParms& captureParms() { return m_parms; }
    const CaptureParms& captureParms() const { return m_parms; }

    // The connected device's records as they were last read from its
    // capture session: its status (picture size, live or overlay view, the
    // recorder's counts) and what it can do. They stay as they were after a
    // disconnect; the panels, the parameters file and the device
    // information window read them.
    CaptureStatus& deviceStatus() { return m_deviceStatus; }
    const CaptureStatus& deviceStatus() const { return m_deviceStatus; }
    CaptureDriverCaps& deviceCaps() { return m_deviceCaps; }
    const CaptureDriverCaps& deviceCaps() const { return m_deviceCaps; }

    // The preferences in effect and the folder the program keeps its files
    // in (ends in "/"); neither is shown by a panel.
    PreferenceValues& preferences() { return m_preferences; }
    const PreferenceValues& preferences() const { return m_preferences; }
    QString programDirectory() const { return m_programDirectory; }
    void setProgramDirectory(const QString& dir) { m_programDirectory = dir; }

    RunState runState() const { return m_runState; }
    void setRunState(RunState state);
    // The run state that means "running" in a mode: pressing record then stops.
    bool runningIn(CaptureKind mode) const;

    // The driver status line, the capture time and the dropped-frames display.
    QString statusText() const { return m_statusText; }
    void setStatusText(const QString& text);
    QColor statusColor() const { return m_statusColor; }
    QString captureTimeText() const { return m_captureTime; }
    void setCaptureTimeText(const QString& text);
    QString droppedText() const { return m_droppedText; }
    QColor droppedColor() const { return m_droppedColor; }
    void setDropped(const QString& text, const QColor& color);
    // A new text in the colour the display has.
    void setDroppedText(const QString& text) { setDropped(text, m_droppedColor); }
    // The end of the few seconds a finished recording's texts stay: those in
    // a warning colour (not white) are cleared. True when one was.
    bool expireStatus();

    // The outcome of the last write of a movie's information.
    bool infoWriteFailed() const { return m_infoWriteFailed; }
    void setInfoWriteFailed(bool failed) { m_infoWriteFailed = failed; }

signals:
    void settingsChanged();
    void runStateChanged(lv::RunState state);
    // The status line, the capture time or the dropped-frames display changed.
    void statusChanged();

private:
    CaptureSettings m_settings;
    RunState m_runState = RunState::Idle;
    QString m_statusText;
    QColor m_statusColor{255, 255, 255};
    QString m_captureTime = QStringLiteral("00:00:00.00");
    QString m_droppedText = QStringLiteral("-");
    QColor m_droppedColor{255, 255, 255};
    bool m_infoWriteFailed = false;
    CaptureParms m_parms;
    CaptureStatus m_deviceStatus;
    CaptureDriverCaps m_deviceCaps;
    PreferenceValues m_preferences;
    QString m_programDirectory;
};

} // namespace lv
