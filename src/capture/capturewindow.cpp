#include "capture/capturewindow.h"
#include "capture/sequencecapture.h"
#include "base/dialogs.h"
#include "base/programdirectory.h"
#include "capture/devicedialogs.h"
#include "capture/devicememory.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QThread>

#include <cmath>

Q_LOGGING_CATEGORY(lcCapture, "lumivark.capture")

namespace lv {

namespace {
const QString kError = QStringLiteral("Error!");

QMutex g_grabMutex;
FramePtr g_grabbed;
} // namespace

// --- Driver enumeration ---

QString CaptureWindow::GetDriverName(int index)
{
    QString name;
    return driverCatalogue().describe(index, &name, nullptr) ? name : kError;
}

QString CaptureWindow::GetDriverVersion(int index)
{
    QString version;
    return driverCatalogue().describe(index, nullptr, &version) ? version : kError;
}

int CaptureWindow::CountDrivers()
{
    int n = 0;
    while (GetDriverName(n) != kError)
        ++n;
    return n;
}

bool CaptureWindow::HasDrivers() { return CountDrivers() > 0; }

// --- Time and rate functions ---

uint32_t CaptureWindow::MicroSecondsPerFrame(int rate)
{
    if (rate == 0)
        return 0;
    return static_cast<uint32_t>(std::lround(1000000.0 / rate));
}

uint32_t CaptureWindow::MicroSecondsPerFrame(double rate)
{
    // The rate is a fixed-point number with four decimals (29.97 stays 29.97).
    const double fixed = std::nearbyint(rate * 10000.0) / 10000.0;
    if (fixed == 0.0)
        return 0;
    return static_cast<uint32_t>(std::lround(1000000.0 / fixed));
}

int CaptureWindow::HoursOf(int64_t seconds) { return static_cast<int>(seconds / 3600); }

int CaptureWindow::MinutesOf(int64_t seconds)
{
    const double h = static_cast<double>(seconds) / 3600.0;
    return static_cast<int>((h - std::trunc(h)) * 60.0 + 1e-9);
}

int CaptureWindow::SecondsOf(int64_t seconds)
{
    const double m = static_cast<double>(seconds) / 60.0;
    return static_cast<int>(std::lround((m - std::trunc(m)) * 60.0));
}

int64_t CaptureWindow::TotalSeconds(int64_t hours, int64_t minutes, int64_t seconds)
{
    return std::max<int64_t>(0, hours) * 3600 + std::max<int64_t>(0, minutes) * 60 + seconds;
}

int CaptureWindow::PreviewIntervalMs(int rate)
{
    if (rate < 1)
        return 0;
    return static_cast<int>(std::lround(1000.0 / rate));
}

// --- Window lifetime ---

CaptureWindow::CaptureWindow(QWidget* parent)
    : QWidget(parent)
{
    connect(&m_session, &CaptureSession::frameArrived, this, &CaptureWindow::onFrameOnUiThread);
    connect(&m_session, &CaptureSession::deviceLost, this, &CaptureWindow::onDriverError);
    connect(&m_session, &CaptureSession::recordingStatus, this, &CaptureWindow::reportStatus);
    setObjectName(QStringLiteral("VIDEO WINDOW"));
    setWindowTitle(QStringLiteral("VIDEO WINDOW"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(0, 0, 160, 120);
    connect(&m_previewTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    show();
}

CaptureWindow::~CaptureWindow()
{
    *m_alive = false;
    disconnectDevice();
}

CaptureWindow* CaptureWindow::CreateCaptureWindow(QWidget* parent) { return new CaptureWindow(parent); }

bool CaptureWindow::ConnectDriver(int index)
{
    disconnectDevice();
    const bool opened = m_session.open(index, [this, index](CaptureDriver& driver) {
        m_index = index;
        m_parms = CaptureParms{};
        m_parms.dwRequestMicroSecPerFrame = MicroSecondsPerFrame(driver.frameRate());
        m_audio = AudioFormat{};
        restoreKeptSettings();
        if (m_captureFile.isEmpty())
            m_captureFile = defaultMovieFolder() + QStringLiteral("capture.avi");
    });
    if (!opened) {
        qCWarning(lcCapture) << "cannot open capture driver" << index << m_session.errorText();
        m_index = -1;
        return false;
    }
    return true;
}

namespace {
const QString kScale = QStringLiteral("window-scale");
const QString kChannels = QStringLiteral("window-channels");
const QString kBits = QStringLiteral("window-bits");
const QString kRate = QStringLiteral("window-rate");

// The capture record's fields the user sets (movie panel, advanced settings), by kept name.
struct ParmsField {
    const char* key;
    uint32_t CaptureParms::*field;
};
constexpr ParmsField kParmsFields[] = {
    {"window-period", &CaptureParms::dwRequestMicroSecPerFrame},
    {"window-limit", &CaptureParms::fLimitEnabled},
    {"window-timelimit", &CaptureParms::wTimeLimit},
    {"window-audio", &CaptureParms::fCaptureAudio},
    {"window-yield", &CaptureParms::fYield},
    {"window-videobuffers", &CaptureParms::wNumVideoRequested},
    {"window-audiobuffers", &CaptureParms::wNumAudioRequested},
    {"window-dosbuffers", &CaptureParms::fUsingDOSMemory},
    {"window-nowritecache", &CaptureParms::fDisableWriteCache},
    {"window-indexsize", &CaptureParms::dwIndexSize},
    {"window-chunk", &CaptureParms::wChunkGranularity},
    {"window-droperror", &CaptureParms::wPercentDropForError},
};
} // namespace

bool CaptureWindow::KeepSettings()
{
    if (!m_session.isOpen())
        return false;
    CaptureDriver::Settings kept = m_session.driver()->keptSettings();
    kept.insert(kScale, QString::number(m_scale ? 1 : 0));
    for (const ParmsField& f : kParmsFields)
        kept.insert(QLatin1String(f.key), QString::number(m_parms.*f.field));
    kept.insert(kChannels, QString::number(m_audio.nChannels));
    kept.insert(kBits, QString::number(m_audio.wBitsPerSample));
    kept.insert(kRate, QString::number(m_audio.nSamplesPerSec));
    devicememory::save(m_session.driver()->identity(), kept);
    return true;
}

void CaptureWindow::restoreKeptSettings()
{
    const CaptureDriver::Settings kept = devicememory::load(m_session.driver()->identity());
    if (kept.isEmpty())
        return;
    m_session.driver()->applyKeptSettings(kept);
    m_parms.dwRequestMicroSecPerFrame = MicroSecondsPerFrame(m_session.driver()->frameRate());
    auto number = [&kept](const QString& key, uint32_t* field) {
        bool ok = false;
        const uint32_t v = kept.value(key).toUInt(&ok);
        if (ok)
            *field = v;
        return ok;
    };
    uint32_t v = 0;
    if (number(kScale, &v))
        m_scale = v == 1;
    for (const ParmsField& f : kParmsFields)
        number(QLatin1String(f.key), &(m_parms.*f.field));
    // The sound format only as a whole, and only one the device takes.
    AudioFormat a = m_audio;
    uint32_t channels = 0, bits = 0, rate = 0;
    if (number(kChannels, &channels) && number(kBits, &bits) && number(kRate, &rate)) {
        a.nChannels = static_cast<uint16_t>(channels);
        a.wBitsPerSample = static_cast<uint16_t>(bits);
        a.nSamplesPerSec = rate;
        a.nBlockAlign = static_cast<uint16_t>(a.nChannels * a.wBitsPerSample / 8);
        a.nAvgBytesPerSec = a.nSamplesPerSec * a.nBlockAlign;
        SetAudioFormat(a, kAudioFormatSize);
    }
}

void CaptureWindow::disconnectDevice()
{
    m_previewTimer.stop();
    if (m_session.isRecording())
        m_session.stopRecording();
    m_session.close();
    m_overlay = m_preview = false;
    m_index = -1;
}

bool CaptureWindow::DisconnectDriver(CaptureWindow* window)
{
    if (!window)
        return false;
    window->disconnectDevice();
    delete window;
    return true;
}

bool CaptureWindow::SetStatusCallback(StatusCallbackFn callback)
{
    m_statusCallback = std::move(callback);
    return true;
}

void CaptureWindow::reportStatus(int code)
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

bool CaptureWindow::GetDriverCaps(CaptureDriverCaps& caps) const
{
    if (!m_session.isOpen())
        return false;
    caps.wDeviceIndex = static_cast<uint16_t>(m_index);
    caps.fHasOverlay = m_session.driver()->hasOverlay() ? 1 : 0;
    caps.fHasDlgVideoSource = m_session.driver()->hasSourceDialog() ? 1 : 0;
    caps.fHasDlgVideoFormat = m_session.driver()->hasFormatDialog() ? 1 : 0;
    caps.fHasDlgVideoDisplay = m_session.driver()->hasDisplayDialog() ? 1 : 0;
    caps.fCaptureInitialized = 1;
    return true;
}

bool CaptureWindow::GetStatus(CaptureStatus& status) const
{
    if (!m_session.isOpen())
        return false;
    const QSize size = m_session.driver()->frameSize();
    status.uiImageWidth = static_cast<uint32_t>(size.width());
    status.uiImageHeight = static_cast<uint32_t>(size.height());
    status.fLiveWindow = m_preview ? 1 : 0;
    status.fOverlayWindow = m_overlay ? 1 : 0;
    status.fScale = m_scale ? 1 : 0;
    const bool capturing = m_session.recorder().capturing();
    status.fCapturingNow = capturing ? 1 : 0;
    status.dwCurrentVideoFrame = m_session.recorder().framesCaptured();
    status.dwCurrentVideoFramesDropped = m_session.recorder().framesDropped();
    status.dwCurrentWaveSamples = m_session.recorder().audioSamples();
    return true;
}

bool CaptureWindow::GetSequenceSetup(CaptureParms& parms) const
{
    if (!m_session.isOpen())
        return false;
    parms = m_parms;
    return true;
}

bool CaptureWindow::SetSequenceSetup(const CaptureParms& parms)
{
    if (!m_session.isOpen())
        return false;
    m_parms = parms;
    return true;
}

int CaptureWindow::GetAudioFormatSize() const { return m_session.isOpen() ? kAudioFormatSize : 0; }

bool CaptureWindow::GetAudioFormat(AudioFormat& format, int size) const
{
    if (!m_session.isOpen() || size < kAudioFormatSize)
        return false;
    format = m_audio;
    return true;
}

bool CaptureWindow::SetAudioFormat(const AudioFormat& format, int size)
{
    if (!m_session.isOpen() || size < kAudioFormatSize)
        return false;
    const bool valid = (format.nChannels == 1 || format.nChannels == 2)
        && (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) && format.nSamplesPerSec >= 1000
        && format.nSamplesPerSec <= 48000;
    if (!valid)
        return false;
    m_audio = format;
    return true;
}

QString CaptureWindow::GetCaptureFile() const { return m_session.isOpen() ? m_captureFile : QString(); }

bool CaptureWindow::SetCaptureFile(const QString& name)
{
    if (!m_session.isOpen() || name.isEmpty())
        return false;
    m_captureFile = name;
    return true;
}

// --- Display ---

bool CaptureWindow::StartPreview(int rate)
{
    if (!m_session.isOpen())
        return false;
    m_overlay = false;
    m_preview = true;
    const int interval = PreviewIntervalMs(rate);
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

bool CaptureWindow::StartOverlay()
{
    if (!m_session.isOpen() || !m_session.driver()->hasOverlay())
        return false;
    m_previewTimer.stop();
    m_preview = false;
    m_overlay = true;
    update();
    return true;
}

bool CaptureWindow::SetScale(bool on)
{
    if (!m_session.isOpen())
        return false;
    m_scale = on;
    update();
    return true;
}

bool CaptureWindow::FitWindow(int top, int left, int height, int width)
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

bool CaptureWindow::ShowFormatDialog()
{
    if (!m_session.isOpen() || !m_session.driver()->hasFormatDialog() || !m_session.driver()->showFormatDialog(window())) {
        dialogs().message(QStringLiteral("Orbelstand: Cannot show Video Format Dialog."), Dialogs::Icon::Error);
        return false;
    }
    return true;
}

bool CaptureWindow::ShowSourceDialog()
{
    if (!m_session.isOpen() || !m_session.driver()->hasSourceDialog() || !m_session.driver()->showSourceDialog(window())) {
        dialogs().message(QStringLiteral("Orbelstand: Cannot show Video Source Dialog."), Dialogs::Icon::Error);
        return false;
    }
    return true;
}

bool CaptureWindow::ShowDisplayDialog()
{
    DeviceDialogs* ui = deviceDialogs();
    if (!m_session.isOpen() || !m_session.driver()->hasDisplayDialog() || !ui) {
        dialogs().message(QStringLiteral("Orbelstand: Cannot show Video Display Dialog."), Dialogs::Icon::Error);
        return false;
    }
    if (const auto scale = ui->display(m_scale, window()))
        SetScale(*scale);
    return true;
}

bool CaptureWindow::ShowCompressionDialog()
{
    DeviceDialogs* ui = deviceDialogs();
    if (!ui) {
        dialogs().message(QStringLiteral("Cannot show Video Compression Dialog."), Dialogs::Icon::Error);
        return false;
    }
    if (const auto choice = ui->compression(window()))
        saveCodecChoice(*choice);
    return true;
}

// --- Capturing ---

bool CaptureWindow::StartSequence()
{
    if (!m_session.isOpen() || m_session.isRecording())
        return false;
    SequenceCapture::Setup setup;
    setup.fileName = m_captureFile;
    setup.parms = m_parms;
    setup.audio = m_audio;
    // The session reports 300 and 301 by recordingStatus.
    return m_session.startRecording(setup);
}

bool CaptureWindow::StopSequence() { return m_session.isOpen() && m_session.recorder().stop(); }

QString CaptureWindow::soundMissingReason() const { return m_session.recorder().withoutSoundReason(); }

QString CaptureWindow::recordingError() const { return m_session.recorder().errorText(); }

bool CaptureWindow::OpenSingleFrames() { return m_session.openSingleFrames(m_captureFile, m_parms); }

bool CaptureWindow::CaptureOneFrame()
{
    if (!m_session.singleFramesOpen())
        return false;
    if (FramePtr f = latestFrame())
        setGrabbedFrame(std::move(f));
    return m_session.captureOneFrame();
}

bool CaptureWindow::CloseSingleFrames() { return m_session.closeSingleFrames(); }

bool CaptureWindow::CopyFrameToClipboard(std::function<void(bool grabbed)> done)
{
    if (!m_session.isOpen()) {
        if (done)
            done(false);
        return false;
    }
    if (FramePtr f = latestFrame()) {
        setGrabbedFrame(std::move(f));
        if (done)
            done(true);
        return true;
    }
    // Just connected: the device delivers its first frame in a moment.
    if (done)
        m_session.whenFrame(this, 1000, [done = std::move(done)](FramePtr f) {
            const bool grabbed = f != nullptr;
            if (grabbed)
                setGrabbedFrame(std::move(f));
            done(grabbed);
        });
    return false;
}

FramePtr CaptureWindow::grabbedFrame()
{
    QMutexLocker l(&g_grabMutex);
    return g_grabbed;
}

void CaptureWindow::setGrabbedFrame(FramePtr frame)
{
    QMutexLocker l(&g_grabMutex);
    g_grabbed = std::move(frame);
}

FramePtr CaptureWindow::latestFrame() const { return m_session.latestFrame(); }

void CaptureWindow::onFrameOnUiThread()
{
    if (m_overlay || (m_preview && !m_previewTimer.isActive()))
        update();
}

void CaptureWindow::onDriverError(const QString& reason)
{
    qCWarning(lcCapture) << "device lost:" << reason;
    emit deviceLost(reason);
}

void CaptureWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const FramePtr f = latestFrame();
    if (!f || f->image.isNull() || (!m_overlay && !m_preview)) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    const QRect target = pictureRect(size(), f->image.size(), m_scale);
    // The whole picture always shows; what it leaves of the window is black.
    p.setRenderHint(QPainter::SmoothPixmapTransform, target.size() != f->image.size());
    p.drawImage(target, f->image);
    const QRegion rest = QRegion(rect()).subtracted(target);
    for (const QRect& r : rest)
        p.fillRect(r, Qt::black);
}

QRect CaptureWindow::pictureRect(QSize window, QSize image, bool scale)
{
    if (image.isEmpty() || window.isEmpty())
        return {};
    if (!scale && image.width() <= window.width() && image.height() <= window.height())
        return {QPoint(0, 0), image};
    const QSize fitted = image.scaled(window, Qt::KeepAspectRatio);
    return {QPoint((window.width() - fitted.width()) / 2, (window.height() - fitted.height()) / 2), fitted};
}

} // namespace lv
