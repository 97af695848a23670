#include "movie/moviereader.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstring>
#include <functional>

namespace lv {

namespace {

QString avErrorText(int averror)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, buf, sizeof buf);
    return QString::fromLocal8Bit(buf);
}

void putLe16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putLe32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Whether the file carries an index of its own (an "idx1" chunk after the
// movie data, or an OpenDML "indx" in its header). Without one the demuxer's
// table holds only the chunks it happened to read while probing.
bool fileHasIndex(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = f.size();
    const QByteArray head = f.read(12);
    if (head.size() != 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "AVI ")
        return false;
    qint64 pos = 12;
    for (int chunks = 0; pos + 8 <= size && chunks < 10000; ++chunks) {
        if (!f.seek(pos))
            return false;
        const QByteArray hdr = f.read(12);
        if (hdr.size() < 8)
            return false;
        const auto* p = reinterpret_cast<const uint8_t*>(hdr.constData()) + 4;
        const qint64 len = qint64(p[0]) | qint64(p[1]) << 8 | qint64(p[2]) << 16 | qint64(p[3]) << 24;
        const QByteArray id = hdr.left(4);
        if (id == "idx1")
            return true;
        if (id == "LIST" && hdr.mid(8, 4) == "hdrl" && f.seek(pos + 12)
            && f.read(std::min<qint64>(len, 1 << 20)).contains("indx"))
            return true;
        pos += 8 + len + (len & 1);
    }
    return false;
}

uint32_t le32(const char* p)
{
    const auto* u = reinterpret_cast<const uint8_t*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

// Where the chunks of one video stream begin in the file's movie lists
// ("movi" of the RIFF "AVI " part and of every OpenDML "AVIX" part), found by
// walking the chunk headers only; empty chunks count too, as they are frames
// that repeat the one before. Stops quietly at the first header that does not
// fit the file, so a file cut short yields the chunks that are whole.
std::vector<int64_t> videoChunks(const QString& fileName, int stream)
{
    std::vector<int64_t> found;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly) || stream < 0 || stream > 99)
        return found;
    const QByteArray digits = QByteArray::number(stream).rightJustified(2, '0');
    const qint64 size = f.size();
    // Walks the chunks in [pos, end), descending into "movi" and "rec " lists.
    std::function<void(qint64, qint64, bool)> walk = [&](qint64 pos, qint64 end, bool inMovie) {
        char hdr[12];
        while (pos + 8 <= end && f.seek(pos) && f.read(hdr, 12) >= 8) {
            const qint64 len = le32(hdr + 4);
            const QByteArrayView id(hdr, 4);
            qint64 next = pos + 8 + len + (len & 1);
            if (id == "LIST" || id == "RIFF") {
                // A part or list whose size was never written (0) runs to the end.
                if (len < 4)
                    next = end;
                const QByteArrayView type(hdr + 8, 4);
                const bool movie = id == "LIST" && (type == "movi" || (inMovie && type == "rec "));
                if (movie || (id == "RIFF" && (type == "AVI " || type == "AVIX")))
                    walk(pos + 12, std::min(next, size), movie);
            } else if (inMovie && id.first(2) == QByteArrayView(digits) && (id.sliced(2) == "dc" || id.sliced(2) == "db")) {
                if (pos + 8 + len > size)
                    return; // its data is cut off
                found.push_back(pos);
            }
            pos = next;
        }
    };
    walk(0, size, false);
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

MovieReader::MovieReader() = default;

MovieReader::~MovieReader()
{
    close();
}

bool MovieReader::fail(const QString& what, int averror)
{
    m_error = averror ? what + QStringLiteral(": ") + avErrorText(averror) : what;
    return false;
}

// AVI files are read by the AVI demuxer alone (their chunks are the frames);
// anything else by whichever demuxer FFmpeg finds for it.
bool MovieReader::openInput(AVFormatContext** raw) const
{
    const AVInputFormat* format = m_generic ? nullptr : av_find_input_format("avi");
    return avformat_open_input(raw, QFile::encodeName(m_fileName).constData(), format, nullptr) >= 0;
}

namespace {

bool looksLikeAvi(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "AVI ";
}

} // namespace

bool isStillOrTextFormat(const AVInputFormat* format)
{
    const QByteArray name(format->name);
    return name == "tty" || name == "image2" || name.endsWith("_pipe") || name == "bin" || name == "xbin"
           || name == "adf" || name == "idf";
}

bool MovieReader::open(const QString& fileName)
{
    close();
    m_error.clear();
    m_fileName = fileName;
    if (!QFileInfo(fileName).isFile())
        return fail(QStringLiteral("No such file: ") + fileName);

    // A file named .avi is taken for an AVI file: one that is not is refused,
    // not guessed at.
    m_generic = !looksLikeAvi(fileName) && QFileInfo(fileName).suffix().toLower() != QLatin1String("avi");
    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, QFile::encodeName(fileName).constData(),
                                m_generic ? nullptr : av_find_input_format("avi"), nullptr);
    if (r < 0)
        return fail(m_generic ? QStringLiteral("Not a movie file") : QStringLiteral("Not an AVI file"), r);
    m_input.reset(raw);
    if (m_generic && isStillOrTextFormat(m_input->iformat)) {
        m_input.reset();
        return fail(QStringLiteral("Not a movie file"));
    }
    r = avformat_find_stream_info(m_input.get(), nullptr);
    if (r < 0) {
        m_input.reset();
        return fail(QStringLiteral("Cannot read the streams"), r);
    }
    m_videoIndex = streamOfType(kVideoStreamType);
    m_audioIndex = streamOfType(kAudioStreamType);
    if (m_generic && m_videoIndex < 0) {
        m_input.reset();
        m_audioIndex = -1;
        return fail(QStringLiteral("Not a movie file: no video stream"));
    }
    if (m_generic)
        scanPresentationTimes();
    else if (m_videoIndex >= 0)
        scanFrames();
    return true;
}

