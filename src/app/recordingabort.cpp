#include "app/recordingabort.h"

#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace lv {

void RecordingAbort::arm(QWidget* window, const Setup& setup, std::function<void()> stop)
{
    disarm();
    if (!window)
        return;
    m_setup = setup;
    m_stop = std::move(stop);
    m_fired = false;
    // A press goes to the widget under the pointer first: every widget of the
    // window is watched, so none acts on it before the recording stops.
    m_watched << window;
    for (QWidget* w : window->findChildren<QWidget*>())
        m_watched << w;
    for (QWidget* w : std::as_const(m_watched))
        w->installEventFilter(this);
}

void RecordingAbort::disarm()
{
    for (const QPointer<QWidget>& w : std::as_const(m_watched))
        if (w)
            w->removeEventFilter(this);
    m_watched.clear();
    m_stop = {};
}

bool RecordingAbort::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress: {
        const auto* me = static_cast<QMouseEvent*>(event);
        const bool stops = (me->button() == Qt::LeftButton && m_setup.leftStops)
                           || (me->button() == Qt::RightButton && m_setup.rightStops);
        if (!stops)
            return m_setup.exclusive;
        // Stopped after this event, so no widget acts on the press.
        if (!m_fired && m_stop) {
            m_fired = true;
            QTimer::singleShot(0, this, [stop = m_stop] { stop(); });
        }
        return true;
    }
    case QEvent::Close:
        // A close event arrives accepted: eating it alone would not keep the window.
        if (!m_setup.exclusive)
            return false;
        event->ignore();
        return true;
    default:
        return m_setup.exclusive && event->isInputEvent();
    }
}

} // namespace lv
