#include "app/panels/seriespanel.h"
#include "app/keyedtoolbar.h"
#include "app/panels/panelparts.h"
#include "app/panels/stamppanel.h"
#include "app/typednumbers.h"
#include "base/dialogs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

namespace lv {

using namespace panelparts;

SeriesPanel::SeriesPanel(CaptureModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("MultipleImagePanel"));
    setProperty("bandKey", QStringLiteral("multiple"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(1);
    auto* row1 = new QHBoxLayout;
    auto* row2 = new QHBoxLayout;
    v->addLayout(row1);
    v->addLayout(row2);

    m_mode = list(QStringLiteral("MultipleImageMode"),
                  {QStringLiteral("Movie file (.AVI)"), QStringLiteral("Multiple Bitmap file (.BMP)"),
                   QStringLiteral("Multiple JPEG file (.JPG)"), QStringLiteral("Refresh Same Bitmap file (.BMP)"),
                   QStringLiteral("Refresh Same JPEG file (.JPG)"), QStringLiteral("Put On Clipboard")},
                  this, QStringLiteral("File type selection"));
    m_frameRate = list(QStringLiteral("MultipleImageFrameRate"), {}, this, QStringLiteral("Frame Rate for Movie Viewer"));
    m_mode->setAccessibleName(QStringLiteral("File type"));
    m_frameRate->setAccessibleName(QStringLiteral("Frame rate"));
    row1->addWidget(m_mode);
    row1->addWidget(m_frameRate);

    m_trigger = new KeyedToolBar(QStringLiteral("TriggerType"), this);
    m_trigger->addButton(QStringLiteral("manual"), QStringLiteral("Manual Trigger"), {}, true);
    m_trigger->addButton(QStringLiteral("timer"), QStringLiteral("Timer Trigger"), {}, true);
    m_trigger->addButton(QStringLiteral("motion"), QStringLiteral("Motion Trigger"), {}, true);
    m_trigger->makeExclusive({QStringLiteral("manual"), QStringLiteral("timer"), QStringLiteral("motion")});
    connect(m_trigger, &KeyedToolBar::buttonPressed, this, &SeriesPanel::triggerClicked);
    connect(m_trigger, &KeyedToolBar::buttonClicked, this, &SeriesPanel::triggerClicked);
    row1->addWidget(m_trigger);
    m_hoursDisplay = display(QStringLiteral("MultipleImageHoursDisplay"), QStringLiteral("00"), this);
    m_hoursControl = upDown(QStringLiteral("MultipleImageHoursControl"), 0, 23, this, QStringLiteral("Interval hours"));
    m_minutesDisplay = display(QStringLiteral("MultipleImageMinutesDisplay"), QStringLiteral("00"), this);
    m_minutesControl = upDown(QStringLiteral("MultipleImageMinutesControl"), 0, 59, this, QStringLiteral("Interval minutes"));
    m_secondsDisplay = display(QStringLiteral("MultipleImageSecondsDisplay"), QStringLiteral("00"), this);
    m_secondsControl = upDown(QStringLiteral("MultipleImageSecondsControl"), 0, 59, this, QStringLiteral("Interval seconds"));
    for (QWidget* w : std::initializer_list<QWidget*>{m_hoursDisplay, m_hoursControl, m_minutesDisplay,
                                                      m_minutesControl, m_secondsDisplay, m_secondsControl})
        row1->addWidget(w);
    m_motionLabel = new QLabel(QStringLiteral("Trigged by Motion"), this);
    m_motionLabel->setObjectName(QStringLiteral("MotionLabel"));
    row1->addWidget(m_motionLabel);
    m_shooter = new QPushButton(QStringLiteral("Shoot"), this);
    m_shooter->setObjectName(QStringLiteral("Shooter"));
    m_shooter->setEnabled(false);
    connect(m_shooter, &QPushButton::clicked, this, &SeriesPanel::shootClicked);
    row1->addWidget(m_shooter);
    m_toolbar = new KeyedToolBar(QStringLiteral("MultipleImageToolbar"), this);
    m_toolbar->addButton(QStringLiteral("filename"), QStringLiteral("Set Filename"), {}, false, QStringLiteral("filename"));
    m_toolbar->addButton(QStringLiteral("writeinfo"), QStringLiteral("Write Other Information"), {}, true);
    m_toolbar->addButton(QStringLiteral("otherinfo"), QStringLiteral("Edit Other Information"));
    m_toolbar->addButton(QStringLiteral("vidcompression"), QStringLiteral("Video Compression (CODEC)"));
    m_toolbar->addButton(QStringLiteral("netset"), QStringLiteral("Internet Settings"));
    m_toolbar->addButton(QStringLiteral("ftp"), QStringLiteral("Send a copy to FTP Server"), {}, true);
    m_toolbar->addButton(QStringLiteral("effects"), QStringLiteral("Image Effects"));
    connect(m_toolbar, &KeyedToolBar::buttonClicked, this, [this](const QString& key) {
        if (key == QLatin1String("filename")) {
            static QString filter = QStringLiteral("Movie Clips (*.AVI)|*.avi");
            const QString ext = m_model.fileName().right(3).toUpper();
            if (ext == QLatin1String("AVI"))
                filter = QStringLiteral("Movie Clips (*.AVI)|*.avi");
            else if (ext == QLatin1String("BMP"))
                filter = QStringLiteral("Bitmap Image File (*.BMP)|*.BMP");
            else if (ext == QLatin1String("JPG"))
                filter = QStringLiteral("JPEG Image File (*.JPG)|*.JPG");
            const QString name = dialogs().saveFile(QStringLiteral("Save as..."), filter, m_model.fileName(), window());
            if (!name.isEmpty())
                m_model.setFileName(name);
            emit fileNameShown(QStringLiteral("Filename: ") + m_model.fileName());
        } else if (key == QLatin1String("vidcompression")) {
            emit compressionRequested();
        } else if (key == QLatin1String("effects")) {
            if (QWidget* w = m_toolbar->widgetForAction(m_toolbar->button(key)))
                emit effectsMenuRequested(w->mapToGlobal(QPoint(0, w->height())));
        } else if (key != QLatin1String("writeinfo") && key != QLatin1String("ftp")) {
            if (const std::optional<Command> c = buttonCommand(m_toolbar, key))
                emit commandRequested(*c);
        }
    });
    m_toolbar->button(QStringLiteral("otherinfo"))->setEnabled(false);
    row2->addWidget(m_toolbar);
    m_stamps = new StampPanel(m_model, true, this, row2, QStringLiteral("MultipleImage"),
                              QStringLiteral("MultipleImageToolbar2"));
    row1->addStretch();

    connect(m_mode, qOverload<int>(&QComboBox::currentIndexChanged), this, &SeriesPanel::showFileType);
    for (QSpinBox* s : {m_hoursControl, m_minutesControl, m_secondsControl})
        connect(s, qOverload<int>(&QSpinBox::valueChanged), this, &SeriesPanel::intervalChanged);
    m_secondsControl->setValue(10);
    triggerClicked(QStringLiteral("manual"));
    for (auto [shown, control] : {std::pair{m_hoursDisplay, m_hoursControl}, std::pair{m_minutesDisplay, m_minutesControl},
                                  std::pair{m_secondsDisplay, m_secondsControl}})
        acceptTyping(shown, control);

    m_binding = std::make_unique<PanelBinding>(
        m_model, this,
        PanelBinding::Fields{[this](CaptureSettings& c) { read(c); }, [this](const CaptureSettings& c) { show(c); },
                             [](const CaptureSettings& a, const CaptureSettings& b) {
                                 const auto fields = [](const CaptureSettings& c) {
                                     return std::tie(c.SeriesAviInfo, c.MultipleImageType, c.AVIRate, c.Trigger,
                                                     c.Interval, c.SendToFTPServer);
                                 };
                                 return fields(a) == fields(b);
                             }});
    for (QComboBox* c : {m_mode, m_frameRate})
        m_binding->pullOn(c, qOverload<int>(&QComboBox::currentIndexChanged));
    for (QSpinBox* sb : {m_hoursControl, m_minutesControl, m_secondsControl})
        m_binding->pullOn(sb, qOverload<int>(&QSpinBox::valueChanged));
    const std::pair<KeyedToolBar*, const char*> buttons[] = {{m_toolbar, "writeinfo"}, {m_toolbar, "ftp"},
                                                             {m_trigger, "manual"},    {m_trigger, "timer"},
                                                             {m_trigger, "motion"}};
    for (const auto& [tb, key] : buttons)
        m_binding->pullOn(tb->button(QString::fromLatin1(key)), &QAction::toggled);
}

SeriesPanel::~SeriesPanel() = default;

QList<KeyedToolBar*> SeriesPanel::toolbars() const { return {m_toolbar, m_trigger}; }

void SeriesPanel::fillFrameRates(int count)
{
    m_frameRate->clear();
    for (int i = 1; i <= count; ++i)
        m_frameRate->addItem(withBlank(i) + QStringLiteral(" FPS"));
    m_frameRate->setCurrentIndex(10);
}

void SeriesPanel::resetFileType()
{
    m_mode->setCurrentIndex(-1);
    m_mode->setCurrentIndex(0);
}

int SeriesPanel::fileType() const { return m_mode->currentIndex(); }

void SeriesPanel::setTrigger(TriggerKind trigger)
{
    triggerClicked(trigger == TriggerKind::Timer    ? QStringLiteral("timer")
                   : trigger == TriggerKind::Motion ? QStringLiteral("motion")
                                                    : QStringLiteral("manual"));
}

void SeriesPanel::triggerClicked(const QString& key)
{
    const bool timer = key == QLatin1String("timer");
    const bool motion = key == QLatin1String("motion");
    const bool manual = !timer && !motion;
    // The group releases the other two.
    m_trigger->setPressed(timer ? QStringLiteral("timer") : motion ? QStringLiteral("motion") : QStringLiteral("manual"),
                          true);
    m_shooter->setVisible(manual);
    for (QWidget* w : std::initializer_list<QWidget*>{m_hoursDisplay, m_minutesDisplay, m_secondsDisplay,
                                                      m_hoursControl, m_minutesControl, m_secondsControl})
        w->setVisible(timer);
    m_motionLabel->setVisible(motion);
}

void SeriesPanel::intervalChanged()
{
    showTimeParts(m_hoursControl, m_minutesControl, m_secondsControl, m_hoursDisplay, m_minutesDisplay,
                  m_secondsDisplay);
}

void SeriesPanel::showFileType(int type)
{
    if (type < 0)
        return;
    const bool movie = type == 0;
    const bool files = type >= 1 && type <= 4;
    m_stamps->setStampsEnabled(!movie);
    m_frameRate->setEnabled(movie);
    m_toolbar->setImageKey(QStringLiteral("filename"), movie ? QStringLiteral("filename") : QStringLiteral("save"));
    m_toolbar->button(QStringLiteral("filename"))->setEnabled(type != 5);
    for (const char* k : {"writeinfo", "vidcompression"})
        m_toolbar->button(QString::fromLatin1(k))->setEnabled(movie);
    m_toolbar->button(QStringLiteral("netset"))->setEnabled(files);
    m_toolbar->button(QStringLiteral("ftp"))->setEnabled(files);
    m_toolbar->button(QStringLiteral("effects"))->setEnabled(!movie);
    // The information is written into AVI files only.
    m_toolbar->button(QStringLiteral("otherinfo"))->setEnabled(movie && m_otherInfoReady);

    if (type == 5) {
        emit fileNameShown(QString());
        return;
    }
    QString name = m_model.fileName();
    if (!name.isEmpty()) {
        const QString ext = movie ? QStringLiteral(".AVI") : (type == 2 || type == 4) ? QStringLiteral(".JPG") : QStringLiteral(".BMP");
        // A name too short to hold an extension gets one appended instead.
        name = name.size() >= 4 ? name.left(name.size() - 4) + ext : name + ext;
        m_model.setFileName(name);
    }
    emit fileNameShown(QStringLiteral("Filename: ") + name);
}

void SeriesPanel::enableOtherInfo()
{
    m_otherInfoReady = true;
    m_toolbar->button(QStringLiteral("otherinfo"))->setEnabled(m_mode->currentIndex() == 0);
}

void SeriesPanel::setControlsEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_mode, m_trigger, m_hoursControl, m_minutesControl,
                                                      m_secondsControl})
        w->setEnabled(enabled);
}