// Every picture of the video stream by its presentation time, read from the
// packets alone (no decoding): the sorted times number the frames, the key
// packets are where decoding can start. Packets the container marks for
// discarding (what an edit list cuts off) are no frames.
void MovieReader::scanPresentationTimes()
{
    m_pts.clear();
    m_seekTime.clear();
    std::vector<std::pair<int64_t, int64_t>> keys; // presentation time, seek time
    ff::PacketPtr pkt(av_packet_alloc());
    int64_t lastTime = AV_NOPTS_VALUE;
    while (pkt && av_read_frame(m_input.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == m_videoIndex && !(pkt->flags & AV_PKT_FLAG_DISCARD)) {
            int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (t == AV_NOPTS_VALUE)
                t = lastTime == AV_NOPTS_VALUE ? 0 : lastTime + 1;
            lastTime = t;
            m_pts.push_back(t);
            if (pkt->flags & AV_PKT_FLAG_KEY)
                keys.emplace_back(t, pkt->dts != AV_NOPTS_VALUE ? std::min(pkt->dts, t) : t);
        }
        av_packet_unref(pkt.get());
    }
    std::sort(m_pts.begin(), m_pts.end());
    m_pts.erase(std::unique(m_pts.begin(), m_pts.end()), m_pts.end());
    m_count = int64_t(m_pts.size());
    m_start = 0;
    m_keyframes = {0};
    m_seekTime[0] = m_pts.empty() ? 0 : m_pts.front();
    for (const auto& [shown, seek] : keys) {
        const int64_t n = std::lower_bound(m_pts.begin(), m_pts.end(), shown) - m_pts.begin();
        if (n > 0 && n < m_count && m_seekTime.emplace(n, seek).second)
            m_keyframes.push_back(n);
    }
    std::sort(m_keyframes.begin(), m_keyframes.end());
    reopenInput();
}

QString MovieReader::formatName() const
{
    return m_input ? QString::fromLatin1(m_input->iformat->name) : QString();
}

void MovieReader::close()
{
    closeDecoder();
    m_input.reset();
    m_videoIndex = m_audioIndex = -1;
    m_start = 0;
    m_count = -1;
    m_keyframes.clear();
    m_noIndex = false;
    m_generic = false;
    m_pts.clear();
    m_seekTime.clear();
}

int MovieReader::streamCount() const
{
    return m_input ? static_cast<int>(m_input->nb_streams) : 0;
}

