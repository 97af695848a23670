#include "movie/extractwritestage.h"

#include "image/cdib.h"
#include "image/replacefile.h"
#include "movie/moviereader.h"
#include "movie/frameextractor.h"

#include <turbojpeg.h>

#include <algorithm>
#include <memory>

namespace lv {

namespace {

// A write's outcome as this stage reports it: the system's reason in *error.
bool succeeded(const FileResult& written, QString* error)
{
    if (!written)
        *error = written.reason();
    return written.ok();
}

struct TjBufferFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};

// The same JPEG the image layer writes for this picture (4:2:0, the given
// quality), taken straight from the bottom-up rows; no message boxes, as this
// runs off the UI thread.
bool writeJpeg(void* tj, const QByteArray& dib, const QString& fileName, int quality, QString* error)
{
    const auto* h = reinterpret_cast<const uint8_t*>(dib.constData());
    const int width = int(h[4] | h[5] << 8 | h[6] << 16 | uint32_t(h[7]) << 24);
    const int height = int(h[8] | h[9] << 8 | h[10] << 16 | uint32_t(h[11]) << 24);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int rc = tjCompress2(tjhandle(tj), reinterpret_cast<const unsigned char*>(dib.constData()) + 40, width,
                               MovieReader::rowBytes(width), height, TJPF_BGR, &out, &outSize, TJSAMP_420,
                               std::clamp(quality, 1, 100), TJFLAG_BOTTOMUP);
    std::unique_ptr<unsigned char, TjBufferFree> jpeg(out);
    if (rc != 0) {
        *error = QString::fromLocal8Bit(tjGetErrorStr2(tjhandle(tj)));
        return false;
    }
    return succeeded(writeFileReplacing(fileName, {QByteArrayView(jpeg.get(), qsizetype(outSize))}), error);
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The bytes of the picture a packed bitmap holds, as cDib takes them
// (CreateFromPackedDIBPointer's checks), without copying them; 0 for none.
uint32_t pictureBytes(const QByteArray& dib)
{
    if (dib.size() < kInfoHeaderSize)
        return 0;
    const auto* h = reinterpret_cast<const uint8_t*>(dib.constData());
    const int bits = h[14] | h[15] << 8;
    const uint32_t size = le32(h + 20);
    if (bits < 16 || size < 1 || size > uint32_t(dib.size() - kInfoHeaderSize))
        return 0;
    return size;
}

// The same file as cDib::WriteToFile: a file header, then the bitmap as it is.
bool writeBitmap(const QByteArray& dib, uint32_t bytes, const QString& fileName, QString* error)
{
    uint8_t header[kFileHeaderSize] = {'B', 'M'};
    const uint32_t fileSize = bytes + kFileHeaderSize + kInfoHeaderSize, offset = kFileHeaderSize + kInfoHeaderSize;
    for (int k = 0; k < 4; ++k) {
        header[2 + k] = uint8_t(fileSize >> (8 * k));
        header[10 + k] = uint8_t(offset >> (8 * k));
    }
    return succeeded(writeFileReplacing(fileName, {QByteArrayView(header, kFileHeaderSize),
                                                   QByteArrayView(dib.constData(), kInfoHeaderSize + qsizetype(bytes))}),
                     error);
}

} // namespace

ExtractWriteStage::ExtractWriteStage(QString base, QString type, int jpegQuality, const std::atomic_bool& cancel,
                                     Events events, bool ownThread)
    : m_base(std::move(base)), m_type(std::move(type)), m_quality(jpegQuality), m_cancel(cancel),
      m_events(std::move(events)), m_ownThread(ownThread)
{
    if (m_ownThread)
        m_thread = std::thread([this] { run(); });
}

ExtractWriteStage::~ExtractWriteStage()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    if (m_tj)
        tjDestroy(tjhandle(m_tj));
}

bool ExtractWriteStage::push(int64_t frame, QByteArray dib)
{
    if (!m_ownThread) {
        if (m_stopped)
            return false;
        m_stopped = !handle({frame, std::move(dib)});
        return !m_stopped;
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < kQueueLength || m_stopped; });
    if (m_stopped)
        return false;
    m_queue.push_back({frame, std::move(dib)});
    m_changed.notify_all();
    return true;
}

void ExtractWriteStage::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_inputEnded = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void ExtractWriteStage::releaseWritten()
{
    std::vector<QByteArray> spent;
    {
        std::lock_guard lock(m_mutex);
        spent.swap(m_written);
    }
}

void ExtractWriteStage::run()
{
    for (;;) {
        Item item;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_inputEnded || m_stopped; });
            if (m_stopped || m_queue.empty())
                return;
            item = std::move(m_queue.front());
            m_queue.pop_front();
            m_changed.notify_all();
        }
        const bool ok = handle(item);
        std::lock_guard lock(m_mutex);
        m_written.push_back(std::move(item.dib));
        if (!ok) {
            m_stopped = true;
            m_queue.clear();
            m_changed.notify_all();
            return;
        }
    }
}

bool ExtractWriteStage::handle(const Item& item)
{
    // A cancel stops before the next file: the ones written stay, no other follows.
    if (m_cancel.load()) {
        m_cancelled = true;
        return false;
    }
    const uint32_t bytes = pictureBytes(item.dib);
    if (bytes == 0)
        return true; // not a picture: passed over, and counted as not decoded
    ++m_pictures;
    if (m_type == QLatin1String("bmp")) {
        const QString name = extractedFrameName(m_base, item.frame, m_type);
        QString error;
        if (!writeBitmap(item.dib, bytes, name, &error)) {
            m_error = QStringLiteral("Cannot write %1: %2").arg(name, error);
            return false;
        }
    } else if (m_type == QLatin1String("jpg")) {
        const QString name = extractedFrameName(m_base, item.frame, m_type);
        QString error;
        if (!m_tj && !(m_tj = tjInitCompress()))
            error = QStringLiteral("out of memory");
        else
            writeJpeg(m_tj, item.dib, name, m_quality, &error);
        if (!error.isEmpty() && m_events.jpegFailed)
            m_events.jpegFailed(name, error);
    }
    if (m_events.written)
        m_events.written(item.frame);
    return true;
}

} // namespace lv
