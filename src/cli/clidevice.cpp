#include "cli/clidevice.h"

#include "capture/capturesession.h"
#include "capture/drivercatalogue.h"
#include "capture/testpatterndriver.h"
#include "cli/clioutput.h"
#include "image/drawnpicture.h"

#include <QCoreApplication>

#include <algorithm>
#include <memory>

namespace lv::cli {

// The stamps as the options and the parameters file ask.
StampSettings stampsOf(const Request& r, const Settings& s)
{
    StampSettings st = s.stampsFor(r.command);
    if (r.has(QStringLiteral("time"))) {
        st.timeOn = true;
        st.timePosition = r.position(QStringLiteral("time"), 0);
    }
    if (r.has(QStringLiteral("date"))) {
        st.dateOn = true;
        st.datePosition = r.position(QStringLiteral("date"), 0);
    }
    if (r.has(QStringLiteral("text-pos")) && !r.has(QStringLiteral("text")))
        throw UsageError{QStringLiteral("%1: --text-pos needs --text").arg(r.command)};
    if (r.has(QStringLiteral("text"))) {
        st.textOn = true;
        st.text = r.text(QStringLiteral("text"));
        st.textPosition = r.position(QStringLiteral("text-pos"), st.textPosition);
    }
    return st;
}

QImage stamped(const QImage& frame, const StampSettings& stamps, int imageNumber)
{
    DrawnPicture picture;
    picture.setFrame(frame);
    StampImage(picture, stamps, imageNumber);
    return picture.drawnImage();
}

// Runs the event loop until the device list is complete (in a sandbox, the
// camera portal has answered), so a device index means what it meant when saved.
void awaitDeviceList()
{
    auto complete = std::make_shared<bool>(false);
    whenCatalogueComplete(qApp, [complete] {
        *complete = true;
        QCoreApplication::exit(0);
    });
    if (!*complete) // not answered at once
        QCoreApplication::exec();
}

// Opens the device of the options with the size, rate and pattern they ask.
bool openDevice(CaptureSession& session, const Request& r, const Settings& s, int rate)
{
    const int index = r.integer(QStringLiteral("device"), 0, 999, s.device);
    const QSize size = r.size(QStringLiteral("size"), QSize());
    const bool still = r.has(QStringLiteral("still"));
    awaitDeviceList();
    QString refused;
    const bool opened = session.open(index, [&](CaptureDriver& d) {
        if (auto* pattern = dynamic_cast<TestPatternDriver*>(&d)) {
            TestPatternSettings ts = pattern->settings();
            if (size.isValid())
                ts.size = size;
            if (rate > 0)
                ts.rate = std::clamp(rate, TestPattern::kMinRate, TestPattern::kMaxRate);
            ts.still = still;
            pattern->setSettings(ts);
        } else if (size.isValid() && d.frameSize() != size) {
            // A camera keeps the format chosen in its format dialog.
            refused = QStringLiteral("device %1 delivers %2x%3; choose its size in lumivark's Video Format dialog")
                          .arg(index)
                          .arg(d.frameSize().width())
                          .arg(d.frameSize().height());
        }
    });
    if (!opened) {
        printError(session.errorText());
        return false;
    }
    if (!refused.isEmpty()) {
        printError(refused);
        session.close();
        return false;
    }
    return true;
}

// Runs the event loop until the session's first frame (or a give-up after
// 10 seconds, or a lost device). Returns the frame, null on failure.
FramePtr firstFrame(CaptureSession& session)
{
    QString lost;
    QObject::connect(&session, &CaptureSession::deviceLost, qApp, [&lost](const QString& reason) { lost = reason; });
    FramePtr frame;
    bool answered = false;
    session.whenFrame(qApp, 10000, [&](FramePtr f) {
        frame = std::move(f);
        answered = true;
        QCoreApplication::exit(0);
    });
    if (!answered) // not handed over at once
        QCoreApplication::exec();
    QObject::disconnect(&session, nullptr, qApp, nullptr);
    if (!frame)
        printError(lost.isEmpty() ? QStringLiteral("the device delivered no picture within 10 seconds")
                                  : QStringLiteral("device lost: ") + lost);
    return frame;
}

} // namespace lv::cli
