#include "movie/frameextractor.h"

#include "image/cdib.h"
#include "image/replacefile.h"
#include "movie/moviereader.h"

#include <QThread>

#include <turbojpeg.h>

#include <algorithm>

namespace lv {

namespace {

// A number in the "#" form: digits without padding, 0 as nothing.
QString hashForm(int64_t v)
{
    return v == 0 ? QString() : QString::number(v);
}

struct TjHandleFree {
    void operator()(void* h) const { tjDestroy(h); }
};
struct TjBufferFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};

// The same JPEG the image layer writes for this picture (4:2:0, the given
// quality), taken straight from the bottom-up rows; no message boxes, as this
// runs off the UI thread.
bool writeJpeg(const QByteArray& dib, const QString& fileName, int quality, QString* error)
{
    const QByteArray header = dib.left(40);
    const auto* h = reinterpret_cast<const uint8_t*>(header.constData());
    const int width = int(h[4] | h[5] << 8 | h[6] << 16 | uint32_t(h[7]) << 24);
    const int height = int(h[8] | h[9] << 8 | h[10] << 16 | uint32_t(h[11]) << 24);
    std::unique_ptr<void, TjHandleFree> tj(tjInitCompress());
    if (!tj) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int rc = tjCompress2(tj.get(), reinterpret_cast<const unsigned char*>(dib.constData()) + 40, width,
                               MovieReader::rowBytes(width), height, TJPF_BGR, &out, &outSize, TJSAMP_420,
                               std::clamp(quality, 1, 100), TJFLAG_BOTTOMUP);
    std::unique_ptr<unsigned char, TjBufferFree> jpeg(out);
    if (rc != 0) {
        *error = QString::fromLocal8Bit(tjGetErrorStr2(tj.get()));
        return false;
    }
    const FileResult written = writeFileReplacing(fileName, {QByteArrayView(jpeg.get(), qsizetype(outSize))});
    if (!written)
        *error = written.reason();
    return written.ok();
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
    int64_t decoded = 0;
    for (int64_t i = first; i <= last; ++i) {
        if (m_cancel)
            return finish(ExtractOutcome::Cancelled, {});
        const QByteArray dib = reader.frame(i);
        cDib picture;
        if (dib.isEmpty() || !picture.CreateFromPackedDIBPointer(dib.constData(), std::size_t(dib.size())))
            continue;
        ++decoded;
        if (type == QLatin1String("bmp")) {
            const QString name = extractedFrameName(base, i, type);
            if (const FileResult written = picture.WriteToFile(name); !written)
                return finish(ExtractOutcome::Error, QStringLiteral("Cannot write %1: %2").arg(name, written.reason()));
        } else if (type == QLatin1String("jpg")) {
            const QString name = extractedFrameName(base, i, type);
            QString error;
            if (!writeJpeg(dib, name, quality, &error))
                post([this, name, error] { emit jpegFailed(name, error); });
        }
        post([this, i, last] { emit progress(i, last); });
    }
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
