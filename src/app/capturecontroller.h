#pragma once

#include "base/sessionstate.h"

#include <QObject>
#include <QString>

namespace lv {

class Master;

// Everything that starts, runs and ends a capture from the main window: the
// dispatcher, snapshots, series shots, the series and motion timers, the end
// of a recording and the scheduled start. UI thread only.
class CaptureController final : public QObject {
    Q_OBJECT

public:
    CaptureController(Master& master, SessionState& state);
    ~CaptureController() override;

    // A command of the main window ("record", "snapshot", "clipboard", "motion",
    // "autostart", "write-movie-info", "popup-viewer", ...); false when not ours.
    bool handle(const QString& command);

private:
    Master& m_master;
    SessionState& m_state;
};

} // namespace lv
