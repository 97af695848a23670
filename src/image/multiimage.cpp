#include "image/multiimage.h"

#include "image/stamping.h"

#include <QEvent>
#include <QLabel>
#include <QMdiSubWindow>

namespace lv {

MultiImage::MultiImage(QWidget* parent) : QWidget(parent), m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("MultiImage"));
    m_label->setObjectName(QStringLiteral("MasterImage"));
    m_label->move(8, 10);
}

void MultiImage::setPicture(const QImage& picture)
{
    m_picture.setFrame(picture);
    refresh();
}

void MultiImage::stamp(const StampSettings& settings, int imageNumber)
{
    StampImage(m_picture, settings, imageNumber);
    refresh();
}

void MultiImage::refresh()
{
    m_label->setPixmap(QPixmap::fromImage(m_picture.drawnImage()));
    m_label->resize(m_picture.size());
    layoutWindow();
}

QSize MultiImage::sizeHint() const
{
    return clientSizeFor(m_picture.size());
}

void MultiImage::layoutWindow()
{
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub && (sub->isMinimized() || sub->isMaximized()))
        return;
    m_label->move(8, 10);
    resize(sizeHint());
    if (sub)
        sub->adjustSize();
}

bool MultiImage::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show)
        layoutWindow();
    return QWidget::event(e);
}

} // namespace lv
