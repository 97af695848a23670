#include "modes/movierecording.h"

#include "base/diskspace.h"
#include "capture/capturesession.h"
#include "modes/modeslog.h"

namespace lv {

MovieRecording::MovieRecording(CaptureSession& session, MovieRecordingSettings settings, QObject* parent)
    : QObject(parent)
    , m_session(&session)
    , m_settings(std::move(settings))
{
    qRegisterMetaType<lv::MovieRecordingResult>();
}

MovieRecording::~MovieRecording()
{
    // The file is finished as at any end, but nobody hears of it any more.
    blockSignals(true);
    if (m_running && m_session)
        m_session->stopRecording();
    if (m_running)
        finish();
}

MovieInfoResult MovieRecording::writeInfo(const QString& fileName, const std::array<QString, 6>& f)
{
    if (containerForFile(fileName) != MovieContainer::Avi)
        return WriteMovieTags(fileName, movieInfoTags(f[0], f[1], f[2], f[3], f[4], f[5]));
    return WriteMovieInfo(fileName, f[0], f[1], f[2], f[3], f[4], f[5]);
}

bool MovieRecording::start()
{
    m_error.clear();
    if (m_running || m_finished) {
        m_error = QStringLiteral("a recording runs once");
        return false;
    }
    if (!m_session || !m_session->isOpen()) {
        m_error = QStringLiteral("no device is open");
        return false;
    }
    if (m_session->isRecording()) {
        m_error = QStringLiteral("the device is already recording");
        return false;
    }
    m_result = {};
    m_result.fileName = m_settings.fileName;
    m_result.infoAsked = m_settings.writeInfo;
    m_lastProgressMs = -1;
    m_lastFrames = m_lastDropped = UINT32_MAX;
    m_freeAtStart = m_freeNow = freeDiskSpace(m_settings.fileName);

    Recorder::Setup setup;
    setup.fileName = m_settings.fileName;
    setup.parms = m_settings.parms;
    setup.audio = m_settings.audio;
    setup.codec = m_settings.codec;
    setup.audioEncoder = m_settings.audioEncoder;
    // MKV and MP4 take the information as tags in their header, so a cut
    // recording keeps it too; AVI gets its chunk once the file is complete.
    const std::array<QString, 6>& f = m_settings.info;
    m_tagsAtStart = m_settings.writeInfo && containerForFile(m_settings.fileName) != MovieContainer::Avi;
    if (m_tagsAtStart)
        setup.tags = movieInfoTags(f[0], f[1], f[2], f[3], f[4], f[5]);

    // The recorder's own status codes mark the start (300) and the end (301)
    // of this recording; frames drive the progress.
    connect(m_session, &CaptureSession::recordingStatus, this, &MovieRecording::onStatus);
    connect(m_session, &CaptureSession::frameArrived, this, &MovieRecording::onFrame);
    connect(m_session, &CaptureSession::deviceLost, this, [this](const QString& reason) {
        if (m_running)
            m_result.deviceLost = reason;
    });
    m_clock.start();
    m_running = true; // the start's 300 comes inside startRecording
    if (!m_session->startRecording(setup)) {
        m_running = false;
        disconnect(m_session, nullptr, this, nullptr);
        m_error = m_session->errorText();
        qCWarning(lcModes).noquote() << "cannot record" << m_settings.fileName << ":" << m_error;
        return false;
    }
    return true;
}

void MovieRecording::stop()
{
    if (!m_running)
        return;
    if (m_session)
        m_session->stopRecording(); // the end's 301 comes inside
    if (m_running)
        finish(); // the session was gone, or the recorder had ended unnoticed
}

void MovieRecording::onStatus(int code)
{
    if (!m_running)
        return;
    if (code == kStatusCaptureStart) {
        const QString silent = m_session ? m_session->recorder().withoutSoundReason() : QString();
        emit started(m_settings.fileName, silent);
    } else if (code == kStatusCaptureEnd) {
        finish();
    }
}

void MovieRecording::measureDisk()
{
    m_freeNow = freeDiskSpace(m_settings.fileName);
    // Space freed elsewhere during the recording moves the start up, so the
    // estimate never goes below nought.
    if (m_freeNow >= m_freeAtStart)
        m_freeAtStart = m_freeNow;
}

void MovieRecording::onFrame()
{
    if (!m_running || !m_session || !m_session->isRecording())
        return;
    const Recorder& rec = m_session->recorder();
    const uint32_t frames = rec.framesCaptured();
    const uint32_t dropped = rec.framesDropped();
    const int64_t now = m_clock.elapsed();
    if (frames == 0 || (frames == m_lastFrames && dropped == m_lastDropped)
        || (m_lastProgressMs >= 0 && now - m_lastProgressMs < m_settings.progressIntervalMs))
        return;
    m_lastProgressMs = now;
    m_lastFrames = frames;
    m_lastDropped = dropped;
    measureDisk();
    const int64_t written = m_freeAtStart >= 0 && m_freeNow >= 0 ? m_freeAtStart - m_freeNow : 0;
    emit progress(frames, dropped, now, m_freeNow, written);
}

void MovieRecording::finish()
{
    if (!m_running)
        return;
    m_running = false;
    m_finished = true;
    if (m_session) {
        disconnect(m_session, nullptr, this, nullptr);
        const Recorder& rec = m_session->recorder();
        m_result.frames = rec.framesCaptured();
        m_result.dropped = rec.framesDropped();
        m_result.error = rec.errorText();
        m_result.withoutSound = rec.withoutSoundReason();
    } else if (m_result.deviceLost.isEmpty()) {
        m_result.deviceLost = QStringLiteral("the device was closed");
    }
    m_result.elapsedMs = m_clock.elapsed();
    measureDisk();
    m_result.diskFull = m_freeNow >= 0 && m_freeNow < kDiskFullBytes;
    // Into a whole file only: a movie the disk refused gets nothing appended.
    if (m_settings.writeInfo && m_result.error.isEmpty() && m_tagsAtStart) {
        m_result.infoWritten = true;
    } else if (m_settings.writeInfo && m_result.error.isEmpty()) {
        const MovieInfoResult r = writeInfo(m_settings.fileName, m_settings.info);
        m_result.infoWritten = r.written;
        m_result.infoError = r.error;
        if (!r.written)
            qCWarning(lcModes).noquote() << "information not written:" << r.error;
    } else if (m_settings.writeInfo) {
        m_result.infoError = QStringLiteral("the recording failed: ") + m_result.error;
    }
    qCInfo(lcModes).noquote() << "recording" << m_settings.fileName << "ended:" << m_result.frames << "frames,"
                              << m_result.dropped << "dropped" << m_result.error;
    // On the event loop: a stop() from a button's handler finishes that
    // handler before the window hears how the recording ended.
    QMetaObject::invokeMethod(this, [this] { emit ended(m_result); }, Qt::QueuedConnection);
}

} // namespace lv
