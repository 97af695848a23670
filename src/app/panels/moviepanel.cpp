#include "app/panels/moviepanel.h"
#include "app/keyedtoolbar.h"
#include "app/panels/panelparts.h"
#include "app/typednumbers.h"
#include "base/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QSpinBox>

#include <iterator>
#include <utility>
#include <tuple>

namespace lv {

using namespace panelparts;

MoviePanel::MoviePanel(CaptureModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("MoviePanel"));
    setProperty("bandKey", QStringLiteral("movie"));
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    m_toolbar = new KeyedToolBar(QStringLiteral("MovieToolbar"), this);
    m_toolbar->addButton(QStringLiteral("filename"), QStringLiteral("Set AVI Filename"));
    m_toolbar->addButton(QStringLiteral("audio"), QStringLiteral("Capture Audio"), {}, true);
    m_toolbar->addButton(QStringLiteral("writeinfo"), QStringLiteral("Write Other Information"), {}, true);
    m_toolbar->addButton(QStringLiteral("otherinfo"), QStringLiteral("Edit Other Information"));
    m_toolbar->addButton(QStringLiteral("compression"), QStringLiteral("Video Compression"));
    m_toolbar->button(QStringLiteral("otherinfo"))->setEnabled(false);
    h->addWidget(m_toolbar);

    m_frameRateControl = upDown(QStringLiteral("MovieFrameRateControl"), 1, 40, this, QStringLiteral("Frame rate"));
    m_frameRateDisplay = new ClickLabel(QStringLiteral(" 0 fps"), this);
    m_frameRateDisplay->setObjectName(QStringLiteral("MovieFrameRateDisplay"));
    m_frameRateDisplay->setToolTip(QStringLiteral("Frame Rate, double-click to 29.97 FPS"));
    m_frameRateDisplay->setMinimumWidth(m_frameRateDisplay->fontMetrics().horizontalAdvance(QStringLiteral(" 29.97 fps")));
    h->addWidget(m_frameRateDisplay);
    h->addWidget(m_frameRateControl);
    h->addSpacing(6);
    m_hoursDisplay = display(QStringLiteral("MovieHoursDisplay"), QStringLiteral("00"), this);
    m_hoursControl = upDown(QStringLiteral("MovieHoursControl"), 0, 59, this, QStringLiteral("Time limit hours"));
    m_minutesDisplay = display(QStringLiteral("MovieMinutesDisplay"), QStringLiteral("00"), this);
    m_minutesControl = upDown(QStringLiteral("MovieMinutesControl"), 0, 59, this, QStringLiteral("Time limit minutes"));
    m_secondsDisplay = display(QStringLiteral("MovieSecondsDisplay"), QStringLiteral("00"), this);
    m_secondsControl = upDown(QStringLiteral("MovieSecondsControl"), 0, 59, this, QStringLiteral("Time limit seconds"));
    for (QWidget* w : std::initializer_list<QWidget*>{m_hoursDisplay, m_hoursControl, m_minutesDisplay,
                                                      m_minutesControl, m_secondsDisplay, m_secondsControl})
        h->addWidget(w);
    m_disableLimit = new QCheckBox(QStringLiteral("No Limit"), this);
    m_disableLimit->setObjectName(QStringLiteral("MovieDisableLimit"));
    m_disableLimit->setToolTip(QStringLiteral("Manual Stop, unlimited movie duration"));
    h->addWidget(m_disableLimit);
    m_audioChannels = list(QStringLiteral("AudioChannels"), {QStringLiteral("Mono"), QStringLiteral("Stereo")}, this);
    m_audioBits = list(QStringLiteral("AudioBits"), {QStringLiteral("8 bit"), QStringLiteral("16 bit")}, this);
    QStringList rates;
    for (int32_t hz : kAudioRates)
        rates << QStringLiteral("%1 Hz").arg(hz, 5);
    m_audioRate = list(QStringLiteral("AudioRate"), rates, this);
    m_audioChannels->setAccessibleName(QStringLiteral("Channels"));
    m_audioBits->setAccessibleName(QStringLiteral("Bits"));
    m_audioRate->setAccessibleName(QStringLiteral("Sample rate"));
    h->addWidget(m_audioChannels);
    h->addWidget(m_audioBits);
    h->addWidget(m_audioRate);
    h->addStretch();

