#include "image/stamping.h"

#include "base/clock.h"
#include "image/drawnpicture.h"

#include <QColor>

namespace lv {

namespace {

QColor colourOf(std::uint32_t packed)
{
    return QColor(int(packed & 0xff), int((packed >> 8) & 0xff), int((packed >> 16) & 0xff));
}

void drawStamp(DrawnPicture& picture, StampKind kind, int position, const QString& text, std::uint32_t colour)
{
    const int lineHeight = picture.textSize(QStringLiteral("AAA")).height();
    const QPoint at = stampPosition(kind, position, picture.size(), picture.textSize(text), lineHeight,
                                    picture.drawingPosition());
    picture.drawText(at, text, colourOf(colour));
}

} // namespace

QString stampTimeString()
{
    return clock().now().time().toString(QStringLiteral("HH:mm:ss"));
}

QString stampDateString()
{
    return clock().now().date().toString(QStringLiteral("MM-dd-yyyy"));
}

QString ExpandStampText(const QString& text, int imageNumber)
{
    QString out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        if (i + 5 > n) {
            out += text.mid(i);
            break;
        }
        const QString five = text.mid(i, 5).toUpper();
        if (five == QLatin1String("&DATE")) {
            out += stampDateString();
            i += 5;
        } else if (five == QLatin1String("&TIME")) {
            out += stampTimeString();
            i += 5;
        } else if (five == QLatin1String("&FRM&")) {
            out += QString::number(imageNumber);
            i += 5;
        } else {
            out += text.at(i);
            ++i;
        }
    }
    return out;
}

QPoint stampPosition(StampKind kind, int position, QSize picture, QSize textSize, int lineHeight, QPoint current)
{
    if (position < 0 || position > 5)
        return current;
    const int w = picture.width(), h = picture.height();
    int x = 0;
    switch (position) {
    case 1:
    case 4: x = w - textSize.width(); break;
    case 2:
    case 5: x = (w - textSize.width()) / 2; break;
    default: x = 0; break;
    }
    const bool top = position <= 2;
    int y = 0;
    switch (kind) {
    case StampKind::Text: y = top ? 0 : h - 2 * lineHeight - textSize.height(); break;
    case StampKind::Date:
        y = top ? lineHeight : (position == 3 ? h - 2 * lineHeight : h - lineHeight - textSize.height());
        break;
    case StampKind::Time: y = top ? 2 * lineHeight : h - textSize.height(); break;
    }
    return {x, y};
}

void StampImage(DrawnPicture& picture, const StampSettings& settings, int imageNumber)
{
    picture.clearDrawing();
    if (settings.textOn)
        drawStamp(picture, StampKind::Text, settings.textPosition, ExpandStampText(settings.text, imageNumber),
                  settings.textColor);
    if (settings.dateOn)
        drawStamp(picture, StampKind::Date, settings.datePosition, stampDateString(), settings.dateColor);
    if (settings.timeOn)
        drawStamp(picture, StampKind::Time, settings.timePosition, stampTimeString(), settings.timeColor);
}

} // namespace lv
