#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace lv {

// What the compression options dialog chose for a recompression.
struct RecompressOptions {
    QString encoder = QStringLiteral("mjpeg"); // an FFmpeg encoder name
    int quality = 75;       // 1..100; lossless encoders ignore it
    int keyFrameEvery = 0;  // frames between key frames; 0 = one a second
    int dataRate = 0;       // KB per second the video may use; 0 = quality decides
    int threads = 0;        // codec threads; 0 = as many as the machine has
};

struct RecompressResult {
    enum class Status { Recompressed, Cancelled, Failed };
    Status status = Status::Failed;
    QString error;     // why it failed, for the status line or a log
    QString output;    // the AVI written (on success)
    QString soundFile; // the .wav written beside it, empty when the movie has no sound
};

// "<output without its extension>.wav": where the sound of a recompression goes.
QString recompressedSoundName(const QString& output);

// Encodes the first video stream of an AVI file again with another codec
// into a new AVI file, frame for frame at the same rate; when the movie has
// sound, the sound goes unchanged into recompressedSoundName(output). The
// source is only read. Outputs are written under temporary names in their
// folder and renamed at the end, so a cancelled or failed run leaves no
// partial file and an older file of the output's name stays as it was.
//
// Runs on the calling thread, which decodes, while a second thread of its
// own encodes and writes; both have ended when it returns. progress gets the
// percentage done (0..100, each value once, in order) on either thread, never
// on two at once; cancel is polled once per frame.
RecompressResult recompressMovie(const QString& source, const QString& output, const RecompressOptions& options,
                                 const std::atomic_bool& cancel, const std::function<void(int)>& progress = {});

// Runs recompressMovie on a worker thread of its own. Lives on the UI thread;
// its signals arrive there (queued). One recompression at a time.
class Recompression final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Recompression)

public:
    explicit Recompression(QObject* parent = nullptr);
    // Cancels a running recompression and waits for its worker to end.
    ~Recompression() override;

    // False when one runs already.
    bool start(const QString& source, const QString& output, const RecompressOptions& options);
    // Asks the running recompression to stop; it then ends as Cancelled.
    void cancel();
    bool isRunning() const { return m_busy; }

signals:
    void progress(int percent);
    void finished(const lv::RecompressResult& result);

private:
    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_cancel{false};
    bool m_busy = false;
};

} // namespace lv

Q_DECLARE_METATYPE(lv::RecompressResult)
