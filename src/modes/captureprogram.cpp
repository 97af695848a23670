#include "modes/captureprogram.h"

#include "capture/capturesession.h"
#include "image/bitmapfile.h"
#include "image/drawnpicture.h"
#include "image/jpegoutput.h"
#include "modes/movierecording.h"

#include <QFileInfo>
#include <cmath>

namespace lv {

CaptureProgram::CaptureProgram(CaptureModel& model, RunRecord& run, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_run(run)
{
    m_seriesTimer.setInterval(1000);
    m_motionTimer.setInterval(600);
    connect(&m_seriesTimer, &QTimer::timeout, this, &CaptureProgram::seriesTick);
    connect(&m_motionTimer, &QTimer::timeout, this, &CaptureProgram::motionTick);
}

CaptureProgram::~CaptureProgram() = default;

void CaptureProgram::setSession(CaptureSession* session)
{
    if (session == m_session)
        return;
    if (m_session) {
        m_session->closeSingleFrames();
        disconnect(m_session, nullptr, this, nullptr);
    }
    m_session = session;
    m_deviceLost = false;
    if (session) {
        connect(session, &CaptureSession::deviceLost, this, [this](const QString& reason) {
            m_deviceLost = true;
            setStatus(QStringLiteral("Capture device lost: ") + reason);
        });
    }
}

QImage CaptureProgram::newestFrame() const
{
    if (m_deviceLost || !m_session)
        return {};
    const FramePtr f = m_session->latestFrame();
    return f ? f->picture() : QImage();
}

StampSettings CaptureProgram::stamps(bool series) const
{
    const PanelStamps& p = m_model.stamps(series);
    StampSettings s;
    s.timeOn = p.InsertTime;
    s.timeColor = m_model.settings().TimeColor;
    s.timePosition = p.TimePosition;
    s.dateOn = p.InsertDate;
    s.dateColor = m_model.settings().DateColor;
    s.datePosition = p.DatePosition;
    s.textOn = p.InsertText;
    s.textColor = m_model.settings().TextColor;
    s.textPosition = p.TextPosition;
    s.text = p.Text;
    return s;
}

// --- Series -----------------------------------------------------------------

bool CaptureProgram::shotFailedWith(const QString& status)
{
    setStatus(status);
    emit shotFailed(status);
    return false;
}

void CaptureProgram::startSeries()
{
    const CaptureSettings& c = m_model.settings();
    const int type = c.MultipleImageType;
    m_run.FrameRate = c.AVIRate;
    m_run.ImageCount = 0;
    m_numberOffset = highestSeriesNumber(m_model.fileName(), type);
    m_model.setRunState(RunState::SeriesRunning);
    if (c.Trigger == TriggerKind::Motion) {
        m_run.MotionSeries = true;
        // No reference from an earlier run: the first tick only measures.
        m_motion.reset();
        m_motionTimer.start();
    } else if (c.Trigger == TriggerKind::Timer) {
        m_run.TimerInterval = std::max(0, c.Interval);
        m_run.TimerTicks = 0;
        m_countdown.restart(m_run.TimerInterval);
        m_seriesTimer.start();
    }
    if (type != int(SeriesType::Movie))
        return;
    m_model.captureParms().dwRequestMicroSecPerFrame =
        m_run.FrameRate > 0 ? static_cast<uint32_t>(std::lround(1000000.0 / m_run.FrameRate)) : 0;
    if (m_session && !m_session->openSingleFrames(m_model.fileName(), m_model.captureParms()))
        setStatus(QStringLiteral("Cannot write ") + m_model.fileName());
}

void CaptureProgram::stopSeries()
{
    m_seriesTimer.stop();
    if (m_run.MotionSeries) {
        m_motionTimer.stop();
        m_run.MotionSeries = false;
    }
    // Closing a frame-by-frame movie reports no end of capture, so the
    // information asked for is written here, once the file is complete.
    if (m_session && m_session->closeSingleFrames() && m_model.settings().SeriesAviInfo) {
        setStatus(QStringLiteral("Writing Info"));
        writeInfo();
    }
    if (m_model.runState() == RunState::SeriesRunning)
        m_model.setRunState(RunState::Idle);
}

bool CaptureProgram::shoot()
{
    ++m_run.ImageCount;
    setStatus(imageNumberStatus(m_run.ImageCount));
    const int type = m_model.settings().MultipleImageType;
    if (m_deviceLost)
        return shotFailedWith(QStringLiteral("No picture: the capture device is lost"));

    if (type == int(SeriesType::Movie)) {
        if (!m_session)
            return shotFailedWith(QStringLiteral("No picture from the capture device"));
        if (!m_session->captureOneFrame())
            return shotFailedWith(QStringLiteral("Error writing frame to ") + m_model.fileName());
        setStatus(QStringLiteral("Capturing Frame"));
        return true;
    }

    const int32_t number = m_run.ImageCount;
    if (m_session && !m_session->latestFrame()) {
        // Just connected: the shot is stored when the first frame arrives.
        m_session->whenFrame(this, 1000, [this, type, number](FramePtr f) {
            store(f && !m_deviceLost ? f->picture() : QImage(), type, number);
        });
        return true;
    }
    return store(newestFrame(), type, number);
}

bool CaptureProgram::store(const QImage& frame, int type, int32_t number)
{
    if (frame.isNull())
        return shotFailedWith(QStringLiteral("No picture from the capture device"));
    DrawnPicture drawn;
    drawn.setFrame(frame);
    StampImage(drawn, stamps(true), number);
    const QImage picture = drawn.drawnImage();

    if (type == int(SeriesType::Clipboard)) {
        emit pictureShot(picture, QStringLiteral("Clipboard"));
        return true;
    }
    QString name = seriesFileName(m_model.fileName(), type, m_numberOffset + number);
    if (name.isEmpty())
        return false;
    const bool numbered = type == int(SeriesType::NumberedBitmap) || type == int(SeriesType::NumberedJpeg);
    // Nor over a picture that has appeared since the series began.
    while (numbered && QFileInfo::exists(name) && m_numberOffset < kHighestSeriesNumber) {
        ++m_numberOffset;
        name = seriesFileName(m_model.fileName(), type, m_numberOffset + number);
    }
    bool stored = false;
    if (type == int(SeriesType::NumberedBitmap) || type == int(SeriesType::RefreshBitmap)) {
        setStatus((type == int(SeriesType::NumberedBitmap) ? QStringLiteral("Writing... ") : QStringLiteral("Refresh... "))
                  + name);
        const FileResult saved = SavePictureAsBitmap(picture, name);
        stored = saved.ok();
        if (!stored)
            setStatus(QStringLiteral("Error writing ") + name + QStringLiteral(": ") + saved.reason());
    } else {
        const FileResult saved =
            SaveJPEGFile(picture, name, m_model.preferences().JpegQuality, [this](const QString& text) { setStatus(text); });
        stored = saved.ok();
        if (!stored)
            emit fileFailed(saved);
    }
    if (!stored)
        emit shotFailed(m_model.statusText());
    emit pictureShot(picture, name);
    if (stored && m_model.settings().SendToFTPServer && upload)
        upload(name, name);
    return stored;
}

void CaptureProgram::seriesTick()
{
    if (uploadRunning && uploadRunning())
        return;
    const SeriesCountdown::Tick t = m_countdown.tick();
    m_run.TimerTicks = m_countdown.ticks();
    setStatus(t.status);
    if (t.shoot)
        shoot();
}

// --- Motion -----------------------------------------------------------------

void CaptureProgram::armMotion()
{
    m_motion.reset();
    m_model.setRunState(RunState::MotionArmed);
    m_motionTimer.start();
}

bool CaptureProgram::interruptMotion()
{
    const bool wasRunning = m_motionTimer.isActive();
    m_motionTimer.stop();
    if (m_model.runState() == RunState::MotionArmed)
        m_model.setRunState(RunState::Idle);
    return wasRunning;
}

void CaptureProgram::motionError()
{
    emit motionFailed();
    // What the window did not stop stops here.
    if (m_run.MotionSeries)
        stopSeries();
    interruptMotion();
    setStatus(QStringLiteral("Motion Detector Error"));
}

void CaptureProgram::motionTick()
{
    // A tick that arrives while an earlier one is still storing its image,
    // or while its upload still runs, is skipped, not stacked.
    if (m_inMotionTick || (uploadRunning && uploadRunning()))
        return;
    m_inMotionTick = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_inMotionTick};

    const QImage frame = newestFrame();
    if (frame.isNull()) {
        motionError();
        return;
    }
    const motion::Step s = m_motion.step(motion::sampleAverage(frame), m_model.preferences().MotionSensitivity);
    if (!s.measured)
        return;
    setStatus(s.status);
    if (!s.motion)
        return;
    if (m_run.MotionSeries) {
        if (!shoot())
            motionError();
        return;
    }
    emit startRequested();
    // Armed once: whoever started the capture has stopped the detector; if nobody did, it stops here.
    if (m_model.runState() == RunState::MotionArmed)
        interruptMotion();
}

// --- Recording --------------------------------------------------------------

bool CaptureProgram::writeInfo()
{
    const MovieInfoResult r = MovieRecording::writeInfo(m_model.fileName(), m_model.infoFields());
    m_model.setInfoWriteFailed(!r.written);
    if (!r.written)
        setStatus(r.error);
    return r.written;
}

} // namespace lv
