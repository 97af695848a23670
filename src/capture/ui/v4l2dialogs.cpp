#include "capture/ui/v4l2dialogs.h"
#include "base/ui/okcancel.h"

#include "capture/v4l2/v4l2driver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSlider>

namespace lv::v4l2 {

SourceDialog::SourceDialog(V4l2Driver& driver, QWidget* parent)
    : SourceDialog(driver.controls(), [&driver](uint32_t id, int v) { return driver.setControl(id, v); }, parent)
{
}

SourceDialog::SourceDialog(const std::vector<ControlInfo>& controls, std::function<bool(uint32_t, int)> set,
                           QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Video Source"));
    auto* form = new QFormLayout(this);
    auto apply = [set = std::move(set)](uint32_t id, int v) { set(id, v); };
    for (const ControlInfo& c : controls) {
        const uint32_t id = c.id;
        QWidget* editor = nullptr;
        switch (c.type) {
        case ControlInfo::Type::Integer: {
            auto* s = new QSlider(Qt::Horizontal, this);
            s->setRange(c.minimum, c.maximum);
            s->setSingleStep(c.step);
            s->setValue(c.value);
            connect(s, &QSlider::valueChanged, this, [apply, id](int v) { apply(id, v); });
            editor = s;
            break;
        }
        case ControlInfo::Type::Boolean: {
            auto* b = new QCheckBox(this);
            b->setChecked(c.value != 0);
            connect(b, &QCheckBox::toggled, this, [apply, id](bool on) { apply(id, on ? 1 : 0); });
            editor = b;
            break;
        }
        case ControlInfo::Type::Menu: {
            auto* m = new QComboBox(this);
            for (const auto& [value, text] : c.menu)
                m->addItem(text, value);
            m->setCurrentIndex(m->findData(c.value));
            connect(m, &QComboBox::activated, this,
                    [apply, id, m](int i) { apply(id, m->itemData(i).toInt()); });
            editor = m;
            break;
        }
        case ControlInfo::Type::Button: {
            auto* p = new QPushButton(c.name, this);
            connect(p, &QPushButton::clicked, this, [apply, id] { apply(id, 1); });
            editor = p;
            break;
        }
        }
        editor->setEnabled(!c.inactive);
        form->addRow(c.name, editor);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

FormatDialog::FormatDialog(std::vector<PixelFormatInfo> formats, const CurrentFormat& current, QWidget* parent)
    : QDialog(parent), m_formats(std::move(formats))
{
    setWindowTitle(QStringLiteral("Video Format"));
    auto* form = new QFormLayout(this);
    m_format = new QComboBox(this);
    m_size = new QComboBox(this);
    m_rate = new QComboBox(this);
    form->addRow(QStringLiteral("Pixel format:"), m_format);
    form->addRow(QStringLiteral("Frame size:"), m_size);
    form->addRow(QStringLiteral("Frame rate:"), m_rate);
    for (size_t i = 0; i < m_formats.size(); ++i)
        m_format->addItem(m_formats[i].description, int(i));
    connect(m_format, &QComboBox::currentIndexChanged, this, [this] { fillSizes(); });
    connect(m_size, &QComboBox::currentIndexChanged, this, [this] { fillRates(); });

    for (size_t i = 0; i < m_formats.size(); ++i)
        if (m_formats[i].fourcc == current.fourcc)
            m_format->setCurrentIndex(int(i));
    fillSizes();
    for (int i = 0; i < m_size->count(); ++i)
        if (m_size->itemData(i).toSize() == current.size)
            m_size->setCurrentIndex(i);
    fillRates();
    for (int i = 0; i < m_rate->count(); ++i) {
        const QList<QVariant> iv = m_rate->itemData(i).toList();
        if (iv.size() == 2 && iv[0].toUInt() == current.interval.num && iv[1].toUInt() == current.interval.den)
            m_rate->setCurrentIndex(i);
    }

    form->addRow(okCancelButtons(this));
}

void FormatDialog::fillSizes()
{
    const QSignalBlocker block(m_size);
    m_size->clear();
    const int f = m_format->currentIndex();
    if (f >= 0)
        for (const FrameSizeInfo& s : m_formats[size_t(f)].sizes)
            m_size->addItem(QStringLiteral("%1 x %2").arg(s.size.width()).arg(s.size.height()), s.size);
    fillRates();
}

void FormatDialog::fillRates()
{
    m_rate->clear();
    const int f = m_format->currentIndex();
    const int s = m_size->currentIndex();
    if (f < 0 || s < 0)
        return;
    for (const Interval& iv : m_formats[size_t(f)].sizes[size_t(s)].intervals)
        m_rate->addItem(QStringLiteral("%1 fps").arg(iv.rate(), 0, 'g', 4), QList<QVariant>{iv.num, iv.den});
}

FormatDialog::Choice FormatDialog::choice() const
{
    Choice c;
    const int f = m_format->currentIndex();
    if (f >= 0)
        c.fourcc = m_formats[size_t(f)].fourcc;
    c.size = m_size->currentData().toSize();
    const QList<QVariant> iv = m_rate->currentData().toList();
    if (iv.size() == 2)
        c.interval = {iv[0].toUInt(), iv[1].toUInt()};
    return c;
}

} // namespace lv::v4l2
