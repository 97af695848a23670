#pragma once

#include "base/command.h"
#include "settings/capturemodel.h"

#include <QLabel>

#include <functional>
#include <optional>

class QComboBox;
class QSpinBox;

namespace lv {

class KeyedToolBar;

// A label that reports clicks (the frame-rate display, the status panel).
class ClickLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
protected:
    void mousePressEvent(QMouseEvent* e) override;
};

// A colour swatch showing one stamp colour.
class ColorSwatch final : public QLabel {
    Q_OBJECT
public:
    explicit ColorSwatch(const QString& name, QWidget* parent = nullptr);
    void setPackedColor(uint32_t packed);
    uint32_t packedColor() const { return m_packed; }
private:
    uint32_t m_packed = 0;
};

// Keeps a panel's controls and its own fields of the live model in step: every
// edit of a control is read into the model; every change of the model's fields
// the panel shows is shown in its controls, each set as a user would set it so
// its own handler runs.
class PanelBinding final {
public:
    struct Fields {
        std::function<void(CaptureSettings&)> read;       // the controls into the settings
        std::function<void(const CaptureSettings&)> show; // the settings into the controls
        std::function<bool(const CaptureSettings&, const CaptureSettings&)> same; // the panel's fields equal
    };
    // Binds at once and reads the controls into the model; context ends the binding.
    PanelBinding(CaptureModel& model, QObject* context, Fields fields);

    // Reads the controls into the model; nothing while the controls are being shown.
    void pull();
    // Pulls on every emission of a control's change signal.
    template <typename Sender, typename Signal>
    void pullOn(Sender* sender, Signal signal)
    {
        QObject::connect(sender, signal, m_context, [this] { pull(); });
    }

private:
    void show();

    CaptureModel& m_model;
    QObject* m_context;
    Fields m_fields;
    bool m_showing = false;
    CaptureSettings m_shown; // the panel's fields as the controls last showed them
};

namespace panelparts {

QString twoDigits(int v);
// A number with a leading blank when not negative, as numbers become text here.
QString withBlank(qint64 v);
QColor colorFromPacked(uint32_t packed);
uint32_t packedFromColor(const QColor& c);

// An up-down: only its arrows show; the label beside it shows the value.
QSpinBox* upDown(const QString& name, int lo, int hi, QWidget* parent, const QString& spokenName);
QLabel* display(const QString& name, const QString& text, QWidget* parent);
QComboBox* list(const QString& name, const QStringList& entries, QWidget* parent, const QString& tip = {});

// The total of an hours, minutes and seconds trio of up-downs.
int32_t totalOf(const QSpinBox* h, const QSpinBox* m, const QSpinBox* s);
// Sets the three up-downs to a total, one at a time as a user would (each runs its handler).
void showTotal(QSpinBox* h, QSpinBox* m, QSpinBox* s, int32_t total);
// Shows hours, minutes and seconds with two digits each; an all-zero time becomes one second.
void showTimeParts(QSpinBox* h, QSpinBox* m, QSpinBox* s, QLabel* hd, QLabel* md, QLabel* sd);
void showIndex(QComboBox* c, int index);
void showPressed(KeyedToolBar* tb, const QString& key, bool pressed);

// The command a toolbar button stands for; a button without one is logged.
std::optional<Command> buttonCommand(const KeyedToolBar* toolbar, const QString& key);

} // namespace panelparts
} // namespace lv
