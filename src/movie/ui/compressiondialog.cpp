#include "movie/ui/compressiondialog.h"
#include "base/ui/okcancel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace lv {

namespace {

// A check box that switches a number on, and the unit after it.
QHBoxLayout* switchedNumber(QCheckBox* on, QSpinBox* number, const QString& unit, QWidget* parent)
{
    auto* row = new QHBoxLayout;
    row->addWidget(on);
    row->addWidget(number);
    row->addWidget(new QLabel(unit, parent));
    row->addStretch();
    number->setEnabled(false);
    QObject::connect(on, &QCheckBox::toggled, number, [on, number] { number->setEnabled(on->isChecked() && on->isEnabled()); });
    return row;
}

} // namespace

CompressionDialog::CompressionDialog(QWidget* parent, const CodecChoice& initial, Purpose purpose,
                                     MovieContainer container)
    : QDialog(parent), m_codecs(videoCodecsFor(container))
{
    setWindowTitle(QStringLiteral("Video Compression"));
    auto* form = new QFormLayout(this);
    m_codec = new QComboBox(this);
    m_codec->setObjectName(QStringLiteral("codec"));
    for (const VideoCodecInfo& c : m_codecs)
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

    if (purpose == Purpose::Recompression) {
        m_keyFramesOn = new QCheckBox(QStringLiteral("Key Frame Every"), this);
        m_keyFramesOn->setObjectName(QStringLiteral("keyFramesOn"));
        m_keyFrames = new QSpinBox(this);
        m_keyFrames->setObjectName(QStringLiteral("keyFrameEvery"));
        m_keyFrames->setRange(1, 9999);
        m_keyFrames->setValue(15);
        form->addRow(switchedNumber(m_keyFramesOn, m_keyFrames, QStringLiteral("frames"), this));
        m_dataRateOn = new QCheckBox(QStringLiteral("Data Rate"), this);
        m_dataRateOn->setObjectName(QStringLiteral("dataRateOn"));
        m_dataRate = new QSpinBox(this);
        m_dataRate->setObjectName(QStringLiteral("dataRate"));
        m_dataRate->setRange(1, 999999);
        m_dataRate->setValue(300);
        form->addRow(switchedNumber(m_dataRateOn, m_dataRate, QStringLiteral("KB/sec"), this));
    }

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

RecompressOptions CompressionDialog::recompressOptions() const
{
    RecompressOptions o;
    const CodecChoice c = choice();
    o.encoder = c.encoder;
    o.quality = c.quality;
    if (m_keyFrames && m_keyFramesOn->isChecked() && m_keyFramesOn->isEnabled())
        o.keyFrameEvery = m_keyFrames->value();
    if (m_dataRate && m_dataRateOn->isChecked() && m_dataRateOn->isEnabled())
        o.dataRate = m_dataRate->value();
    return o;
}

void CompressionDialog::setRecompressOptions(const RecompressOptions& options)
{
    setChoice({options.encoder, options.quality});
    if (m_keyFrames) {
        m_keyFramesOn->setChecked(options.keyFrameEvery > 0);
        if (options.keyFrameEvery > 0)
            m_keyFrames->setValue(options.keyFrameEvery);
        m_dataRateOn->setChecked(options.dataRate > 0);
        if (options.dataRate > 0)
            m_dataRate->setValue(options.dataRate);
    }
    updateQualityState();
}

void CompressionDialog::updateQualityState()
{
    const QString encoder = m_codec->currentData().toString();
    bool lossless = false;
    for (const VideoCodecInfo& c : m_codecs)
        if (c.encoder == encoder)
            lossless = c.lossless;
    m_quality->setEnabled(!lossless);
    // Lossless codecs have no rate to hold and no quality to trade for it;
    // intra-only ones have nothing but key frames.
    if (m_keyFrames) {
        const QByteArray name = encoder.toLatin1();
        const AVCodec* codec = avcodec_find_encoder_by_name(name.constData());
        const AVCodecDescriptor* desc = codec ? avcodec_descriptor_get(codec->id) : nullptr;
        const bool intraOnly = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
        m_keyFramesOn->setEnabled(!lossless && !intraOnly);
        m_keyFrames->setEnabled(m_keyFramesOn->isEnabled() && m_keyFramesOn->isChecked());
        m_dataRateOn->setEnabled(!lossless);
        m_dataRate->setEnabled(m_dataRateOn->isEnabled() && m_dataRateOn->isChecked());
    }
}

} // namespace lv
