#include "image/drawnpicture.h"

#include <QFontMetrics>
#include <QPainter>

namespace lv {

DrawnPicture::DrawnPicture()
{
    // The stamps' face and size: a plain sans face at a fixed pixel size, so a
    // stamp is the same size on every screen.
    m_font = QFont(QStringLiteral("DejaVu Sans"));
    m_font.setPixelSize(13);
}

void DrawnPicture::setFrame(const QImage& frame)
{
    m_frame = frame.isNull() ? QImage() : frame.convertToFormat(QImage::Format_RGB32);
    clearDrawing();
}

QImage DrawnPicture::drawnImage() const
{
    if (m_frame.isNull() || m_drawing.isNull())
        return m_frame;
    QImage out = m_frame;
    QPainter p(&out);
    p.drawImage(0, 0, m_drawing);
    return out;
}

void DrawnPicture::flatten()
{
    setFrame(drawnImage());
}

void DrawnPicture::clearDrawing()
{
    m_drawing = QImage(); // made again on the next draw
    m_position = QPoint(0, 0);
}

QSize DrawnPicture::textSize(const QString& text) const
{
    const QFontMetrics fm(m_font);
    return fm.size(0, text);
}

void DrawnPicture::drawText(QPoint at, const QString& text, const QColor& colour)
{
    if (m_frame.isNull())
        return;
    if (m_drawing.isNull()) {
        m_drawing = QImage(m_frame.size(), QImage::Format_ARGB32_Premultiplied);
        m_drawing.fill(Qt::transparent);
    }
    const QSize size = textSize(text);
    QPainter p(&m_drawing);
    p.setFont(m_font);
    p.setPen(colour);
    p.drawText(QRect(at, size), Qt::AlignLeft | Qt::AlignTop, text);
    m_position = QPoint(0, at.y() + size.height());
}

} // namespace lv
