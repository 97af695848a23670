#include "settings/ui/videoinfo.h"

#include <QPainter>
#include <QVBoxLayout>

namespace lv {

std::vector<InfoLine> videoInfoLines(bool connected, const QString& caption, const QString& versionText,
                                     const QString& captureSystem, const CaptureDriverCaps& caps)
{
    if (!connected)
        return {};
    QString version = versionText.trimmed();
    const QString label = QStringLiteral("Version:");
    if (version.startsWith(label, Qt::CaseInsensitive))
        version = version.mid(label.size()).trimmed();
    const QColor white(255, 255, 255);
    auto yesNo = [](uint32_t flag) { return flag == 1 ? QStringLiteral("Yes") : QStringLiteral("No"); };
    std::vector<InfoLine> lines = {
        {QStringLiteral("Driver:") + caption, white},
        {QStringLiteral("Version: ") + version, white},
        {QString(), QColor(0, 0, 0)},
        {QStringLiteral("Capture System: ") + (captureSystem.isEmpty() ? QStringLiteral("unknown") : captureSystem),
         white},
        {QStringLiteral("Has Source Dialog: ") + yesNo(caps.fHasDlgVideoSource), white},
        {QStringLiteral("Has Display Dialog: ") + yesNo(caps.fHasDlgVideoDisplay), white},
        {QStringLiteral("Has Format Dialog: ") + yesNo(caps.fHasDlgVideoFormat), white},
    };
    if (caps.fHasOverlay == 1)
        lines.push_back({QStringLiteral("Support Overlay"), white});
    else
        lines.push_back({QStringLiteral("Overlay not supported"), QColor(250, 0, 0)});
    return lines;
}

InfoArea::InfoArea(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TargetPic"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0, 0, 96));
    setPalette(p);
}

void InfoArea::say(const QString& text, const QColor& colour)
{
    m_lines.push_back({text, colour});
    updateGeometry();
    update();
}

QSize InfoArea::sizeHint() const
{
    const QFontMetrics fm(font());
    int width = 300;
    for (const InfoLine& l : m_lines)
        width = std::max(width, fm.horizontalAdvance(l.text) + 16);
    return {width, std::max(160, fm.lineSpacing() * int(m_lines.size()) + 16)};
}

void InfoArea::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics fm(font());
    int y = 8 + fm.ascent();
    for (const InfoLine& l : m_lines) {
        painter.setPen(l.colour);
        painter.drawText(8, y, l.text);
        y += fm.lineSpacing();
    }
}

VideoInfo::VideoInfo(bool connected, const QString& caption, const QString& versionText,
                     const QString& captureSystem, const CaptureDriverCaps& caps, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("VideoInfo"));
    setWindowTitle(QStringLiteral("Device Information"));
    m_target = new InfoArea(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_target);
    for (const InfoLine& l : videoInfoLines(connected, caption, versionText, captureSystem, caps))
        Say(l.text, l.colour);
}

void VideoInfo::Say(const QString& text, const QColor& colour) { m_target->say(text, colour); }

} // namespace lv