void SeriesPanel::setSeriesRunning(bool running)
{
    m_shooter->setEnabled(running);
    // Only a movie file has a frame rate.
    m_frameRate->setEnabled(!running && m_model.settings().MultipleImageType == 0);
}

void SeriesPanel::read(CaptureSettings& c) const
{
    c.SeriesAviInfo = m_toolbar->isPressed(QStringLiteral("writeinfo"));
    c.MultipleImageType = static_cast<int16_t>(m_mode->currentIndex());
    c.AVIRate = static_cast<int16_t>(m_frameRate->currentIndex() + 1);
    if (m_trigger->isPressed(QStringLiteral("manual")))
        c.Trigger = TriggerKind::Manual;
    else if (m_trigger->isPressed(QStringLiteral("timer")))
        c.Trigger = TriggerKind::Timer;
    else if (m_trigger->isPressed(QStringLiteral("motion")))
        c.Trigger = TriggerKind::Motion;
    else
        c.Trigger.reset();
    c.Interval = totalOf(m_hoursControl, m_minutesControl, m_secondsControl);
    c.SendToFTPServer = m_toolbar->isPressed(QStringLiteral("ftp"));
}

void SeriesPanel::show(const CaptureSettings& c)
{
    showPressed(m_toolbar, QStringLiteral("writeinfo"), c.SeriesAviInfo);
    showIndex(m_mode, c.MultipleImageType);
    showIndex(m_frameRate, c.AVIRate - 1);
    if (c.Trigger && !m_trigger->isPressed(*c.Trigger == TriggerKind::Timer    ? QStringLiteral("timer")
                                           : *c.Trigger == TriggerKind::Motion ? QStringLiteral("motion")
                                                                               : QStringLiteral("manual")))
        setTrigger(*c.Trigger);
    showTotal(m_hoursControl, m_minutesControl, m_secondsControl, c.Interval);
    showPressed(m_toolbar, QStringLiteral("ftp"), c.SendToFTPServer);
}

} // namespace lv
