#include "capture/capturesession.h"
#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "capture/capturetiming.h"
#include "capture/drivercatalogue.h"

#include <QPointer>
#include <QTimer>

namespace lv {

namespace {

// --- Per-device memory: one section of the settings store per device identity ---

const QString kStore = QStringLiteral("LVDEVICES");

// The store splits names at slashes; an identity keeps its own.
QString sectionOf(const QString& identity)
{
    QString s = identity;
    s.replace(QLatin1Char('%'), QStringLiteral("%25"));
    s.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    s.replace(QLatin1Char('\\'), QStringLiteral("%5C"));
    return s;
}

CaptureDriver::Settings loadKept(const QString& identity)
{
    if (identity.isEmpty())
        return {};
    return settings::section(kStore, sectionOf(identity));
}

void saveKept(const QString& identity, const CaptureDriver::Settings& values)
{
    if (!identity.isEmpty())
        settings::saveSection(kStore, sectionOf(identity), values);
}

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

CaptureSession::CaptureSession(QObject* parent)
    : QObject(parent)
    , m_sequence(std::make_unique<Recorder>())
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
    resetRecords(index);
    if (m_remembers)
        restoreDeviceSettings();
    if (m_captureFile.isEmpty())
        m_captureFile = defaultMovieFolder() + QStringLiteral("capture.avi");
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
    m_index = -1;
    QMutexLocker l(&m_frameMutex);
    m_latest.reset();
}

// --- Records and per-device memory ---

void CaptureSession::resetRecords(int index)
{
    m_index = index;
    m_parms = CaptureParms{};
    m_parms.dwRequestMicroSecPerFrame = capturetiming::MicroSecondsPerFrame(m_driver->frameRate());
    m_audio = AudioFormat{};
}

bool CaptureSession::keepDeviceSettings()
{
    if (!m_driver)
        return false;
    CaptureDriver::Settings kept = m_driver->keptSettings();
    kept.insert(kScale, QString::number(m_scale ? 1 : 0));
    for (const ParmsField& f : kParmsFields)
        kept.insert(QLatin1String(f.key), QString::number(m_parms.*f.field));
    kept.insert(kChannels, QString::number(m_audio.nChannels));
    kept.insert(kBits, QString::number(m_audio.wBitsPerSample));
    kept.insert(kRate, QString::number(m_audio.nSamplesPerSec));
    saveKept(m_driver->identity(), kept);
    return true;
}

void CaptureSession::restoreDeviceSettings()
{
    const CaptureDriver::Settings kept = loadKept(m_driver->identity());
    if (kept.isEmpty())
        return;
    m_driver->applyKeptSettings(kept);
    m_parms.dwRequestMicroSecPerFrame = capturetiming::MicroSecondsPerFrame(m_driver->frameRate());
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
        setAudioFormat(a);
    }
}

bool CaptureSession::captureParms(CaptureParms& parms) const
{
    if (!m_driver)
        return false;
    parms = m_parms;
    return true;
}

bool CaptureSession::setCaptureParms(const CaptureParms& parms)
{
    if (!m_driver)
        return false;
    m_parms = parms;
    return true;
}

bool CaptureSession::audioFormat(AudioFormat& format) const
{
    if (!m_driver)
        return false;
    format = m_audio;
    return true;
}

bool CaptureSession::setAudioFormat(const AudioFormat& format)
{
    if (!m_driver)
        return false;
    const bool valid = (format.nChannels == 1 || format.nChannels == 2)
        && (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) && format.nSamplesPerSec >= 1000
        && format.nSamplesPerSec <= 48000;
    if (!valid)
        return false;
    m_audio = format;
    return true;
}

QString CaptureSession::captureFile() const { return m_driver ? m_captureFile : QString(); }

bool CaptureSession::setCaptureFile(const QString& name)
{
    if (!m_driver || name.isEmpty())
        return false;
    m_captureFile = name;
    return true;
}

bool CaptureSession::setScale(bool on)
{
    if (!m_driver)
        return false;
    m_scale = on;
    return true;
}

bool CaptureSession::status(CaptureStatus& status) const
{
    if (!m_driver)
        return false;
    const QSize size = m_driver->frameSize();
    status.uiImageWidth = static_cast<uint32_t>(size.width());
    status.uiImageHeight = static_cast<uint32_t>(size.height());
    status.fScale = m_scale ? 1 : 0;
    status.fCapturingNow = m_sequence->capturing() ? 1 : 0;
    status.dwCurrentVideoFrame = m_sequence->framesCaptured();
    status.dwCurrentVideoFramesDropped = m_sequence->framesDropped();
    status.dwCurrentWaveSamples = m_sequence->audioSamples();
    return true;
}

bool CaptureSession::driverCaps(CaptureDriverCaps& caps) const
{
    if (!m_driver)
        return false;
    caps.wDeviceIndex = static_cast<uint16_t>(m_index);
    caps.fHasOverlay = m_driver->hasOverlay() ? 1 : 0;
    caps.fHasDlgVideoSource = m_driver->hasSourceDialog() ? 1 : 0;
    caps.fHasDlgVideoFormat = m_driver->hasFormatDialog() ? 1 : 0;
    caps.fHasDlgVideoDisplay = m_driver->hasDisplayDialog() ? 1 : 0;
    caps.fCaptureInitialized = 1;
    return true;
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

bool CaptureSession::startRecording(Recorder::Setup setup)
{
    m_error.clear();
    if (!m_driver) {
        m_error = QStringLiteral("no device is open");
        return false;
    }
    setup.driver = m_driver.get();
    std::weak_ptr<std::atomic<bool>> alive = m_alive;
    // Recorder calls this on the session's thread.
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

bool CaptureSession::startRecording()
{
    if (!m_driver || m_sequence->capturing())
        return false;
    Recorder::Setup setup;
    setup.fileName = m_captureFile;
    setup.parms = m_parms;
    setup.audio = m_audio;
    return startRecording(setup);
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

bool CaptureSession::openSingleFrames() { return openSingleFrames(m_captureFile, m_parms); }

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
