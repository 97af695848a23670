#pragma once

#include <QObject>
#include <initializer_list>

class QWidget;

namespace lv {

// Lets a borderless window be moved by a left press on its background or on
// the given parts (labels, pictures): the press hands the move to the window
// system. Buttons and edit fields keep their presses. UI thread only.
class WindowDragger final : public QObject {
    Q_OBJECT
public:
    WindowDragger(QWidget* window, std::initializer_list<QWidget*> parts = {});
    void addPart(QWidget* part);

signals:
    // Emitted on every press that starts a drag (also where the platform
    // cannot move windows, as the offscreen one).
    void dragStarted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
};

} // namespace lv
