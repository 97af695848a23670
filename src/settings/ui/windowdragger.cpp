#include "settings/ui/windowdragger.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace lv {

WindowDragger::WindowDragger(QWidget* window, std::initializer_list<QWidget*> parts)
    : QObject(window), m_window(window)
{
    window->installEventFilter(this);
    for (QWidget* p : parts)
        addPart(p);
}

void WindowDragger::addPart(QWidget* part) { part->installEventFilter(this); }

bool WindowDragger::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return QObject::eventFilter(watched, event);
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    emit dragStarted();
    if (QWindow* handle = m_window->window()->windowHandle())
        handle->startSystemMove();
    return true;
}

} // namespace lv
