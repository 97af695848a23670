#include "settings/ui/videosettings.h"

#include "base/textnumber.h"
#include "settings/ui/windowdragger.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lv {

namespace {

constexpr int kDropEntries = 101;

QLineEdit* numberBox(const char* name, QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

uint32_t numberIn(const QLineEdit* box) { return toUInt32(leadingNumber(box->text())); }

// A list entry for a field value, or no selection when it has none.
int entryFor(uint32_t value, int entries) { return value < uint32_t(entries) ? int(value) : -1; }

} // namespace

QString droppedFramesText(int percent)
{
    return QStringLiteral("Warn when drop ") + QString::number(percent) + QStringLiteral(" % of frames");
}

VideoSettings::VideoSettings(CaptureParms& parms, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_parms(parms)
{
    setObjectName(QStringLiteral("VideoSettings"));
    setWindowTitle(QStringLiteral("Advanced Capture Settings"));

    // Without a title bar the window needs an edge of its own.
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Raised);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    QList<QWidget*> labels;
    auto label = [&](const QString& text) {
        auto* l = new QLabel(text, frame);
        labels << l;
        return l;
    };

    m_yield = new QComboBox(frame);
    m_yield->setObjectName(QStringLiteral("Yield"));
    m_yield->addItems({QStringLiteral("Exclusive Task (Recommended)"),
                       QStringLiteral("Background Task (Multi-Threading)")});
    m_videoBuffers = numberBox("VideoBuffers", frame);
    m_audioBuffers = numberBox("AudioBuffers", frame);
    m_dosBuffers = new QCheckBox(QStringLiteral("Use DOS buffers"), frame);
    m_dosBuffers->setObjectName(QStringLiteral("DOSBuffers"));
    m_disableCache = new QCheckBox(QStringLiteral("Disable Write Cache"), frame);
    m_disableCache->setObjectName(QStringLiteral("DisableCache"));
    m_maxIndexSize = numberBox("MaxIndexSize", frame);
    m_chunk = numberBox("Chunk", frame);
    // These values are read and written with the parameters files, but capture uses none of
    // them: say so rather than let a user expect an effect.
    const QString keptOnly = QStringLiteral("Kept for parameters files only; capture does not use this value.");
    for (QWidget* w : std::initializer_list<QWidget*>{m_videoBuffers, m_audioBuffers, m_dosBuffers, m_disableCache,
                                                      m_chunk})
        w->setToolTip(keptOnly);
    m_maxIndexSize->setToolTip(keptOnly + QStringLiteral(" It does not limit the number of frames captured."));
    m_droppedFrames = new QComboBox(frame);
    m_droppedFrames->setObjectName(QStringLiteral("DroppedFrames"));
    for (int n = 0; n < kDropEntries; ++n)
        m_droppedFrames->addItem(droppedFramesText(n));

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(label(QStringLiteral("Capture operation:")), row, 0);
    grid->addWidget(m_yield, row++, 1, 1, 3);
    // A plain label shows "&" as it is (no buddy, so no mnemonic).
    grid->addWidget(label(QStringLiteral("Memory & Disk:")), row++, 0);
    grid->addWidget(label(QStringLiteral("Video Buffers:")), row, 0);
    grid->addWidget(m_videoBuffers, row, 1);
    grid->addWidget(label(QStringLiteral("Audio Buffers:")), row, 2);
    grid->addWidget(m_audioBuffers, row++, 3);
    grid->addWidget(m_dosBuffers, row, 1);
    grid->addWidget(m_disableCache, row++, 3);
    grid->addWidget(label(QStringLiteral("AVI File:")), row++, 0);
    grid->addWidget(label(QStringLiteral("Max. Index Size:")), row, 0);
    grid->addWidget(m_maxIndexSize, row, 1);
    grid->addWidget(label(QStringLiteral("Chunk Granularity:")), row, 2);
    grid->addWidget(m_chunk, row++, 3);
    grid->addWidget(label(QStringLiteral("Dropped Frames:")), row, 0);
    grid->addWidget(m_droppedFrames, row++, 1, 1, 3);

    auto* setDefaultsButton = new QPushButton(QStringLiteral("Defaults"), frame);
    setDefaultsButton->setObjectName(QStringLiteral("SetDefaults"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), frame);
    cancel->setObjectName(QStringLiteral("Command1"));
    auto* ok = new QPushButton(QStringLiteral("OK"), frame);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(setDefaultsButton, &QPushButton::clicked, this, &VideoSettings::setDefaults);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(setDefaultsButton);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(frame);
    layout->addLayout(grid);
    layout->addWidget(label(QStringLiteral("Warning: Some devices cannot support Multi-threading...")));
    layout->addWidget(label(QStringLiteral("It is recommend that only advanced users change this parameters.")));
    layout->addLayout(buttons);

    m_dragger = new WindowDragger(this);
    m_dragger->addPart(frame);
    for (QWidget* l : labels)
        m_dragger->addPart(l);

    m_yield->setCurrentIndex(entryFor(parms.fYield, m_yield->count()));
    m_videoBuffers->setText(QString::number(parms.wNumVideoRequested));
    m_audioBuffers->setText(QString::number(parms.wNumAudioRequested));
    m_dosBuffers->setChecked(parms.fUsingDOSMemory == 1);
    m_disableCache->setChecked(parms.fDisableWriteCache == 1);
    m_maxIndexSize->setText(QString::number(parms.dwIndexSize));
    m_chunk->setText(QString::number(parms.wChunkGranularity));
    m_droppedFrames->setCurrentIndex(entryFor(parms.wPercentDropForError, kDropEntries));
}

void VideoSettings::setDefaults()
{
    m_yield->setCurrentIndex(1);
    m_videoBuffers->setText(QStringLiteral("0"));
    m_audioBuffers->setText(QStringLiteral("0"));
    m_dosBuffers->setChecked(false);
    m_disableCache->setChecked(true);
    m_maxIndexSize->setText(QStringLiteral("324000"));
    m_chunk->setText(QStringLiteral("0"));
    m_droppedFrames->setCurrentIndex(10);
}

void VideoSettings::accept()
{
    if (m_yield->currentIndex() >= 0)
        m_parms.fYield = uint32_t(m_yield->currentIndex());
    m_parms.wNumVideoRequested = numberIn(m_videoBuffers);
    m_parms.wNumAudioRequested = numberIn(m_audioBuffers);
    m_parms.fUsingDOSMemory = m_dosBuffers->isChecked() ? 1 : 0;
    m_parms.fDisableWriteCache = m_disableCache->isChecked() ? 1 : 0;
    m_parms.dwIndexSize = numberIn(m_maxIndexSize);
    m_parms.wChunkGranularity = numberIn(m_chunk);
    if (m_droppedFrames->currentIndex() >= 0)
        m_parms.wPercentDropForError = uint32_t(m_droppedFrames->currentIndex());
    QDialog::accept();
}

} // namespace lv