    connect(m_frameRateControl, qOverload<int>(&QSpinBox::valueChanged), this, &MoviePanel::showFrameRateOf);
    connect(m_frameRateDisplay, &ClickLabel::clicked, this, &MoviePanel::setFrameRate2997);
    for (QSpinBox* s : {m_hoursControl, m_minutesControl, m_secondsControl})
        connect(s, qOverload<int>(&QSpinBox::valueChanged), this, &MoviePanel::durationChanged);
    connect(m_disableLimit, &QCheckBox::toggled, this, [this](bool noLimit) {
        for (QWidget* w : std::initializer_list<QWidget*>{m_hoursControl, m_minutesControl, m_secondsControl,
                                                          m_hoursDisplay, m_minutesDisplay, m_secondsDisplay})
            w->setEnabled(!noLimit);
    });
    connect(m_audioChannels, qOverload<int>(&QComboBox::currentIndexChanged), this, &MoviePanel::audioChannelsShown);
    connect(m_audioBits, qOverload<int>(&QComboBox::currentIndexChanged), this, &MoviePanel::audioBitsShown);
    connect(m_audioRate, qOverload<int>(&QComboBox::currentIndexChanged), this, &MoviePanel::audioRateShown);
    // However the sound button is pressed, the lists and the menu follow.
    connect(m_toolbar->button(QStringLiteral("audio")), &QAction::toggled, this, &MoviePanel::setAudioCapture);
    connect(m_toolbar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("filename")) {
            const QString name = dialogs().saveFile(QStringLiteral("Set Movie Clip filename..."),
                                                    QStringLiteral("Movie Clips (*.AVI)|*.avi|Matroska Movie (*.MKV)|*.mkv|"
                                                                   "MP4 Movie (*.MP4)|*.mp4"),
                                                    m_model.fileName(), window());
            if (!name.isEmpty())
                m_model.setFileName(name);
            emit fileNameChosen();
        } else if (key == QLatin1String("compression")) {
            emit compressionRequested();
        } else if (key != QLatin1String("writeinfo") && key != QLatin1String("audio")) {
            if (const std::optional<Command> c = buttonCommand(m_toolbar, key))
                emit commandRequested(*c);
        }
    });
    // Start values: the handlers above keep the displays in step.
    for (QComboBox* c : {m_audioChannels, m_audioBits, m_audioRate}) {
        c->setCurrentIndex(-1);
        c->setCurrentIndex(0);
    }
    m_secondsControl->setValue(30);
    for (auto [shown, control] : {std::pair{m_hoursDisplay, m_hoursControl}, std::pair{m_minutesDisplay, m_minutesControl},
                                  std::pair{m_secondsDisplay, m_secondsControl}})
        acceptTyping(shown, control);

    m_binding = std::make_unique<PanelBinding>(
        m_model, this,
        PanelBinding::Fields{[this](CaptureSettings& c) { read(c); }, [this](const CaptureSettings& c) { show(c); },
                             [](const CaptureSettings& a, const CaptureSettings& b) {
                                 const auto fields = [](const CaptureSettings& c) {
                                     return std::tie(c.Audio, c.AudioChannels, c.AudioBits, c.AudioRate,
                                                     c.MovieAviInfo, c.FrameRate, c.Limit, c.DurationSeconds);
                                 };
                                 return fields(a) == fields(b);
                             }});
    for (QComboBox* c : {m_audioChannels, m_audioBits, m_audioRate})
        m_binding->pullOn(c, qOverload<int>(&QComboBox::currentIndexChanged));
    for (QSpinBox* sb : {m_frameRateControl, m_hoursControl, m_minutesControl, m_secondsControl})
        m_binding->pullOn(sb, qOverload<int>(&QSpinBox::valueChanged));
    m_binding->pullOn(m_disableLimit, &QCheckBox::toggled);
    for (const char* key : {"audio", "writeinfo"})
        m_binding->pullOn(m_toolbar->button(QString::fromLatin1(key)), &QAction::toggled);
}

