#include "movie/compressiondialog.h"
#include "base/okcancel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

namespace lv {

CompressionDialog::CompressionDialog(QWidget* parent, const CodecChoice& initial) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Video Compression"));
    auto* form = new QFormLayout(this);
    m_codec = new QComboBox(this);
    m_codec->setObjectName(QStringLiteral("codec"));
    for (const VideoCodecInfo& c : aviVideoCodecs())
        m_codec->addItem(c.description, c.encoder);
    form->addRow(QStringLiteral("Compressor:"), m_codec);

    auto* row = new QHBoxLayout;
    m_quality = new QSlider(Qt::Horizontal, this);
    m_quality->setObjectName(QStringLiteral("quality"));
    m_quality->setRange(1, 100);
    m_qualityText = new QLabel(this);
    m_qualityText->setMinimumWidth(m_qualityText->fontMetrics().horizontalAdvance(QStringLiteral("100")));
    row->addWidget(m_quality);
    row->addWidget(m_qualityText);
    form->addRow(QStringLiteral("Compression Quality:"), row);

    form->addRow(okCancelButtons(this));

    connect(m_quality, &QSlider::valueChanged, m_qualityText,
            [this](int v) { m_qualityText->setText(QString::number(v)); });
    connect(m_codec, &QComboBox::currentIndexChanged, this, [this] { updateQualityState(); });
    setChoice(initial);
}

void CompressionDialog::setChoice(const CodecChoice& choice)
{
    const int i = m_codec->findData(choice.encoder);
    m_codec->setCurrentIndex(i >= 0 ? i : std::max(0, m_codec->findData(QStringLiteral("mjpeg"))));
    m_quality->setValue(std::clamp(choice.quality, 1, 100));
    m_qualityText->setText(QString::number(m_quality->value()));
    updateQualityState();
}

CodecChoice CompressionDialog::choice() const
{
    CodecChoice c;
    if (m_codec->currentIndex() >= 0)
        c.encoder = m_codec->currentData().toString();
    c.quality = m_quality->value();
    return c;
}

QStringList CompressionDialog::listedEncoders() const
{
    QStringList names;
    for (int i = 0; i < m_codec->count(); ++i)
        names << m_codec->itemData(i).toString();
    return names;
}

bool CompressionDialog::qualityEnabled() const { return m_quality->isEnabled(); }

void CompressionDialog::updateQualityState()
{
    const QString encoder = m_codec->currentData().toString();
    bool lossless = false;
    for (const VideoCodecInfo& c : aviVideoCodecs())
        if (c.encoder == encoder)
            lossless = c.lossless;
    m_quality->setEnabled(!lossless);
}

} // namespace lv
