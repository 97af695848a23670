#pragma once

#include "base/command.h"
#include "settings/capturemodel.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace lv {

class ClickLabel;
class KeyedToolBar;
class PanelBinding;

// The movie band: the file name, sound and information buttons, the frame rate,
// the time limit and the sound format. Bound to the model's movie fields.
class MoviePanel final : public QWidget {
    Q_OBJECT

public:
    MoviePanel(CaptureModel& model, QWidget* parent);
    ~MoviePanel() override;

    // The sound button and the three sound lists, as a click on the button sets them.
    void setAudioCapture(bool on);
    // The sound lists' entries (the Audio menu's items choose them).
    void setAudioChannelsEntry(int index);
    void setAudioBitsEntry(int index);
    void setAudioRateEntry(int index);
    // The frame rate as the up-down sets it, and 29.97 as a click on the display sets it.
    void showFrameRateOf(int fps);
    void setFrameRate2997();
    // The time limit on or off ("No Limit" unticked or ticked).
    void setLimit(bool on);
    // The "Edit Other Information" button works from now on.
    void enableOtherInfo();
    // A recording's lock on the band's controls.
    void setControlsEnabled(bool enabled);
    // The toolbar, for the window's list of fixed-width toolbars.
    KeyedToolBar* toolbar() const { return m_toolbar; }

signals:
    // The user chose a file name (the panel text shows the model's name after any choice).
    void fileNameChosen();
    void compressionRequested();
    void commandRequested(lv::Command command);
    // What the sound controls show now, for the Audio menu's marks.
    void audioCaptureShown(bool on);
    void audioChannelsShown(int index);
    void audioBitsShown(int index);
    void audioRateShown(int index);

private:
    void durationChanged();
    void read(CaptureSettings& c) const;
    void show(const CaptureSettings& c);

    CaptureModel& m_model;
    // The rate the display shows (29.97 apart from the up-down's whole numbers).
    double m_frameRate = 0.0;
    KeyedToolBar* m_toolbar = nullptr;
    QSpinBox* m_frameRateControl = nullptr;
    ClickLabel* m_frameRateDisplay = nullptr;
    QSpinBox* m_hoursControl = nullptr;
    QSpinBox* m_minutesControl = nullptr;
    QSpinBox* m_secondsControl = nullptr;
    QLabel* m_hoursDisplay = nullptr;
    QLabel* m_minutesDisplay = nullptr;
    QLabel* m_secondsDisplay = nullptr;
    QCheckBox* m_disableLimit = nullptr;
    QComboBox* m_audioChannels = nullptr;
    QComboBox* m_audioBits = nullptr;
    QComboBox* m_audioRate = nullptr;
    std::unique_ptr<PanelBinding> m_binding;
};

} // namespace lv
