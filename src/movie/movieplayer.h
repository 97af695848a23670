#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class QThread;

namespace lv {

class PlayerWorker;

// The position label's text: in frames mode the position with at least eight
// digits and the duration with at least seven ("00000005 / 0000120"); in time
// mode each as hours:minutes:seconds, two digits at least ("01:02:05 / ...").
QString movieInfoText(int displayMode, double position, double duration);

// Plays one AVI file: our own player over MovieReader. Decoding runs on a worker
// thread of the player's own; pictures come back by queued signal and are
// drawn by a view (MoviePlayerView). Playback runs on the video clock; the
// sound track goes to the sound output (SoundOutput) a little ahead of it,
// and where the machine has no sound output the movie plays silently at its
// true speed.
//
// Frame numbers are the reader's (the stream's sample numbers). The position
// is the number of the frame shown, or the frame count once playback has
// run to the end; in time mode both position and duration are in seconds.
//
// Threads: create and call on the UI thread; signals arrive there.
class MoviePlayer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoviePlayer)

public:
    enum DisplayMode { Time = 0, Frames = 1 };
    enum ReadyState { Uninitialized = 0, Loading = 1, Complete = 4 };

    explicit MoviePlayer(QObject* parent = nullptr);
    // Stops the worker and waits for it.
    ~MoviePlayer() override;

    // Writing the file name loads the file (openingStarted, then newStreamReady
    // and readyStateChanged(Complete), or openFailed). An empty name unloads.
    void setFileName(const QString& fileName);
    QString fileName() const { return m_fileName; }

    int displayMode() const { return m_displayMode; }
    void setDisplayMode(int mode);
    double currentPosition() const;
    double duration() const;
    bool autoStart() const { return m_autoStart; }
    void setAutoStart(bool on) { m_autoStart = on; }

    int readyState() const { return m_readyState; }
    bool isPlaying() const { return m_playing; }
    // The frame on screen (0 .. frameCount()-1), or frameCount() at the end.
    int64_t currentFrame() const { return m_position; }
    int64_t frameCount() const { return m_frameCount; }
    double framesPerSecond() const { return m_fps; }
    QSize frameSize() const { return m_frameSize; }
    bool hasSound() const { return m_hasSound; }
    // The sound track is being played (a sound output exists) in this run.
    bool soundAudible() const { return m_soundAudible; }
    QImage currentImage() const { return m_image; }
    // The number of the frame in currentImage() (a seek moves the position
    // at once; its picture follows from the worker).
    int64_t imageFrame() const { return m_imageFrame; }
    QString errorText() const { return m_error; }

public slots:
    void play();
    void pause();
    // Halts playback and goes back to the first frame.
    void stop();
    void togglePlay();
    // Shows frame n (clamped to the movie); playing goes on from there.
    void seekFrame(qint64 n);
    void step(int frames);
    void toStart() { seekFrame(0); }
    void toEnd();

signals:
    void openingStarted();
    void newStreamReady();
    void readyStateChanged(int state);
    void openFailed(const QString& error);
    void frameShown(const QImage& image, qint64 frame);
    void playingChanged(bool playing);
    // Playback ran to the end of the movie.
    void ended();

private:
    quint64 bump();
    void onOpened(bool ok, qint64 count, double fps, QSize size, bool sound, const QString& error,
                  quint64 generation);
    void onFrame(const QImage& image, qint64 frame, quint64 generation);
    void onEnded(quint64 generation);
    void requestFrame(int64_t n);

    std::unique_ptr<QThread> m_thread;
    PlayerWorker* m_worker = nullptr; // lives on m_thread; deleted when it ends
    QString m_fileName;
    QString m_error;
    QImage m_image;
    int m_displayMode = Time;
    int m_readyState = Uninitialized;
    bool m_autoStart = false;
    bool m_playing = false;
    bool m_hasSound = false;
    bool m_soundAudible = false;
    int64_t m_position = 0;
    int64_t m_imageFrame = -1;
    int64_t m_frameCount = 0;
    double m_fps = 0;
    QSize m_frameSize;
    // Every command that makes earlier pictures stale bumps this; pictures of
    // an older generation that are still on their way are dropped.
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<quint64>> m_latestShared; // m_generation, as the worker sees it
};

} // namespace lv
