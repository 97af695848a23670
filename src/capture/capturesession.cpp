#include "capture/capturesession.h"

#include <QPointer>
#include <QTimer>

namespace lv {

CaptureSession::CaptureSession(QObject* parent)
    : QObject(parent)
    , m_sequence(std::make_unique<SequenceCapture>())
{
}

CaptureSession::~CaptureSession()
{
    *m_alive = false;
    close();
}

bool CaptureSession::open(int index, const std::function<void(CaptureDriver&)>& prepare)
{
    close();
    m_error.clear();
    std::unique_ptr<CaptureDriver> d = driverCatalogue().create(index);
    if (!d) {
        m_error = QStringLiteral("no capture device %1").arg(index);
        return false;
    }
    if (!d->open()) {
        m_error = QStringLiteral("cannot open capture device %1 (%2)").arg(index).arg(d->name());
        return false;
    }
    // The driver is the session's while it is prepared, so the preparation
    // may ask the session about it.
    m_driver = std::move(d);
    if (prepare)
        prepare(*m_driver);
    std::weak_ptr<std::atomic<bool>> alive = m_alive;
    const bool started = m_driver->start([this](const FramePtr& f) { onDriverFrame(f); },
                                         [this, alive](const QString& reason) {
                                             QMetaObject::invokeMethod(this, [this, alive, reason] {
                                                 if (auto a = alive.lock(); a && *a) {
                                                     m_sequence->deviceLost();
                                                     emit deviceLost(reason);
                                                 }
                                             }, Qt::QueuedConnection);
                                         });
    if (!started) {
        m_driver->close();
        m_error = QStringLiteral("capture device %1 (%2) does not start").arg(index).arg(m_driver->name());
        m_driver.reset();
        return false;
    }
    return true;
}

void CaptureSession::close()
{
    if (m_sequence->capturing())
        m_sequence->stop();
    closeSingleFrames();
    if (m_driver) {
        m_driver->stop();
        m_driver->close();
        m_driver.reset();
    }
    QMutexLocker l(&m_frameMutex);
    m_latest.reset();
}

FramePtr CaptureSession::latestFrame() const
{
    QMutexLocker l(&m_frameMutex);
    return m_latest;
}

void CaptureSession::whenFrame(QObject* context, int timeoutMs, std::function<void(FramePtr)> done)
{
    if (FramePtr f = latestFrame(); f || !m_driver) {
        done(std::move(f));
        return;
    }
    // One answer only: whichever comes first of the frame, the loss and the time-out.
    struct Wait {
        QPointer<QObject> context;
        std::function<void(FramePtr)> done;
        QMetaObject::Connection frame, lost;
        QPointer<QTimer> timer;
    };
    auto wait = std::make_shared<Wait>();
    wait->context = context;
    wait->done = std::move(done);
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    wait->timer = timer;
    // The connections own the wait; it goes with them.
    auto answer = [this, wait](bool withFrame) {
        if (!wait->done)
            return;
        disconnect(wait->frame);
        disconnect(wait->lost);
        if (wait->timer) {
            wait->timer->stop();
            wait->timer->deleteLater();
        }
        auto done = std::exchange(wait->done, {});
        if (wait->context)
            done(withFrame ? latestFrame() : FramePtr());
    };
    wait->frame = connect(this, &CaptureSession::frameArrived, this, [answer] { answer(true); });
    wait->lost = connect(this, &CaptureSession::deviceLost, this, [answer] { answer(false); });
    connect(timer, &QTimer::timeout, this, [answer] { answer(false); });
    timer->start(std::max(0, timeoutMs));
}

void CaptureSession::onDriverFrame(const FramePtr& frame)
{
    {
        QMutexLocker l(&m_frameMutex);
        m_latest = frame;
    }
    m_sequence->pushFrame(frame);
    if (!m_framePending.exchange(true)) {
        std::weak_ptr<std::atomic<bool>> alive = m_alive;
        QMetaObject::invokeMethod(this, [this, alive] {
            if (auto a = alive.lock(); a && *a) {
                m_framePending = false;
                emit frameArrived();
            }
        }, Qt::QueuedConnection);
    }
}

bool CaptureSession::startRecording(SequenceCapture::Setup setup)
{
    m_error.clear();
    if (!m_driver) {
        m_error = QStringLiteral("no device is open");
        return false;
    }
    setup.driver = m_driver.get();
    std::weak_ptr<std::atomic<bool>> alive = m_alive;
    // SequenceCapture calls this on the session's thread.
    setup.status = [this, alive](int code) {
        if (auto a = alive.lock(); a && *a)
            emit recordingStatus(code);
    };
    if (!m_sequence->start(setup)) {
        m_error = m_sequence->errorText();
        if (m_error.isEmpty())
            m_error = QStringLiteral("cannot write %1").arg(setup.fileName);
        return false;
    }
    return true;
}

void CaptureSession::stopRecording()
{
    if (m_sequence->capturing())
        m_sequence->stop();
}

bool CaptureSession::openSingleFrames(const QString& fileName, const CaptureParms& parms)
{
    closeSingleFrames();
    if (!m_driver)
        return false;
    m_singleOpen = m_sequence->openSingle(fileName, parms, m_driver->frameSize());
    return m_singleOpen;
}

bool CaptureSession::captureOneFrame()
{
    return m_driver && m_singleOpen && m_sequence->captureOne(latestFrame());
}

bool CaptureSession::closeSingleFrames()
{
    if (!m_singleOpen)
        return false;
    m_singleOpen = false;
    return m_sequence->closeSingle();
}

} // namespace lv
