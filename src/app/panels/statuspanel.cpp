#include "app/panels/statuspanel.h"
#include "app/panels/panelparts.h"

#include <QHBoxLayout>
#include <QStatusBar>

namespace lv {

StatusPanel::StatusPanel(CaptureModel& model, QStatusBar* bar, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("StatusPanel"));
    auto* sp = new QHBoxLayout(this);
    sp->setContentsMargins(0, 0, 0, 0);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(8);
    setFont(arial);
    auto pair = [&](const QString& caption, QLabel*& captionLabel, QLabel*& value, const QString& valueName,
                    const QString& design) {
        auto* col = new QWidget(this);
        auto* cl = new QHBoxLayout(col);
        cl->setContentsMargins(0, 0, 0, 0);
        captionLabel = new QLabel(caption, col);
        captionLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        value = new QLabel(design, col);
        value->setObjectName(valueName);
        value->setAutoFillBackground(true);
        QPalette p = value->palette();
        p.setColor(QPalette::Window, Qt::black);
        p.setColor(QPalette::WindowText, Qt::white);
        value->setPalette(p);
        cl->addWidget(captionLabel);
        cl->addWidget(value, 1);
        sp->addWidget(col, 1);
    };
    QLabel* timeCaption = nullptr;
    QLabel* droppedCaption = nullptr;
    pair(QStringLiteral("Capture Time:"), timeCaption, m_time, QStringLiteral("StatusTime"), QStringLiteral("00:00:00.00"));
    pair(QStringLiteral("Dropped Frames:"), droppedCaption, m_dropped, QStringLiteral("DroppedString"), QStringLiteral("-"));
    pair(QStringLiteral("Driver Status:"), m_caption, m_string, QStringLiteral("StatusString"), {});
    m_caption->setObjectName(QStringLiteral("StatusCaption"));

    for (const char* key : {"filename", "resolution", "filesize", "diskcap"}) {
        QLabel* l = key == QByteArrayView("filesize") ? new ClickLabel(bar) : new QLabel(bar);
        l->setObjectName(QString::fromLatin1(key));
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        bar->addWidget(l, key == QByteArrayView("filename") ? 3 : 1);
        m_panels.insert(QString::fromLatin1(key), l);
    }
    connect(static_cast<ClickLabel*>(m_panels.value(QStringLiteral("filesize"))), &ClickLabel::clicked, this,
            &StatusPanel::addressClicked);
    connect(&m_model, &CaptureModel::statusChanged, this, &StatusPanel::showStatus);
    showStatus();
}

QString StatusPanel::panelText(const QString& key) const
{
    const QLabel* l = m_panels.value(key);
    return l ? l->text() : QString();
}

void StatusPanel::setPanelText(const QString& key, const QString& text)
{
    if (QLabel* l = m_panels.value(key); l && l->text() != text)
        l->setText(text);
}

void StatusPanel::setPanelToolTip(const QString& key, const QString& tip)
{
    if (QLabel* l = m_panels.value(key); l && l->toolTip() != tip)
        l->setToolTip(tip);
}

void StatusPanel::showStatusExpired() { m_caption->setText(QStringLiteral("Status:")); }

void StatusPanel::showStatus()
{
    m_string->setText(m_model.statusText());
    m_time->setText(m_model.captureTimeText());
    m_dropped->setText(m_model.droppedText());
    QPalette p = m_dropped->palette();
    if (p.color(QPalette::WindowText) != m_model.droppedColor()) {
        p.setColor(QPalette::WindowText, m_model.droppedColor());
        m_dropped->setPalette(p);
    }
}

} // namespace lv
