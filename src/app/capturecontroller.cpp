#include "app/capturecontroller.h"
#include "app/master.h"

namespace lv {

CaptureController::CaptureController(Master& master, SessionState& state)
    : QObject(&master)
    , m_master(master)
    , m_state(state)
{
}

CaptureController::~CaptureController() = default;

bool CaptureController::handle(const QString&) { return false; }

} // namespace lv
