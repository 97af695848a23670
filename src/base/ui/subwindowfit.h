#pragma once

#include <QObject>
#include <QSize>

class QMdiArea;
class QMdiSubWindow;

namespace lv {

// Keeps the child windows of a multiple-document area inside the area, so
// their pictures are never cut off by its edges: a window that reaches past
// an edge is moved in and, when still too large, made smaller (its contents
// then scale or scroll). A window made smaller this way grows back towards
// the size it wants when the area has room again, unless the user has
// resized it since. A window that wants more room than the area has is
// announced (roomWanted), so the window holding the area may grow. UI thread only.
class SubWindowFit final : public QObject {
    Q_OBJECT

public:
    // Watches the area's size for as long as the area lives.
    static void watch(QMdiArea* area);
    // The watcher of an area, or null when it is not watched.
    static SubWindowFit* of(QMdiArea* area);
    // Fits every child window of the area.
    static void fitAll(QMdiArea* area);
    // Gives the window the outer size it wants, as far as the area allows.
    static void resizeWithin(QMdiSubWindow* window, QSize wanted);
    // Fits one window, keeping the size it wants.
    static void fit(QMdiSubWindow* window);
    // As fitAll, but a window shrinks where it stands rather than move, as
    // long as that leaves it at least half its size (cascaded windows keep their steps).
    static void fitInPlace(QMdiArea* area);

signals:
    // A child window asks for more than the area's size: the size of area
    // it would take to show it whole.
    void roomWanted(QSize areaSize);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit SubWindowFit(QMdiArea* area);
    QMdiArea* m_area;
};

} // namespace lv
