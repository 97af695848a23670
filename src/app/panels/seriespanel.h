#pragma once

#include "base/command.h"
#include "settings/capturemodel.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace lv {

class KeyedToolBar;
class PanelBinding;
class StampPanel;

// The series band: the file type and its frame rate, the trigger and its
// interval, the shoot button, the file, information, upload and effects buttons,
// and the series stamp controls. Bound to the model's series fields.
class SeriesPanel final : public QWidget {
    Q_OBJECT

public:
    SeriesPanel(CaptureModel& model, QWidget* parent);
    ~SeriesPanel() override;

    StampPanel& stamps() const { return *m_stamps; }

    // The series frame rates (the eleventh chosen), as the window's load sets them.
    void fillFrameRates(int count);
    // The first file type, chosen anew.
    void resetFileType();
    // The file type's entry (0 movie file ... 5 clipboard).
    int fileType() const;
    // The file type by its entry, as a choice in the list makes it (also when unchanged).
    void showFileType(int type);
    // The trigger as its button sets it: the interval, the motion label or the shoot button shows.
    void setTrigger(TriggerKind trigger);
    // The "Edit Other Information" button works from now on (for movie files only).
    void enableOtherInfo();
    // A recording's lock on the band's controls.
    void setControlsEnabled(bool enabled);
    // A series running: the shoot button works, the frame rate is locked; and back.
    void setSeriesRunning(bool running);
    // The toolbars, for the window's list of fixed-width toolbars.
    QList<KeyedToolBar*> toolbars() const;

signals:
    // The text the status bar's file name panel shows after a change of the file.
    void fileNameShown(const QString& panelText);
    void compressionRequested();
    void effectsMenuRequested(QPoint globalPos);
    void shootClicked();
    void commandRequested(lv::Command command);

private:
    void triggerClicked(const QString& key);
    void intervalChanged();
    void read(CaptureSettings& c) const;
    void show(const CaptureSettings& c);

    CaptureModel& m_model;
    bool m_otherInfoReady = false;
    QComboBox* m_mode = nullptr;
    QComboBox* m_frameRate = nullptr;
    QSpinBox* m_hoursControl = nullptr;
    QSpinBox* m_minutesControl = nullptr;
    QSpinBox* m_secondsControl = nullptr;
    QLabel* m_hoursDisplay = nullptr;
    QLabel* m_minutesDisplay = nullptr;
    QLabel* m_secondsDisplay = nullptr;
    KeyedToolBar* m_toolbar = nullptr;
    KeyedToolBar* m_trigger = nullptr;
    QLabel* m_motionLabel = nullptr;
    QPushButton* m_shooter = nullptr;
    StampPanel* m_stamps = nullptr;
    std::unique_ptr<PanelBinding> m_binding;
};

} // namespace lv