MoviePanel::~MoviePanel() = default;

void MoviePanel::setAudioCapture(bool on)
{
    m_toolbar->setPressed(QStringLiteral("audio"), on);
    emit audioCaptureShown(on);
    m_audioChannels->setEnabled(on);
    m_audioBits->setEnabled(on);
    m_audioRate->setEnabled(on);
}

void MoviePanel::setAudioChannelsEntry(int index) { m_audioChannels->setCurrentIndex(index); }
void MoviePanel::setAudioBitsEntry(int index) { m_audioBits->setCurrentIndex(index); }
void MoviePanel::setAudioRateEntry(int index) { m_audioRate->setCurrentIndex(index); }

void MoviePanel::showFrameRateOf(int fps)
{
    m_frameRate = fps;
    m_frameRateDisplay->setText(withBlank(fps) + QStringLiteral(" fps"));
}

void MoviePanel::setFrameRate2997()
{
    m_frameRateControl->setValue(29);
    showFrameRateOf(29);
    m_frameRate = 29.97;
    m_frameRateDisplay->setText(QStringLiteral(" 29.97 fps"));
    m_binding->pull();
}

void MoviePanel::setLimit(bool on) { m_disableLimit->setChecked(!on); }

void MoviePanel::enableOtherInfo() { m_toolbar->button(QStringLiteral("otherinfo"))->setEnabled(true); }

void MoviePanel::setControlsEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_toolbar, m_frameRateControl, m_disableLimit, m_hoursControl,
                                                      m_minutesControl, m_secondsControl, m_audioChannels, m_audioBits,
                                                      m_audioRate, this})
        w->setEnabled(enabled);
}

void MoviePanel::durationChanged()
{
    showTimeParts(m_hoursControl, m_minutesControl, m_secondsControl, m_hoursDisplay, m_minutesDisplay,
                  m_secondsDisplay);
}

void MoviePanel::read(CaptureSettings& c) const
{
    c.Audio = m_toolbar->isPressed(QStringLiteral("audio"));
    c.AudioChannels = m_audioChannels->currentIndex() + 1;
    c.AudioBits = (m_audioBits->currentIndex() + 1) * 8;
    const int ri = m_audioRate->currentIndex();
    c.AudioRate = ri >= 0 && ri < int(std::size(kAudioRates)) ? kAudioRates[ri] : 0;
    c.MovieAviInfo = m_toolbar->isPressed(QStringLiteral("writeinfo"));
    c.FrameRate = m_frameRate;
    c.Limit = !m_disableLimit->isChecked();
    c.DurationSeconds = totalOf(m_hoursControl, m_minutesControl, m_secondsControl);
}

void MoviePanel::show(const CaptureSettings& c)
{
    if (m_toolbar->isPressed(QStringLiteral("audio")) != c.Audio)
        setAudioCapture(c.Audio);
    showIndex(m_audioChannels, c.AudioChannels - 1);
    showIndex(m_audioBits, c.AudioBits / 8 - 1);
    showIndex(m_audioRate, audioRateEntry(c.AudioRate));
    showPressed(m_toolbar, QStringLiteral("writeinfo"), c.MovieAviInfo);
    if (c.FrameRate != m_frameRate) {
        if (c.FrameRate == 29.97) {
            setFrameRate2997();
        } else {
            m_frameRateControl->setValue(static_cast<int>(c.FrameRate));
            // An unchanged up-down fires no change; the rate still follows it (within its range).
            showFrameRateOf(m_frameRateControl->value());
        }
    }
    if (m_disableLimit->isChecked() == c.Limit)
        m_disableLimit->setChecked(!c.Limit);
    showTotal(m_hoursControl, m_minutesControl, m_secondsControl, c.DurationSeconds);
}

} // namespace lv
