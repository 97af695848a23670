#include "app/typednumbers.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace lv {

namespace {

class TypingForwarder final : public QObject {
public:
    TypingForwarder(QLabel* display, QSpinBox* control)
        : QObject(display), m_display(display), m_control(control)
    {
        display->installEventFilter(this);
        control->installEventFilter(this);
        display->setCursor(Qt::IBeamCursor);
        display->setAutoFillBackground(true);
        m_normal = display->palette();
        // Typed digits change the value at once, so the label shows them as they come.
        control->setKeyboardTracking(true);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_display && event->type() == QEvent::MouseButtonPress && m_control->isEnabled()) {
            m_control->setFocus(Qt::MouseFocusReason);
            m_control->selectAll();
            return true;
        }
        if (watched == m_control && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
            QPalette p = m_normal;
            if (event->type() == QEvent::FocusIn) {
                p.setColor(QPalette::Window, m_normal.color(QPalette::Highlight));
                p.setColor(QPalette::WindowText, m_normal.color(QPalette::HighlightedText));
            }
            m_display->setPalette(p);
        }
        return false;
    }

private:
    QLabel* m_display;
    QSpinBox* m_control;
    QPalette m_normal;
};

} // namespace

void acceptTyping(QLabel* display, QSpinBox* control)
{
    new TypingForwarder(display, control);
}

} // namespace lv
