#pragma once

#include "capture/capturetypes.h"
#include "movie/movieinfo.h"
#include "movie/videocodecs.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace lv {

class CaptureSession;

// What a movie recording is asked to do.
struct MovieRecordingSettings {
    QString fileName;
    // The recorder's records, as the device keeps them: the frame rate
    // (dwRequestMicroSecPerFrame), sound on (fCaptureAudio), the time limit
    // (fLimitEnabled, wTimeLimit) and the exclusive (fYield = 0) or
    // background task. The mouse abort and the held input of an exclusive
    // task are the window's business.
    CaptureParms parms;
    AudioFormat audio;
    // Unset: the choice kept in the settings store.
    std::optional<CodecChoice> codec;
    // MKV and MP4: the sound codec, "aac" or "pcm" (MKV only); empty = AAC.
    QString audioEncoder;
    // The six information texts (copyright, artist, subject, product, source,
    // comments), written into the finished movie when writeInfo is set (MKV
    // and MP4: as tags with the header).
    bool writeInfo = false;
    std::array<QString, 6> info;
    // Progress comes at most this often (it follows the frames).
    int progressIntervalMs = 100;

    bool exclusive() const { return parms.fYield == 0; }
};

// How a recording went, reported once at its end.
struct MovieRecordingResult {
    QString fileName;
    uint32_t frames = 0;  // frames the movie holds
    uint32_t dropped = 0; // frames the recorder lost or the device skipped
    int64_t elapsedMs = 0;
    // Why the recording failed (a file the disk refused, no picture at all);
    // empty when the movie is whole.
    QString error;
    // The disk held less than 1 MB when the recording ended.
    bool diskFull = false;
    // Why a recording asked with sound has none; empty otherwise.
    QString withoutSound;
    // The device stopped delivering during the recording: its reason.
    QString deviceLost;
    // The information write, when one was asked for.
    bool infoAsked = false;
    bool infoWritten = false;
    QString infoError;

    bool infoFailed() const { return infoAsked && !infoWritten; }
    bool ok() const { return error.isEmpty() && deviceLost.isEmpty() && !infoFailed(); }
};

// A running or finished movie recording on a capture session: the movie
// file, its time limit, the watch on the disk and the dropped frames, and
// the information fields written once the file is complete. The window
// program and lumivark-cli both record through it; what it did comes by
// signals. No windows. UI thread (the session's thread) only.
class MovieRecording final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieRecording)

public:
    MovieRecording(CaptureSession& session, MovieRecordingSettings settings, QObject* parent = nullptr);
    // A recording still running is ended and its file finished (information
    // included), without signals.
    ~MovieRecording() override;

    // Starts the recording and returns at once: started() has come when it
    // returns true. False (errorText() says why) when the file cannot be
    // written or no device is open; nothing else follows then.
    bool start();
    // Ends the recording; ended() follows on the event loop. Safe to call
    // twice, before start and after the end.
    void stop();
    bool running() const { return m_running; }
    bool finished() const { return m_finished; }
    QString errorText() const { return m_error; }
    const MovieRecordingSettings& settings() const { return m_settings; }
    // Valid once finished().
    const MovieRecordingResult& result() const { return m_result; }

    // Writes the information texts into a finished movie: what the end of a
    // recording does, and the series' frame-by-frame movies.
    static MovieInfoResult writeInfo(const QString& fileName, const std::array<QString, 6>& info);

    // The disk is taken as full below this many free bytes.
    static constexpr int64_t kDiskFullBytes = 1048576;

signals:
    // The file is open and frames go into it; withoutSound says why a
    // recording asked with sound has none.
    void started(const QString& fileName, const QString& withoutSound);
    // The counts as the recorder has them, from its first frame on, at most
    // every progressIntervalMs while frames come; freeBytes is the disk's free space (-1 unknown) and
    // writtenBytes how much the disk has lost since the start.
    void progress(uint32_t frames, uint32_t dropped, int64_t elapsedMs, int64_t freeBytes, int64_t writtenBytes);
    // Once per started recording, after the file is closed and its
    // information written.
    void ended(const lv::MovieRecordingResult& result);

private:
    void onStatus(int code);
    void onFrame();
    void measureDisk();
    void finish();

    QPointer<CaptureSession> m_session;
    MovieRecordingSettings m_settings;
    MovieRecordingResult m_result;
    QString m_error;
    QElapsedTimer m_clock;
    int64_t m_lastProgressMs = -1;
    uint32_t m_lastFrames = UINT32_MAX;
    uint32_t m_lastDropped = UINT32_MAX;
    int64_t m_freeAtStart = -1;
    int64_t m_freeNow = -1;
    bool m_running = false;
    bool m_finished = false;
    bool m_tagsAtStart = false; // the information went into the file's header
};

} // namespace lv

Q_DECLARE_METATYPE(lv::MovieRecordingResult)