int MovieReader::streamOfType(uint32_t fccType) const
{
    if (!m_input)
        return -1;
    const AVMediaType wanted = fccType == kVideoStreamType   ? AVMEDIA_TYPE_VIDEO
                               : fccType == kAudioStreamType ? AVMEDIA_TYPE_AUDIO
                                                             : AVMEDIA_TYPE_UNKNOWN;
    if (wanted == AVMEDIA_TYPE_UNKNOWN)
        return -1;
    for (unsigned i = 0; i < m_input->nb_streams; ++i) {
        const AVStream* st = m_input->streams[i];
        // An attached picture is not a video stream of the movie.
        if (st->codecpar->codec_type == wanted && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

int64_t MovieReader::firstFrame() const
{
    return m_videoIndex >= 0 ? 0 : -1;
}

int64_t MovieReader::frameCount() const
{
    return m_videoIndex >= 0 ? m_count : -1;
}

QRect MovieReader::frameRect() const
{
    if (m_videoIndex < 0)
        return {};
    const AVCodecParameters* par = m_input->streams[m_videoIndex]->codecpar;
    return QRect(0, 0, std::max(par->width, 0), std::max(par->height, 0));
}

double MovieReader::framesPerSecond() const
{
    if (m_videoIndex < 0)
        return 0;
    if (m_generic) {
        const AVRational guess = av_guess_frame_rate(m_input.get(), m_input->streams[m_videoIndex], nullptr);
        if (guess.num > 0 && guess.den > 0)
            return av_q2d(guess);
        const double seconds = m_input->duration > 0 ? double(m_input->duration) / AV_TIME_BASE : 0;
        return seconds > 0 && m_count > 0 ? m_count / seconds : 0;
    }
    // The AVI demuxer keeps dwScale/dwRate as the stream's time base, one tick a frame.
    const AVRational tb = m_input->streams[m_videoIndex]->time_base;
    return tb.num > 0 && tb.den > 0 ? double(tb.den) / tb.num : 0;
}

double MovieReader::durationSeconds() const
{
    const double fps = framesPerSecond();
    return fps > 0 && m_count > 0 ? m_count / fps : 0;
}

QString MovieReader::videoCodecName() const
{
    if (m_videoIndex < 0)
        return {};
    return QString::fromLatin1(avcodec_get_name(m_input->streams[m_videoIndex]->codecpar->codec_id));
}

QByteArray MovieReader::requestHeader(int width, int height)
{
    QByteArray h(40, '\0');
    auto* p = reinterpret_cast<unsigned char*>(h.data());
    putLe32(p, 40);
    putLe32(p + 4, static_cast<uint32_t>(width));
    putLe32(p + 8, static_cast<uint32_t>(height));
    putLe16(p + 12, 1);
    putLe16(p + 14, 24);
    putLe32(p + 16, 0);
    putLe32(p + 20, static_cast<uint32_t>(int64_t(rowBytes(width)) * height));
    return h;
}

// The frame count and the places decoding can start from. The demuxer's index
// has one entry per non-empty chunk, stamped with its sample number; a file
// without an index is walked once instead, and can only be decoded from its start.
void MovieReader::scanFrames()
{
    AVStream* st = m_input->streams[m_videoIndex];
    const int entries = avformat_index_get_entries_count(st);
    m_start = 0;
    m_keyframes.clear();
    const AVIndexEntry* lastEntry = entries > 0 ? avformat_index_get_entry(st, entries - 1) : nullptr;
    // An index that points past the end belongs to a file that was cut short.
    const bool indexed = lastEntry && lastEntry->pos < avio_size(m_input->pb) && fileHasIndex(m_fileName);
    if (indexed) {
        // An index that knows fewer frames than the file holds (torn,
        // shortened, a size field changed), or points where no chunk of the
        // stream begins, is damaged: the chunks are read in order instead.
        const std::vector<int64_t> chunks = videoChunks(m_fileName, m_videoIndex);
        const auto isChunk = [&chunks](int64_t pos) {
            return std::binary_search(chunks.begin(), chunks.end(), pos)
                   || std::binary_search(chunks.begin(), chunks.end(), pos - 8);
        };
        int64_t last = -1;
        bool pointsRight = true;
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(st, i);
            if (!e || e->timestamp < 0)
                continue;
            last = std::max(last, e->timestamp);
            if (e->flags & AVINDEX_KEYFRAME)
                m_keyframes.push_back(e->timestamp);
            pointsRight = pointsRight && isChunk(e->pos);
        }
        if (pointsRight && int64_t(chunks.size()) <= last + 1) {
            m_count = last + 1;
            std::sort(m_keyframes.begin(), m_keyframes.end());
            if (m_keyframes.empty() || m_keyframes.front() != 0)
                m_keyframes.insert(m_keyframes.begin(), 0);
            return;
        }
        m_count = int64_t(chunks.size());
        m_keyframes = {0};
        m_noIndex = true;
        reopenInput();
        return;
    }

    int64_t last = -1;
    ff::PacketPtr pkt(av_packet_alloc());
    while (pkt && av_read_frame(m_input.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == m_videoIndex)
            last = std::max(last, pkt->dts != AV_NOPTS_VALUE ? pkt->dts : last + 1);
        av_packet_unref(pkt.get());
    }
    m_count = last + 1;
    m_keyframes = {0};
    m_noIndex = true;
    reopenInput();
}

bool MovieReader::reopenInput()
{
    AVFormatContext* raw = nullptr;
    if (!openInput(&raw))
        return false;
    ff::InputPtr fresh(raw);
    if (avformat_find_stream_info(fresh.get(), nullptr) < 0
        || static_cast<int>(fresh->nb_streams) <= m_videoIndex)
        return false;
    m_input = std::move(fresh);
    return true;
}

bool MovieReader::openDecoder()
{
    if (m_decoder)
        return true;
    if (m_videoIndex < 0)
        return fail(QStringLiteral("The file has no video stream"));
    const AVCodecParameters* par = m_input->streams[m_videoIndex]->codecpar;
    if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide
        || int64_t(par->width) * par->height > kMaxPixels)
        return fail(QStringLiteral("Unusable frame size %1x%2").arg(par->width).arg(par->height));
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        return fail(QStringLiteral("No decoder for this video codec"));
    ff::CodecContextPtr dec(avcodec_alloc_context3(codec));
    if (!dec)
        return fail(QStringLiteral("Out of memory"));
    int r = avcodec_parameters_to_context(dec.get(), par);
    if (r < 0)
        return fail(QStringLiteral("Bad codec parameters"), r);
    dec->pkt_timebase = m_input->streams[m_videoIndex]->time_base;
    dec->thread_count = 0; // as many as the machine has
    r = avcodec_open2(dec.get(), codec, nullptr);
    if (r < 0)
        return fail(QStringLiteral("Cannot open the video decoder"), r);
    m_decoded.reset(av_frame_alloc());
    m_spare.reset(av_frame_alloc());
    m_ahead.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_decoded || !m_spare || !m_ahead || !m_packet)
        return fail(QStringLiteral("Out of memory"));
    // Codecs that may reorder frames carry no presentation times in AVI: their
    // frames are numbered by counting from the key frame decoding started at.
    // Other files carry presentation times, which number the frames.
    const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
    m_countFrames = !m_generic && (!desc || !(desc->props & AV_CODEC_PROP_INTRA_ONLY));
    m_shownAt = {{0, 0}};
    m_width = par->width;
    m_height = par->height;
    m_unreachable = INT64_MAX;
    m_decoder = std::move(dec);
    m_lastNumber = -1;
    m_aheadNumber = -1;
    m_needSeek = true;
    return true;
}

