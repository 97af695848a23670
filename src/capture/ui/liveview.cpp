#include "capture/ui/liveview.h"
#include "base/dialogs.h"
#include "capture/capturetiming.h"
#include "capture/devicedialogs.h"
#include "capture/drivercatalogue.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QThread>

Q_LOGGING_CATEGORY(lcCapture, "lumivark.capture")

namespace lv {

namespace {
const QString kError = QStringLiteral("Error!");
} // namespace

// --- Driver enumeration ---

QString LiveView::GetDriverName(int index)
{
    QString name;
    return driverCatalogue().describe(index, &name, nullptr) ? name : kError;
}

QString LiveView::GetDriverVersion(int index)
{
    QString version;
    return driverCatalogue().describe(index, nullptr, &version) ? version : kError;
}

int LiveView::CountDrivers()
{
    int n = 0;
    while (GetDriverName(n) != kError)
        ++n;
    return n;
}

bool LiveView::HasDrivers() { return CountDrivers() > 0; }

// --- Window lifetime ---

LiveView::LiveView(QWidget* parent)
    : QWidget(parent)
{
    // The program's window brings back what the user set on each device.
    m_session.setRemembersDevices(true);
    connect(&m_session, &CaptureSession::frameArrived, this, &LiveView::onFrameOnUiThread);
    connect(&m_session, &CaptureSession::deviceLost, this, &LiveView::onDriverError);
    connect(&m_session, &CaptureSession::recordingStatus, this, &LiveView::reportStatus);
    setObjectName(QStringLiteral("VIDEO WINDOW"));
    setWindowTitle(QStringLiteral("VIDEO WINDOW"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(0, 0, 160, 120);
    connect(&m_previewTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    show();
}

LiveView::~LiveView()
{
    *m_alive = false;
    disconnectDevice();
}

LiveView* LiveView::CreateCaptureWindow(QWidget* parent) { return new LiveView(parent); }

bool LiveView::ConnectDriver(int index)
{
    disconnectDevice();
    if (!m_session.open(index)) {
        qCWarning(lcCapture) << "cannot open capture driver" << index << m_session.errorText();
        return false;
    }
    return true;
}

void LiveView::disconnectDevice()
{
    m_previewTimer.stop();
    if (m_session.isRecording())
        m_session.stopRecording();
    m_session.close();
    m_overlay = m_preview = false;
}

bool LiveView::DisconnectDriver(LiveView* window)
{
    if (!window)
        return false;
    window->disconnectDevice();
    delete window;
    return true;
}

bool LiveView::SetStatusCallback(StatusCallbackFn callback)
{
    m_statusCallback = std::move(callback);
    return true;
}

void LiveView::reportStatus(int code)
{
    if (QThread::currentThread() != thread()) {
        std::weak_ptr<std::atomic<bool>> alive = m_alive;
        QMetaObject::invokeMethod(this, [this, alive, code] {
            if (auto a = alive.lock(); a && *a)
                reportStatus(code);
        }, Qt::QueuedConnection);
        return;
    }
    if (m_statusCallback)
        m_statusCallback(this, code, code == kStatusCaptureStart ? QStringLiteral("Capture Start")
                                                                 : QStringLiteral("Capture End"));
}

// --- Information ---

bool LiveView::GetStatus(CaptureStatus& status) const
{
    if (!m_session.status(status))
        return false;
    status.fLiveWindow = m_preview ? 1 : 0;
    status.fOverlayWindow = m_overlay ? 1 : 0;
    return true;
}

bool LiveView::GetAudioFormat(AudioFormat& format, int size) const
{
    return size >= kAudioFormatSize && m_session.audioFormat(format);
}

bool LiveView::SetAudioFormat(const AudioFormat& format, int size)
{
    return size >= kAudioFormatSize && m_session.setAudioFormat(format);
}

// --- Display ---

bool LiveView::StartPreview(int rate)
{
    if (!m_session.isOpen())
        return false;
    m_overlay = false;
    m_preview = true;
    const int interval = capturetiming::PreviewIntervalMs(rate);
    if (interval < 0) {
        dialogs().message(QStringLiteral("Orbelstand: Cannot set preview mode."), Dialogs::Icon::Error);
        return false;
    }
    // Interval 0: draw every frame as it arrives.
    if (interval == 0)
        m_previewTimer.stop();
    else
        m_previewTimer.start(interval);
    update();
    return true;
}

bool LiveView::StartOverlay()
{
    if (!m_session.isOpen() || !m_session.driver()->hasOverlay())
        return false;
    m_previewTimer.stop();
    m_preview = false;
    m_overlay = true;
    update();
    return true;
}

bool LiveView::SetScale(bool on)
{
    if (!m_session.setScale(on))
        return false;
    update();
    return true;
}

bool LiveView::FitWindow(int top, int left, int height, int width)
{
    CaptureStatus st;
    if (!GetStatus(st))
        return false;
    if (top + left + height + width == 0)
        resize(static_cast<int>(st.uiImageWidth), static_cast<int>(st.uiImageHeight));
    else if (height + width == 0)
        move(left, top);
    else
        setGeometry(left, top, width, height);
    return true;
}

// --- Dialogs ---

bool LiveView::ShowFormatDialog()
{
    if (!m_session.isOpen() || !m_session.driver()->hasFormatDialog() || !m_session.driver()->showFormatDialog(window())) {
        dialogs().message(QStringLiteral("Orbelstand: Cannot show Video Format Dialog."), Dialogs::Icon::Error);
        return false;
    }
    return true;
}

bool LiveView::ShowSourceDialog()
{
    if (!m_session.isOpen() || !m_session.driver()->hasSourceDialog() || !m_session.driver()->showSourceDialog(window())) {
        dialogs().message(QStringLiteral("Orbelstand: Cannot show Video Source Dialog."), Dialogs::Icon::Error);
        return false;
    }
    return true;
}

bool LiveView::ShowDisplayDialog()
{
    DeviceDialogs* ui = deviceDialogs();
    if (!m_session.isOpen() || !m_session.driver()->hasDisplayDialog() || !ui) {
        dialogs().message(QStringLiteral("Orbelstand: Cannot show Video Display Dialog."), Dialogs::Icon::Error);
        return false;
    }
    if (const auto scale = ui->display(m_session.scale(), window()))
        SetScale(*scale);
    return true;
}

bool LiveView::ShowCompressionDialog()
{
    DeviceDialogs* ui = deviceDialogs();
    if (!ui) {
        dialogs().message(QStringLiteral("Cannot show Video Compression Dialog."), Dialogs::Icon::Error);
        return false;
    }
    const MovieContainer container = containerForFile(GetCaptureFile());
    if (const auto choice = ui->compression(window(), container))
        saveCodecChoice(*choice, container);
    return true;
}

// --- Capturing ---

bool LiveView::CopyFrameToClipboard(std::function<void(FramePtr)> done)
{
    if (FramePtr f = m_session.isOpen() ? latestFrame() : nullptr) {
        if (done)
            done(std::move(f));
        return true;
    }
    // Just connected: the device delivers its first frame in a moment. The
    // session answers at once with none when no device is connected.
    if (done)
        m_session.whenFrame(this, 1000, std::move(done));
    return false;
}

// --- The live picture ---

void LiveView::onFrameOnUiThread()
{
    if (m_overlay || (m_preview && !m_previewTimer.isActive()))
        update();
}

void LiveView::onDriverError(const QString& reason)
{
    qCWarning(lcCapture) << "device lost:" << reason;
    emit deviceLost(reason);
}

void LiveView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const FramePtr f = latestFrame();
    // A frame makes its RGB picture here, once, when it is shown.
    const QImage picture = f && (m_overlay || m_preview) ? f->picture() : QImage();
    if (picture.isNull()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    const QRect target = pictureRect(size(), picture.size(), m_session.scale());
    // The whole picture always shows; what it leaves of the window is black.
    p.setRenderHint(QPainter::SmoothPixmapTransform, target.size() != picture.size());
    p.drawImage(target, picture);
    const QRegion rest = QRegion(rect()).subtracted(target);
    for (const QRect& r : rest)
        p.fillRect(r, Qt::black);
}

QRect LiveView::pictureRect(QSize window, QSize image, bool scale)
{
    if (image.isEmpty() || window.isEmpty())
        return {};
    if (!scale && image.width() <= window.width() && image.height() <= window.height())
        return {QPoint(0, 0), image};
    const QSize fitted = image.scaled(window, Qt::KeepAspectRatio);
    return {QPoint((window.width() - fitted.width()) / 2, (window.height() - fitted.height()) / 2), fitted};
}

} // namespace lv
