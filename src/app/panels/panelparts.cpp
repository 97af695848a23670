#include "app/panels/panelparts.h"
#include "app/keyedtoolbar.h"
#include "capture/capturetiming.h"

#include <QComboBox>
#include <QLoggingCategory>
#include <QSpinBox>

// Defined with the application.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace lv {

void ClickLabel::mousePressEvent(QMouseEvent* e)
{
    QLabel::mousePressEvent(e);
    emit clicked();
}

ColorSwatch::ColorSwatch(const QString& name, QWidget* parent)
    : QLabel(parent)
{
    setObjectName(name);
    setFixedSize(14, 14);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setPackedColor(0);
}

void ColorSwatch::setPackedColor(uint32_t packed)
{
    m_packed = packed;
    QPalette p = palette();
    p.setColor(QPalette::Window, panelparts::colorFromPacked(packed));
    setPalette(p);
}

PanelBinding::PanelBinding(CaptureModel& model, QObject* context, Fields fields)
    : m_model(model)
    , m_context(context)
    , m_fields(std::move(fields))
{
    QObject::connect(&m_model, &CaptureModel::settingsChanged, m_context, [this] { show(); });
    pull();
}

void PanelBinding::pull()
{
    if (m_showing)
        return;
    CaptureSettings c = m_model.settings();
    m_fields.read(c);
    m_shown = c;
    m_model.setSettings(c);
}

void PanelBinding::show()
{
    if (m_showing)
        return;
    // A change of a field no control here shows (the file name, a colour, the
    // device, another panel's) may come while a control's own handler runs:
    // the controls are then ahead of the model and stay as they are.
    if (m_fields.same(m_model.settings(), m_shown))
        return;
    m_showing = true;
    const CaptureSettings c = m_model.settings();
    m_fields.show(c);
    m_showing = false;
    // What the controls' handlers made of it (an all-zero time becomes one second).
    pull();
}

namespace panelparts {

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

QString withBlank(qint64 v) { return v >= 0 ? QLatin1Char(' ') + QString::number(v) : QString::number(v); }

QColor colorFromPacked(uint32_t packed)
{
    return QColor(static_cast<int>(packed & 0xff), static_cast<int>((packed >> 8) & 0xff),
                  static_cast<int>((packed >> 16) & 0xff));
}

uint32_t packedFromColor(const QColor& c)
{
    return static_cast<uint32_t>(c.red()) + 256u * static_cast<uint32_t>(c.green())
        + 65536u * static_cast<uint32_t>(c.blue());
}

QSpinBox* upDown(const QString& name, int lo, int hi, QWidget* parent, const QString& spokenName)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setAccessibleName(spokenName); // what a screen reader says: the arrows carry no caption
    s->setRange(lo, hi);
    s->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    s->setFixedWidth(18);
    s->setStyleSheet(QStringLiteral("QSpinBox { color: transparent; selection-color: transparent; }"));
    return s;
}

QLabel* display(const QString& name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QComboBox* list(const QString& name, const QStringList& entries, QWidget* parent, const QString& tip)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(entries);
    if (!tip.isEmpty())
        c->setToolTip(tip);
    return c;
}

int32_t totalOf(const QSpinBox* h, const QSpinBox* m, const QSpinBox* s)
{
    return static_cast<int32_t>(capturetiming::TotalSeconds(h->value(), m->value(), s->value()));
}

void showTotal(QSpinBox* h, QSpinBox* m, QSpinBox* s, int32_t total)
{
    if (totalOf(h, m, s) == total)
        return;
    h->setValue(capturetiming::HoursOf(total));
    m->setValue(capturetiming::MinutesOf(total));
    s->setValue(capturetiming::SecondsOf(total));
}

void showTimeParts(QSpinBox* h, QSpinBox* m, QSpinBox* s, QLabel* hd, QLabel* md, QLabel* sd)
{
    hd->setText(twoDigits(h->value()));
    md->setText(twoDigits(m->value()));
    sd->setText(twoDigits(s->value()));
    if (h->value() == 0 && m->value() == 0 && s->value() == 0)
        s->setValue(1);
}

void showIndex(QComboBox* c, int index)
{
    if (index >= 0 && index < c->count() && c->currentIndex() != index)
        c->setCurrentIndex(index);
}

void showPressed(KeyedToolBar* tb, const QString& key, bool pressed)
{
    if (tb->isPressed(key) != pressed)
        tb->setPressed(key, pressed);
}

std::optional<Command> buttonCommand(const KeyedToolBar* toolbar, const QString& key)
{
    const std::optional<Command> c = toolbar->command(key);
    if (!c)
        qCWarning(lcApp) << "button without a command" << toolbar->objectName() << key;
    return c;
}

} // namespace panelparts
} // namespace lv
