#include "movie/frameextractor.h"

#include "image/cdib.h"
#include "movie/moviereader.h"
#include "movie/extractwritestage.h"

#include <QThread>

#include <algorithm>

namespace lv {

namespace {

// A number in the "#" form: digits without padding, 0 as nothing.
QString hashForm(int64_t v)
{
    return v == 0 ? QString() : QString::number(v);
}

} // namespace

QString extractedFrameName(const QString& base, int64_t n, const QString& type)
{
    return base + QStringLiteral("_Frame_") + QString::number(n) + QLatin1Char('.') + type;
}

QString savingFramesText(int64_t i, int64_t last)
{
    return QStringLiteral("Saving ") + hashForm(i) + QStringLiteral(" of ") + hashForm(last) + QStringLiteral(" frames");
}

QString extractedImageCaption(const QString& caption, int64_t n)
{
    return caption.left(std::max<qsizetype>(0, caption.size() - 4)) + QStringLiteral("_Frame_") + QString::number(n);
}

QImage imageFromPackedDib(const QByteArray& dib)
{
    if (dib.size() < 40)
        return {};
    const auto* h = reinterpret_cast<const uint8_t*>(dib.constData());
    const int width = int(h[4] | h[5] << 8 | h[6] << 16 | uint32_t(h[7]) << 24);
    const int height = int(h[8] | h[9] << 8 | h[10] << 16 | uint32_t(h[11]) << 24);
    const int bits = h[14] | h[15] << 8;
    const int row = MovieReader::rowBytes(width);
    if (bits != 24 || width <= 0 || height <= 0 || width > MovieReader::kMaxSide || height > MovieReader::kMaxSide
        || dib.size() < 40 + qsizetype(row) * height)
        return {};
    const QImage rows(reinterpret_cast<const uchar*>(dib.constData()) + 40, width, height, row, QImage::Format_BGR888);
    return rows.mirrored().convertToFormat(QImage::Format_RGB32);
}

FrameExtractor::FrameExtractor(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<lv::ExtractOutcome>();
}

FrameExtractor::~FrameExtractor()
{
    m_cancel = true;
    if (m_thread)
        m_thread->wait();
}

void FrameExtractor::cancel()
{
    m_cancel = true;
}

// Runs fn on the UI thread, in this object's own turn of the event loop.
void FrameExtractor::post(std::function<void()> emitter)
{
    QMetaObject::invokeMethod(this, std::move(emitter), Qt::QueuedConnection);
}

bool FrameExtractor::start(std::function<void()> job)
{
    if (m_busy)
        return false;
    if (m_thread)
        m_thread->wait(); // its job has reported already; the thread is at its end
    m_cancel = false;
    m_busy = true;
    m_thread.reset(QThread::create(std::move(job)));
    m_thread->start();
    return true;
}

bool FrameExtractor::extractAll(const QString& movie, const QString& target, int jpegQuality)
{
    return start([this, movie, target, jpegQuality] { runAll(movie, target, jpegQuality); });
}

bool FrameExtractor::extractOne(const QString& movie, int64_t frame)
{
    return start([this, movie, frame] { runOne(movie, frame); });
}

void FrameExtractor::finish(ExtractOutcome outcome, const QString& detail)
{
    post([this, outcome, detail] {
        m_busy = false;
        emit finished(outcome, detail);
    });
}

void FrameExtractor::runAll(const QString& movie, const QString& target, int quality)
{
    MovieReader reader;
    if (!reader.open(movie))
        return finish(ExtractOutcome::Error, reader.errorText());
    if (reader.videoStream() < 0)
        return finish(ExtractOutcome::Error, QStringLiteral("The file has no video stream"));
    const int64_t first = reader.firstFrame();
    const int64_t count = reader.frameCount();
    if (first < 0 || count < 0)
        return finish(ExtractOutcome::Quiet, {});
    if (!reader.openDecoder())
        return finish(ExtractOutcome::Quiet, reader.errorText());

    const QString type = target.right(3).toLower();
    const QString base = target.left(std::max<qsizetype>(0, target.size() - 4));
    const int64_t last = first + count - 1;
    // The write stage converts, compresses and writes on threads of its own
    // while the next frame decodes: one per core beside this one (on two
    // cores a second writer measured no faster, the system's copying of the
    // bitmaps into files contending). The pictures it is handed share the
    // decoder's buffers, so nothing of megabytes is copied or mapped per
    // frame. LUMIVARK_EXTRACT_THREADS sets the number of writing threads; 0
    // keeps it all on this thread.
    ExtractWriteStage::Events events;
    events.written = [this, last](int64_t i) { post([this, i, last] { emit progress(i, last); }); };
    events.jpegFailed = [this](const QString& name, const QString& error) {
        post([this, name, error] { emit jpegFailed(name, error); });
    };
    bool given = false;
    const int wanted = qEnvironmentVariableIntValue("LUMIVARK_EXTRACT_THREADS", &given);
    const int threads = given ? std::clamp(wanted, 0, 8) : std::clamp(QThread::idealThreadCount() - 1, 0, 3);
    ExtractWriteStage stage(base, type, quality, reader.pictureSize(), m_cancel, std::move(events), threads);
    bool cancelled = false;
    for (int64_t i = first; i <= last; ++i) {
        if (m_cancel) {
            cancelled = true;
            break;
        }
        ff::FramePtr picture = reader.decodedFrame(i);
        if (!picture)
            continue;
        if (!stage.push(i, std::move(picture)))
            break;
    }
    stage.finish();
    if (!stage.error().isEmpty())
        return finish(ExtractOutcome::Error, stage.error());
    if (cancelled || stage.cancelled())
        return finish(ExtractOutcome::Cancelled, {});
    const int64_t decoded = stage.pictures();
    // Frames that could not be decoded are not a success, however many were.
    if (decoded < count)
        return finish(ExtractOutcome::Error,
                      QStringLiteral("Only %1 of the %2 frames of %3 could be decoded").arg(decoded).arg(count).arg(movie));
    finish(ExtractOutcome::Done, {});
}

void FrameExtractor::runOne(const QString& movie, int64_t frame)
{
    MovieReader reader;
    if (!reader.open(movie))
        return finish(ExtractOutcome::Error, reader.errorText());
    if (reader.videoStream() < 0)
        return finish(ExtractOutcome::Error, QStringLiteral("The file has no video stream"));
    if (reader.firstFrame() < 0 || reader.frameCount() < 0 || !reader.openDecoder())
        return finish(ExtractOutcome::Quiet, reader.errorText());
    const QByteArray dib = reader.frame(frame);
    cDib check;
    if (dib.isEmpty() || !check.CreateFromPackedDIBPointer(dib.constData(), std::size_t(dib.size())))
        return finish(ExtractOutcome::Quiet, {});
    post([this, dib, frame] { emit frameExtracted(dib, frame); });
    finish(ExtractOutcome::Done, {});
}

} // namespace lv
