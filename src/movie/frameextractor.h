#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QThread;

namespace lv {

// How an extraction ended. Quiet: the stream has no frames to offer or its
// frames cannot be decoded to 24 bits (no status text); Error: the file or its
// video stream could not be opened, or a bitmap could not be written.
enum class ExtractOutcome { Done, Quiet, Error, Cancelled };

// "<base>_Frame_<n>.<type>", n in plain decimal.
QString extractedFrameName(const QString& base, int64_t n, const QString& type);
// "Saving <i> of <last> frames", where a number 0 is written as nothing.
QString savingFramesText(int64_t i, int64_t last);
// The editor's caption for frame n of a movie window captioned `caption`:
// the caption without its last 4 characters, "_Frame_", n.
QString extractedImageCaption(const QString& caption, int64_t n);
// A packed 24-bit bottom-up bitmap (as MovieReader hands out) as a top-down
// image; null when the bitmap is not one.
QImage imageFromPackedDib(const QByteArray& dib);

// Turns frames of an AVI file into still images on a worker thread of its
// own. Lives on the UI thread: call it from there; every signal arrives there
// (queued), so receivers may touch widgets. One job at a time.
class FrameExtractor final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrameExtractor)

public:
    explicit FrameExtractor(QObject* parent = nullptr);
    // Cancels a running job and waits for its worker to end.
    ~FrameExtractor() override;

    // Writes every frame of the movie's first video stream: the target name
    // without its last 4 characters + "_Frame_" + n + ".bmp" or ".jpg", by
    // the target's last 3 characters; any other type walks the frames and
    // writes nothing. False when a job runs already.
    bool extractAll(const QString& movie, const QString& target, int jpegQuality);
    // Decodes frame n alone and hands it out by frameExtracted().
    bool extractOne(const QString& movie, int64_t frame);
    // Asks the running job to stop after the frame at hand; files written stay.
    void cancel();
    bool isRunning() const { return m_busy; }

signals:
    // A frame was handled (after its file was written); last = the last frame number.
    // Frames that cannot be decoded are passed over and the run ends with
    // Error, saying how many of them were decoded.
    void progress(qint64 frame, qint64 last);
    // A JPEG file could not be written, and why; the job goes on with the next frame.
    void jpegFailed(const QString& fileName, const QString& reason);
    // extractOne's frame, as a packed 24-bit bottom-up bitmap.
    void frameExtracted(const QByteArray& dib, qint64 frame);
    void finished(lv::ExtractOutcome outcome, const QString& detail);

private:
    bool start(std::function<void()> job);
    void post(std::function<void()> emitter);
    // Ends a run on the UI thread: not busy any more, then `finished`.
    void finish(ExtractOutcome outcome, const QString& detail);
    void runAll(const QString& movie, const QString& target, int quality);
    void runOne(const QString& movie, int64_t frame);

    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_cancel{false};
    bool m_busy = false;
};

} // namespace lv

Q_DECLARE_METATYPE(lv::ExtractOutcome)
