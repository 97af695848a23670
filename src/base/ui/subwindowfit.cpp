#include "base/ui/subwindowfit.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>

namespace lv {

namespace {
const char* const kWanted = "lvWantedSize";
const char* const kFitted = "lvFittedSize";
} // namespace

SubWindowFit::SubWindowFit(QMdiArea* area) : QObject(area), m_area(area)
{
    area->viewport()->installEventFilter(this);
}

void SubWindowFit::watch(QMdiArea* area)
{
    if (area && !of(area))
        new SubWindowFit(area);
}

SubWindowFit* SubWindowFit::of(QMdiArea* area)
{
    return area ? area->findChild<SubWindowFit*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool SubWindowFit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == m_area->viewport())
        fitAll(m_area);
    return QObject::eventFilter(watched, event);
}

void SubWindowFit::fitAll(QMdiArea* area)
{
    if (!area)
        return;
    for (QMdiSubWindow* w : area->subWindowList())
        fit(w);
}

void SubWindowFit::fitInPlace(QMdiArea* area)
{
    if (!area)
        return;
    const QSize room = area->viewport()->size();
    for (QMdiSubWindow* w : area->subWindowList()) {
        if (w->isMinimized() || w->isMaximized() || w->isHidden())
            continue;
        const QSize here(room.width() - w->x(), room.height() - w->y());
        const QSize wanted = w->size();
        if (here.width() * 2 >= wanted.width() && here.height() * 2 >= wanted.height()
            && (here.width() < wanted.width() || here.height() < wanted.height())) {
            resizeWithin(w, wanted.boundedTo(here));
            w->setProperty(kWanted, wanted); // it grows back when the area does
        } else {
            fit(w);
        }
    }
}

void SubWindowFit::resizeWithin(QMdiSubWindow* window, QSize wanted)
{
    if (!window)
        return;
    window->setProperty(kWanted, wanted);
    window->setProperty(kFitted, window->size());
    QMdiArea* area = window->mdiArea();
    if (SubWindowFit* watcher = of(area); watcher && !window->isMinimized() && !window->isMaximized()) {
        const QSize room = area->viewport()->size();
        if (wanted.width() > room.width() || wanted.height() > room.height())
            emit watcher->roomWanted(wanted.expandedTo(room));
    }
    // Fitted to the area as it is now; it grows back when the area does.
    fit(window);
}

void SubWindowFit::fit(QMdiSubWindow* window)
{
    QMdiArea* area = window ? window->mdiArea() : nullptr;
    if (!area || window->isMinimized() || window->isMaximized() || window->isHidden())
        return;
    const QSize room = area->viewport()->size();
    if (room.isEmpty())
        return;
    QSize wanted = window->property(kWanted).toSize();
    // A window the user has resized since we last fitted it wants that size now.
    if (window->size() != window->property(kFitted).toSize() || !wanted.isValid())
        wanted = window->size();
    const QSize size = wanted.boundedTo(room).expandedTo(window->minimumSize());
    window->resize(size);
    window->setProperty(kWanted, wanted);
    window->setProperty(kFitted, window->size());
    QPoint pos = window->pos();
    pos.setX(std::clamp(pos.x(), 0, std::max(0, room.width() - window->width())));
    pos.setY(std::clamp(pos.y(), 0, std::max(0, room.height() - window->height())));
    window->move(pos);
}

} // namespace lv
