#include "image/ui/seriesviewer.h"

#include "base/ui/subwindowfit.h"
#include "image/stamping.h"

#include <QEvent>
#include <QLabel>
#include <QMdiSubWindow>

namespace lv {

SeriesViewer::SeriesViewer(QWidget* parent) : QWidget(parent), m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("MultiImage"));
    m_label->setObjectName(QStringLiteral("MasterImage"));
    m_label->setScaledContents(true); // shown smaller when the window has no room for it
    m_label->move(8, 10);
}

void SeriesViewer::setPicture(const QImage& picture)
{
    m_picture.setFrame(picture);
    refresh();
}

void SeriesViewer::stamp(const StampSettings& settings, int imageNumber)
{
    StampImage(m_picture, settings, imageNumber);
    refresh();
}

void SeriesViewer::refresh()
{
    m_label->setPixmap(QPixmap::fromImage(m_picture.drawnImage()));
    layoutWindow();
}

QSize SeriesViewer::sizeHint() const
{
    return clientSizeFor(m_picture.size());
}

void SeriesViewer::layoutWindow()
{
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub && (sub->isMinimized() || sub->isMaximized()))
        return;
    if (sub) {
        // The window wants the picture's whole size; the area may allow less.
        updateGeometry();
        SubWindowFit::resizeWithin(sub, sub->sizeHint());
    } else {
        resize(sizeHint());
    }
    placePicture();
}

void SeriesViewer::placePicture()
{
    // At its own size 10 pixels from the top and 8 from the left when it fits;
    // otherwise as large as fits, keeping its shape.
    const QSize room(std::max(1, width() - 16), std::max(1, height() - 20));
    QSize shown = m_picture.size();
    if (shown.width() > room.width() || shown.height() > room.height())
        shown = shown.scaled(room, Qt::KeepAspectRatio);
    m_label->setGeometry(8, 10, shown.width(), shown.height());
}

void SeriesViewer::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    placePicture();
}

bool SeriesViewer::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show)
        layoutWindow();
    return QWidget::event(e);
}

} // namespace lv
