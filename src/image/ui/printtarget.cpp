#include "image/ui/printtarget.h"

#include "image/imagelog.h"

#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace lv {

PrintTarget::PrintTarget(QWidget* parent) : QWidget(parent), m_printImage(new QLabel(this))
{
    setObjectName(QStringLiteral("PrintTarget"));
    m_printImage->setObjectName(QStringLiteral("PrintImage"));
}

void PrintTarget::setPicture(const QImage& picture)
{
    m_picture = picture;
    m_printImage->setPixmap(QPixmap::fromImage(picture));
    m_printImage->resize(picture.size());
    resize(picture.size());
}

bool PrintTarget::printOn(QPrinter& printer) const
{
    if (m_picture.isNull())
        return false;
    QPainter painter;
    if (!painter.begin(&printer)) {
        qCWarning(lcImage) << "printer could not be started:" << printer.printerName() << printer.outputFileName();
        return false;
    }
    // Screen pixels to printer dots, so the print has the size the window shows.
    const double scale = printer.resolution() / 96.0;
    QSizeF size = QSizeF(m_picture.size()) * scale;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    if (size.width() > page.width() || size.height() > page.height())
        size.scale(page.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRectF(QPointF(0, 0), size), m_picture);
    return painter.end();
}

bool PrintTarget::printOnDefaultPrinter() const
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return false;
    QPrinter printer(info, QPrinter::HighResolution);
    return printOn(printer);
}

} // namespace lv
