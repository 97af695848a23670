#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace lv {

// What the main window does while a recording runs: a press of an aborting
// mouse button anywhere in it stops the recording (the press does nothing
// else), and during an exclusive recording ("Exclusive Task") the window
// takes no other input and cannot be closed, while it keeps repainting.
// Watches the window and every widget it holds when armed. UI thread only.
class RecordingAbort final : public QObject {
public:
    struct Setup {
        bool leftStops = true;
        bool rightStops = true;
        bool exclusive = false;
    };

    RecordingAbort() = default;
    ~RecordingAbort() override { disarm(); }

    // Starts watching `window`; `stop` runs once, after the stopping press.
    void arm(QWidget* window, const Setup& setup, std::function<void()> stop);
    // Stops watching and lets input through again; harmless when not armed.
    void disarm();
    bool armed() const { return !m_watched.isEmpty(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QPointer<QWidget>> m_watched;
    Setup m_setup;
    bool m_fired = false;
    std::function<void()> m_stop;
};

} // namespace lv
