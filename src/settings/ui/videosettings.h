#pragma once

#include "base/devicerecords.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace lv {

class WindowDragger;

// "Warn when drop " + n + " % of frames", the entries of the dropped-frames list.
QString droppedFramesText(int percent);

// The advanced capture settings window: borderless, moved by dragging its
// background or labels. Shows parms on load; OK copies the controls back
// (text boxes read leniently: the leading number, rounded, 0 without one;
// a list left without a selection keeps its field); Cancel changes nothing;
// Defaults resets the controls only. parms must outlive the window.
class VideoSettings final : public QDialog {
    Q_OBJECT
public:
    explicit VideoSettings(CaptureParms& parms, QWidget* parent = nullptr);

    void accept() override;
    void setDefaults();
    WindowDragger* dragger() const { return m_dragger; }

private:
    CaptureParms& m_parms;
    QComboBox* m_yield;
    QLineEdit* m_videoBuffers;
    QLineEdit* m_audioBuffers;
    QCheckBox* m_dosBuffers;
    QCheckBox* m_disableCache;
    QLineEdit* m_maxIndexSize;
    QLineEdit* m_chunk;
    QComboBox* m_droppedFrames;
    WindowDragger* m_dragger;
};

} // namespace lv
