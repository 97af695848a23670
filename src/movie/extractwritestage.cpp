#include "movie/extractwritestage.h"

#include "image/cdib.h"
#include "image/replacefile.h"
#include "movie/moviereader.h"
#include "movie/frameextractor.h"

#include <algorithm>
#include <cstring>

namespace lv {

namespace {

// A write's outcome as this stage reports it: the system's reason in *error.
bool succeeded(const FileResult& written, QString* error)
{
    if (!written)
        *error = written.reason();
    return written.ok();
}

bool writeJpeg(const uint8_t* jpeg, size_t size, const QString& fileName, QString* error)
{
    return succeeded(writeFileReplacing(fileName, {QByteArrayView(jpeg, qsizetype(size))}), error);
}

bool canConvert(const AVFrame* picture)
{
    return picture && picture->width > 0 && picture->height > 0 && picture->format >= 0
           && sws_isSupportedInput(AVPixelFormat(picture->format)) > 0;
}

} // namespace

ExtractWriteStage::ExtractWriteStage(QString base, QString type, int jpegQuality, QSize size,
                                     const std::atomic_bool& cancel, Events events, int threads)
    : m_base(std::move(base)), m_type(std::move(type)), m_quality(jpegQuality), m_size(size), m_cancel(cancel),
      m_events(std::move(events))
{
    const int n = std::max(threads, 0);
    m_queueLength = size_t(n) + 1;
    for (int k = 0; k < std::max(n, 1); ++k)
        m_tools.push_back(std::make_unique<Tools>());
    for (int k = 0; k < n; ++k)
        m_threads.emplace_back([this, k] { run(*m_tools[size_t(k)]); });
}

ExtractWriteStage::~ExtractWriteStage()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }
    for (std::thread& t : m_threads)
        t.join();
}

bool ExtractWriteStage::push(int64_t frame, ff::FramePtr picture)
{
    if (m_threads.empty()) {
        // A cancel stops before the next file: the ones written stay, no other follows.
        if (!m_stopped && m_cancel.load()) {
            m_cancelled = true;
            m_stopped = true;
        }
        if (m_stopped)
            return false;
        Item item{m_handedOver++, frame, std::move(picture)};
        Outcome outcome = handle(*m_tools.front(), item);
        report(item.order, std::move(outcome));
        return !m_stopped;
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < m_queueLength || m_stopped; });
    if (m_stopped)
        return false;
    m_queue.push_back({m_handedOver++, frame, std::move(picture)});
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
    for (std::thread& t : m_threads)
        t.join();
    m_threads.clear();
}

bool ExtractWriteStage::take(Item* item)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_queue.empty() || m_inputEnded || m_stopped; });
    if (m_stopped || m_queue.empty())
        return false;
    // A cancel stops before the next file: the ones at hand are finished and
    // stay, no other follows.
    if (m_cancel.load()) {
        m_cancelled = true;
        m_stopped = true;
        m_queue.clear();
        m_changed.notify_all();
        return false;
    }
    *item = std::move(m_queue.front());
    m_queue.pop_front();
    m_changed.notify_all();
    return true;
}

void ExtractWriteStage::run(Tools& tools)
{
    Item item;
    while (take(&item)) {
        Outcome outcome = handle(tools, item);
        item.picture.reset(); // back to the decoder's pool
        std::lock_guard lock(m_mutex);
        report(item.order, std::move(outcome));
    }
}

void ExtractWriteStage::report(int64_t order, Outcome outcome)
{
    m_done.emplace(order, std::move(outcome));
    for (auto it = m_done.find(m_nextReport); it != m_done.end(); it = m_done.find(m_nextReport)) {
        const Outcome& o = it->second;
        // After a bitmap that could not be written nothing more is reported,
        // as no more would have been written one frame after another.
        if (m_error.isEmpty() && o.picture) {
            ++m_pictures;
            if (!o.fatal.isEmpty()) {
                m_error = o.fatal;
                m_stopped = true;
                m_queue.clear();
                m_changed.notify_all();
            } else {
                if (!o.jpegError.isEmpty() && m_events.jpegFailed)
                    m_events.jpegFailed(extractedFrameName(m_base, o.frame, m_type), o.jpegError);
                if (m_events.written)
                    m_events.written(o.frame);
            }
        }
        m_done.erase(it);
        ++m_nextReport;
    }
}

bool ExtractWriteStage::makeBitmap(Tools& tools, const AVFrame* picture) const
{
    const int width = m_size.width();
    const int height = m_size.height();
    const int row = MovieReader::rowBytes(width);
    const size_t bytes = size_t(row) * size_t(height);
    const size_t total = size_t(kFileHeaderSize + kInfoHeaderSize) + bytes;
    std::vector<uint8_t>& file = tools.file;
    if (file.size() != total) {
        // Zeroed once: the rows' padding bytes are never written after.
        file.assign(total, 0);
        uint8_t* h = file.data();
        h[0] = 'B';
        h[1] = 'M';
        const uint32_t fileSize = uint32_t(total), offset = kFileHeaderSize + kInfoHeaderSize;
        for (int k = 0; k < 4; ++k) {
            h[2 + k] = uint8_t(fileSize >> (8 * k));
            h[10 + k] = uint8_t(offset >> (8 * k));
        }
        const QByteArray info = MovieReader::requestHeader(width, height);
        std::memcpy(h + kFileHeaderSize, info.constData(), kInfoHeaderSize);
    }
    uint8_t* pixels = file.data() + kFileHeaderSize + kInfoHeaderSize;
    // Bottom-up: the last row of the picture comes first.
    return tools.converter.convert(picture, width, height, pixels + ptrdiff_t(row) * (height - 1), -row,
                                   AV_PIX_FMT_BGR24);
}

ExtractWriteStage::Outcome ExtractWriteStage::handle(Tools& tools, const Item& item) const
{
    Outcome outcome;
    outcome.frame = item.frame;
    const AVFrame* picture = item.picture.get();
    const bool bmp = m_type == QLatin1String("bmp");
    const bool jpg = m_type == QLatin1String("jpg");
    if (m_size.isEmpty() || !canConvert(picture))
        return outcome; // not a picture: passed over, and counted as not decoded
    const bool fromPlanes = jpg && ExtractJpegCompressor::takesPlanes(picture, m_size.width(), m_size.height());
    if ((bmp || (jpg && !fromPlanes)) && !makeBitmap(tools, picture))
        return outcome;
    outcome.picture = true;
    if (bmp) {
        const QString name = extractedFrameName(m_base, item.frame, m_type);
        QString error;
        if (!succeeded(writeFileReplacing(name, {QByteArrayView(tools.file.data(), qsizetype(tools.file.size()))}),
                       &error))
            outcome.fatal = QStringLiteral("Cannot write %1: %2").arg(name, error);
    } else if (jpg) {
        const uint8_t* jpeg = nullptr;
        size_t size = 0;
        const int row = MovieReader::rowBytes(m_size.width());
        const uint8_t* rows = tools.file.data() + kFileHeaderSize + kInfoHeaderSize;
        const bool compressed =
            fromPlanes ? tools.jpeg.compressPlanes(picture, m_quality, &jpeg, &size)
                       : tools.jpeg.compressBgr(rows + ptrdiff_t(row) * (m_size.height() - 1), m_size.width(),
                                                m_size.height(), -row, m_quality, &jpeg, &size);
        if (!compressed)
            outcome.jpegError = tools.jpeg.errorText();
        else
            writeJpeg(jpeg, size, extractedFrameName(m_base, item.frame, m_type), &outcome.jpegError);
    }
    return outcome;
}

} // namespace lv