void MovieReader::closeDecoder()
{
    m_decoder.reset();
    m_decoded.reset();
    m_spare.reset();
    m_ahead.reset();
    m_packet.reset();
    m_converter.reset();
    m_lastNumber = -1;
    m_aheadNumber = -1;
}

// Where decoding starts for frame n: the last key frame whose own picture is
// shown at or before n. For codecs that reorder frames a key frame may be
// shown after frames that follow it in the file, so only key frames whose
// place on screen is known qualify; the start of the stream always does.
MovieReader::StartPoint MovieReader::startFor(int64_t n) const
{
    auto it = std::upper_bound(m_keyframes.begin(), m_keyframes.end(), n);
    while (it != m_keyframes.begin()) {
        --it;
        if (!m_countFrames)
            return {*it, *it};
        const auto shown = m_shownAt.find(*it);
        if (shown != m_shownAt.end() && shown->second <= n)
            return {*it, shown->second};
    }
    return {0, 0};
}

bool MovieReader::seekTo(const StartPoint& start)
{
    avcodec_flush_buffers(m_decoder.get());
    m_lastNumber = -1;
    m_aheadNumber = -1;
    m_nextNumber = -1;
    m_anchor = start;
    m_inputEnded = false;
    m_drained = false;
    m_needSeek = false;
    if (m_generic) {
        const auto at = m_seekTime.find(start.chunk);
        if (start.chunk > 0 && at != m_seekTime.end()
            && av_seek_frame(m_input.get(), m_videoIndex, at->second, AVSEEK_FLAG_BACKWARD) >= 0)
            return true;
        m_anchor = {0, 0};
        return reopenInput();
    }
    if (!m_noIndex
        && av_seek_frame(m_input.get(), m_videoIndex, start.chunk + m_start, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    // Without an index the only sure place to start is the beginning.
    m_anchor = {0, 0};
    return reopenInput();
}

// The frame number of a decoded picture, -1 for one to pass over. Each chunk
// goes in stamped with its sample number, which comes back on its picture.
// Intra-only codecs show chunk n as frame n. Otherwise pictures come out in
// display order, so they are counted from the key frame decoding started at;
// pictures out before it (leading frames that lean on the previous group) are
// passed over, as they may be damaged or missing after a seek.
int64_t MovieReader::numberOf(const AVFrame* f)
{
    if (m_generic) {
        const int64_t t = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
        if (t == AV_NOPTS_VALUE)
            return -1;
        const auto it = std::lower_bound(m_pts.begin(), m_pts.end(), t);
        // A time no packet had (a picture the container cuts off) is no frame.
        if (it == m_pts.end() || *it != t)
            return -1;
        return it - m_pts.begin();
    }
    const int64_t chunk = f->pts != AV_NOPTS_VALUE ? f->pts - m_start : -1;
    int64_t n = -1;
    if (!m_countFrames) {
        n = chunk >= 0 ? chunk : m_nextNumber;
    } else if (m_nextNumber >= 0) {
        n = m_nextNumber;
    } else if (chunk == m_anchor.chunk) {
        n = m_anchor.shown;
    }
    if (n < 0)
        return -1;
    if (m_countFrames && chunk >= 0 && std::binary_search(m_keyframes.begin(), m_keyframes.end(), chunk))
        m_shownAt.emplace(chunk, n);
    m_nextNumber = n + 1;
    return n;
}

// Takes the next frame out of the decoder into m_spare, feeding it packets as
// it asks. False at the end of the stream.
bool MovieReader::receiveNext()
{
    while (true) {
        int r = avcodec_receive_frame(m_decoder.get(), m_spare.get());
        if (r == 0)
            return true;
        if (r == AVERROR_EOF) {
            m_drained = true;
            return false;
        }
        if (r != AVERROR(EAGAIN))
            return false;
        if (m_inputEnded)
            return false; // flushed already and still asking: nothing more will come
        r = av_read_frame(m_input.get(), m_packet.get());
        if (r < 0) {
            // Some codecs hand out their last frames only when flushed.
            m_inputEnded = true;
            avcodec_send_packet(m_decoder.get(), nullptr);
            continue;
        }
        if (m_packet->stream_index == m_videoIndex && m_packet->size > 0) {
            if (!m_generic)
                m_packet->pts = m_packet->dts;
            // A damaged chunk is dropped; the decoder goes on with the next.
            avcodec_send_packet(m_decoder.get(), m_packet.get());
        }
        av_packet_unref(m_packet.get());
    }
}

bool MovieReader::decodeTo(int64_t n)
{
    if (n < 0 || n >= m_count)
        return false;
    if (!m_decoder && !openDecoder())
        return false;
    if (m_lastNumber == n)
        return true;
    // A pass already ran off the end of the file looking for an earlier
    // frame: this one cannot come out either (damaged chunks), and trying
    // again frame by frame would read the file over and over.
    if (n >= m_unreachable)
        return false;
    const StartPoint start = startFor(n);
    const bool forward = !m_needSeek && m_lastNumber >= 0 && m_lastNumber < n && m_lastNumber >= start.shown;
    if (!forward && !seekTo(start))
        return false;
    while (true) {
        int64_t num;
        if (m_aheadNumber >= 0) {
            std::swap(m_spare, m_ahead);
            num = m_aheadNumber;
            m_aheadNumber = -1;
        } else {
            av_frame_unref(m_spare.get());
            if (!receiveNext()) {
                // Trailing empty chunks repeat the last picture.
                if (m_lastNumber >= 0 && m_lastNumber < n) {
                    m_lastNumber = n;
                    m_needSeek = true; // the decoder is drained; later frames need a fresh start
                    return true;
                }
                m_needSeek = true;
                m_unreachable = std::min(m_unreachable, n);
                return false;
            }
            num = numberOf(m_spare.get());
            if (num < 0)
                continue;
        }
        if (num < n) {
            std::swap(m_decoded, m_spare);
            m_lastNumber = num;
            continue;
        }
        if (m_generic && num > n && m_lastNumber < 0) {
            // The demuxer's seek landed past the frame: start one key frame earlier.
            StartPoint earlier = startFor(std::max<int64_t>(0, m_anchor.shown - 1));
            if (m_anchor.shown == 0 || !seekTo(earlier)) {
                m_needSeek = true;
                m_unreachable = std::min(m_unreachable, n);
                return false;
            }
            continue;
        }
        if (num == n || m_lastNumber < 0) {
            std::swap(m_decoded, m_spare);
            if (num != n) {
                // No earlier picture to repeat: show this one, and keep it for its own number too.
                av_frame_unref(m_ahead.get());
                if (av_frame_ref(m_ahead.get(), m_decoded.get()) >= 0)
                    m_aheadNumber = num;
            }
            m_lastNumber = n;
            return true;
        }
        // Frame n was an empty chunk: it repeats the picture before it.
        std::swap(m_ahead, m_spare);
        m_aheadNumber = num;
        m_lastNumber = n;
        return true;
    }
}

PictureConverter::~PictureConverter()
{
    reset();
}

void PictureConverter::reset()
{
    sws_freeContext(m_sws);
    m_sws = nullptr;
}

bool PictureConverter::convert(const AVFrame* f, int width, int height, uint8_t* dst, int stride,
                               AVPixelFormat dstFormat)
{
    if (!f || f->width <= 0 || f->height <= 0 || f->format < 0)
        return false;
    // Motion JPEG decodes to the full-range "yuvj" formats, which the scaler
    // takes as their plain twins plus a full-range flag.
    AVPixelFormat src = static_cast<AVPixelFormat>(f->format);
    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    switch (src) {
    case AV_PIX_FMT_YUVJ420P: src = AV_PIX_FMT_YUV420P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ422P: src = AV_PIX_FMT_YUV422P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ444P: src = AV_PIX_FMT_YUV444P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ440P: src = AV_PIX_FMT_YUV440P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ411P: src = AV_PIX_FMT_YUV411P; fullRange = true; break;
    default: break;
    }
    m_sws = sws_getCachedContext(m_sws, f->width, f->height, src, width, height, dstFormat, SWS_BICUBIC, nullptr,
                                 nullptr, nullptr);
    if (!m_sws)
        return false;
    int* inverse = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(m_sws, &inverse, &srcRange, &table, &dstRange, &brightness, &contrast, &saturation) >= 0
        && srcRange != int(fullRange))
        sws_setColorspaceDetails(m_sws, inverse, int(fullRange), table, dstRange, brightness, contrast, saturation);
    return m_scaler.scale(m_sws, f->data, f->linesize, f->height, dstFormat, width, height, dst, stride);
}

ff::FramePtr MovieReader::decodedFrame(int64_t n)
{
    if (!decodeTo(n - firstFrame()))
        return {};
    ff::FramePtr ref(av_frame_alloc());
    if (!ref || av_frame_ref(ref.get(), m_decoded.get()) < 0)
        return {};
    return ref;
}

QByteArray MovieReader::frame(int64_t n)
{
    if (!decodeTo(n - firstFrame()))
        return {};
    const int row = rowBytes(m_width);
    QByteArray out = requestHeader(m_width, m_height);
    out.append(QByteArray(row * m_height, '\0'));
    auto* pixels = reinterpret_cast<uint8_t*>(out.data()) + 40;
    // Bottom-up: the last row of the picture comes first.
    if (!convert(pixels + int64_t(row) * (m_height - 1), -row, AV_PIX_FMT_BGR24))
        return {};
    return out;
}

QImage MovieReader::image(int64_t n, QImage::Format format)
{
    if (format != QImage::Format_RGB888 && format != QImage::Format_RGB32)
        return {};
    if (!decodeTo(n - firstFrame()))
        return {};
    QImage img(m_width, m_height, format);
    // RGB32 is 0xffRRGGBB in native order: B, G, R, A in memory on this platform.
    const AVPixelFormat pix = format == QImage::Format_RGB888 ? AV_PIX_FMT_RGB24
                              : Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGRA
                                                                : AV_PIX_FMT_ARGB;
    if (img.isNull() || !convert(img.bits(), static_cast<int>(img.bytesPerLine()), pix))
        return {};
    return img;
}

} // namespace lv
