#pragma once

#include "settings/preferencevalues.h"

#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QSlider;

namespace lv {

// The "Preferences" window. Shows the switches and the JPEG quality in effect
// (values) and the rest from the settings store ("LV" app: MD/SENSE "5",
// MD/OQ "1", NET/HANGUP "1");
// OK updates values and saves the four store keys; Cancel changes nothing.
// values must outlive the window. UI thread only.
class Preferences final : public QDialog {
    Q_OBJECT
public:
    explicit Preferences(PreferenceValues& values, QWidget* parent = nullptr);

    void accept() override;

private:
    PreferenceValues& m_values;
    QCheckBox* m_popUpViewer;
    QCheckBox* m_autoplay;
    QCheckBox* m_sounds;
    QSlider* m_jpeg;
    QSlider* m_motion;
    QCheckBox* m_overwrite;
    QCheckBox* m_hangUp;
};

} // namespace lv
