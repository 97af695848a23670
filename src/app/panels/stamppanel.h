#pragma once

#include "settings/capturemodel.h"

#include <QObject>

#include <memory>

class QBoxLayout;
class QComboBox;
class QIcon;
class QLineEdit;
class QWidget;

namespace lv {

class ColorSwatch;
class KeyedToolBar;
class PanelBinding;

// The stamp controls of a band: the insert time/date/text buttons with their
// colour swatches, the three position lists and the text. The single-image band
// and the series band each carry one; their positions, buttons and text are the
// model's stamps of that band, their colours the stamp colours both share.
// The controls sit in the band's row beside its other controls.
class StampPanel final : public QObject {
    Q_OBJECT

public:
    // prefix names the controls ("Image" gives ImageTimeColor...); series picks the model's series stamps.
    StampPanel(CaptureModel& model, bool series, QWidget* band, QBoxLayout* row, const QString& prefix,
               const QString& toolbarName);
    ~StampPanel() override;

    // The buttons, lists and text take edits (the swatches always show).
    void setStampsEnabled(bool enabled);
    // The insert buttons (a recording's lock; the lists stay as they are).
    void setToolbarEnabled(bool enabled);
    // The swatches show the model's stamp colours.
    void refreshSwatches();
    // The insert buttons' toolbar, for the window's list of fixed-width toolbars.
    KeyedToolBar* toolbar() const { return m_toolbar; }
    // Every position list at its first entry.
    void resetPositions();
    // The picture of every entry of a position list: 0 time, 1 date, 2 text.
    void setPositionIcon(int which, const QIcon& icon);

signals:
    // A colour button was clicked: 0 time, 1 date, 2 text.
    void colorRequested(int which);

private:
    void read(CaptureSettings& c) const;
    void show(const CaptureSettings& c);

    CaptureModel& m_model;
    const bool m_series;
    KeyedToolBar* m_toolbar = nullptr;
    ColorSwatch* m_timeColor = nullptr;
    ColorSwatch* m_dateColor = nullptr;
    ColorSwatch* m_textColor = nullptr;
    QComboBox* m_timePosition = nullptr;
    QComboBox* m_datePosition = nullptr;
    QComboBox* m_textPosition = nullptr;
    QLineEdit* m_text = nullptr;
    std::unique_ptr<PanelBinding> m_binding;
};

} // namespace lv
