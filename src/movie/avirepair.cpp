#include "movie/avirepair.h"

#include "base/programdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

Q_LOGGING_CATEGORY(lcRepair, "lumivark.movie.repair")

namespace lv {

namespace {

constexpr uint32_t kPlaceholder = 0xFFFFFFFFu; // the size a writer puts down before it knows it
constexpr uint32_t kKeyFrame = 0x10;            // AVIIF_KEYFRAME
constexpr uint32_t kNotKey = 0x80000000u;       // in an OpenDML standard index: not a key frame

uint32_t fourcc(const char* s)
{
    return qFromLittleEndian<uint32_t>(reinterpret_cast<const uchar*>(s));
}

struct Stream {
    uint32_t type = 0;    // 'vids', 'auds'
    uint32_t handler = 0; // the codec's four-character code
    uint32_t sampleSize = 0;
    int64_t lengthPos = -1; // where strh keeps the stream length
    int64_t indxPos = -1;   // the OpenDML master index chunk ("JUNK" until a part is indexed)
    uint32_t indxSize = 0;
    int64_t chunks = 0; // over every part
    int64_t bytes = 0;
};

// An OpenDML extension part: "RIFF" size "AVIX" "LIST" size "movi" ...
struct Part {
    int64_t pos = 0;
    uint32_t size = 0;
    bool open = false; // its sizes were never written, or it runs past the end
    bool torn = false; // the file ends inside its own header
};

struct IndexEntry {
    uint32_t id;
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
};

struct Layout {
    int64_t fileSize = 0;
    uint32_t riffSize = 0;
    int64_t avihPos = -1;
    std::vector<Stream> streams;
    int64_t moviPos = -1; // the "LIST" of the movie list
    uint32_t moviSize = 0;
    bool hasIndex = false;
    int64_t odmlPos = -1;     // the OpenDML header list: "JUNK" until the writer's trailer made it a "LIST"
    bool odmlListed = false;
    bool partsIndexed = false; // a master index is in use: the writer went on past the first part
    std::vector<Part> parts;   // the extension parts
};

class Reader {
public:
    explicit Reader(QFile& f) : m_f(f) {}
    bool u32(int64_t pos, uint32_t* v)
    {
        uchar b[4];
        if (!m_f.seek(pos) || m_f.read(reinterpret_cast<char*>(b), 4) != 4)
            return false;
        *v = qFromLittleEndian<uint32_t>(b);
        return true;
    }

private:
    QFile& m_f;
};

bool firstPartOpen(const Layout& l)
{
    return l.riffSize == kPlaceholder || l.moviSize == kPlaceholder || int64_t(l.riffSize) + 8 > l.fileSize;
}

void readStreamList(Reader& r, int64_t p, int64_t end, Layout* l)
{
    Stream s;
    while (p + 8 <= end) {
        uint32_t cid = 0, csize = 0;
        if (!r.u32(p, &cid) || !r.u32(p + 4, &csize))
            break;
        if (cid == fourcc("strh") && csize >= 48) {
            r.u32(p + 8, &s.type);
            r.u32(p + 12, &s.handler);
            r.u32(p + 8 + 44, &s.sampleSize);
            s.lengthPos = p + 8 + 32;
        } else if ((cid == fourcc("JUNK") || cid == fourcc("indx")) && csize >= 24) {
            // wLongsPerEntry 4, bIndexType 0 (an index of indexes): a master index.
            uint32_t head = 0;
            r.u32(p + 8, &head);
            if ((head & 0xffff) == 4 && ((head >> 24) & 0xff) == 0) {
                s.indxPos = p;
                s.indxSize = csize;
                if (cid == fourcc("indx"))
                    l->partsIndexed = true;
            }
        }
        p += 8 + int64_t(csize) + (csize & 1);
    }
    l->streams.push_back(s);
}

bool readLayout(QFile& f, Layout* l)
{
    Reader r(f);
    l->fileSize = f.size();
    uint32_t riff = 0, form = 0;
    if (l->fileSize < 12 || !r.u32(0, &riff) || !r.u32(4, &l->riffSize) || !r.u32(8, &form))
        return false;
    if (riff != fourcc("RIFF") || form != fourcc("AVI "))
        return false;
    // The first part; extension parts may follow it.
    const int64_t firstEnd = l->riffSize == kPlaceholder ? l->fileSize
                                                         : std::min<int64_t>(l->fileSize, 8 + int64_t(l->riffSize));
    int64_t pos = 12;
    while (pos + 8 <= firstEnd) {
        uint32_t id = 0, size = 0;
        if (!r.u32(pos, &id) || !r.u32(pos + 4, &size))
            return false;
        if (id == fourcc("LIST")) {
            uint32_t kind = 0;
            if (!r.u32(pos + 8, &kind))
                return false;
            if (kind == fourcc("movi")) {
                l->moviPos = pos;
                l->moviSize = size;
                if (size == kPlaceholder || size < 4 || pos + 8 + int64_t(size) > l->fileSize)
                    return true; // the packets run to the end of the file
            } else if (kind == fourcc("hdrl")) {
                const int64_t end = std::min<int64_t>(pos + 8 + int64_t(size), l->fileSize);
                int64_t p = pos + 12;
                while (p + 8 <= end) {
                    uint32_t cid = 0, csize = 0;
                    if (!r.u32(p, &cid) || !r.u32(p + 4, &csize))
                        return false;
                    uint32_t lk = 0;
                    if (cid == fourcc("LIST") || cid == fourcc("JUNK"))
                        r.u32(p + 8, &lk);
                    if (cid == fourcc("avih")) {
                        l->avihPos = p + 8;
                    } else if (cid == fourcc("LIST") && lk == fourcc("strl")) {
                        readStreamList(r, p + 12, std::min<int64_t>(p + 8 + int64_t(csize), end), l);
                    } else if (lk == fourcc("odml")) {
                        l->odmlPos = p;
                        l->odmlListed = cid == fourcc("LIST");
                    }
                    p += 8 + int64_t(csize) + (csize & 1);
                }
            }
        } else if (id == fourcc("idx1")) {
            l->hasIndex = true;
        }
        if (size == kPlaceholder)
            return true;
        pos += 8 + int64_t(size) + (size & 1);
    }
    if (l->moviPos < 0 || firstPartOpen(*l))
        return true;
    // The OpenDML extension parts after the first.
    pos = 8 + int64_t(l->riffSize) + (l->riffSize & 1);
    while (pos < l->fileSize) {
        Part part;
        part.pos = pos;
        uint32_t id = 0, kind = 0, list = 0, listKind = 0;
        if (pos + 24 > l->fileSize) {
            part.torn = true;
        } else {
            r.u32(pos, &id);
            r.u32(pos + 4, &part.size);
            r.u32(pos + 8, &kind);
            r.u32(pos + 12, &list);
            r.u32(pos + 20, &listKind);
            if (id != fourcc("RIFF") || kind != fourcc("AVIX") || list != fourcc("LIST") || listKind != fourcc("movi"))
                break; // something else after the movie: not ours to touch
        }
        part.open = part.torn || part.size == kPlaceholder || pos + 8 + int64_t(part.size) > l->fileSize;
        l->parts.push_back(part);
        if (part.open)
            break;
        pos += 8 + int64_t(part.size) + (part.size & 1);
    }
    return true;
}

bool unfinished(const Layout& l)
{
    if (l.moviPos < 0)
        return false;
    if (firstPartOpen(l) || !l.hasIndex)
        return true;
    // Past the first part the writer's trailer turns the OpenDML header into a list.
    const bool extended = !l.parts.empty() || l.partsIndexed;
    if (extended && l.odmlPos >= 0 && !l.odmlListed)
        return true;
    return !l.parts.empty() && l.parts.back().open;
}

bool isStreamChunk(uint32_t id, int* stream)
{
    const char c0 = char(id & 0xff), c1 = char((id >> 8) & 0xff);
    const char c2 = char((id >> 16) & 0xff), c3 = char((id >> 24) & 0xff);
    if (c0 < '0' || c0 > '9' || c1 < '0' || c1 > '9')
        return false;
    const bool kind = (c2 == 'd' && (c3 == 'c' || c3 == 'b')) || (c2 == 'w' && c3 == 'b') || (c2 == 'p' && c3 == 'c');
    *stream = (c0 - '0') * 10 + (c1 - '0');
    return kind;
}

bool isPrintable(uint32_t id)
{
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = (id >> (8 * i)) & 0xff;
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

// Whether a video packet starts a picture that needs no other: every packet of
// an intra-only codec, MPEG-4 I-VOPs and H.264 IDR pictures.
bool isKeyPacket(uint32_t handler, const QByteArray& data, bool first)
{
    const QByteArray h = QByteArray::fromRawData(reinterpret_cast<const char*>(&handler), 4).toUpper();
    if (handler == 0 || h == "MJPG" || h == "DIB " || h == "RAW " || h == "JPEG")
        return true;
    const auto* b = reinterpret_cast<const uchar*>(data.constData());
    const qsizetype n = data.size();
    if (h == "FMP4" || h == "XVID" || h == "DIVX" || h == "DX50" || h == "MP4V") {
        for (qsizetype i = 0; i + 4 < n; ++i)
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == 0xB6)
                return (b[i + 4] >> 6) == 0;
        return first;
    }
    if (h == "H264" || h == "X264" || h == "AVC1") {
        for (qsizetype i = 0; i + 3 < n; ++i)
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (b[i + 3] & 0x1f) == 5)
                return true;
        return first;
    }
    return first;
}

bool writeU32(QFile& f, int64_t pos, uint32_t v)
{
    uchar b[4];
    qToLittleEndian(v, b);
    return f.seek(pos) && f.write(reinterpret_cast<const char*>(b), 4) == 4;
}

void put32(QByteArray& out, uint32_t v)
{
    uchar b[4];
    qToLittleEndian(v, b);
    out.append(reinterpret_cast<const char*>(b), 4);
}

// One stream's packets within one walk.
struct Found {
    int64_t chunks = 0;
    int64_t bytes = 0;
    std::vector<IndexEntry> entries; // offset: from the start of the walk's base
};

// Walks the packets from pos up to limit (the end of a movie list, or of the
// file for an open one). Counts every stream's chunks into the streams'
// totals and, when entries are wanted, lists them with offsets from base.
// Returns where the last whole chunk ends.
int64_t walkPackets(QFile& f, Layout& l, int64_t pos, int64_t limit, int64_t base, std::vector<Found>* found,
                    bool entries, int videoStream)
{
    Reader r(f);
    int64_t end = pos;
    while (pos + 8 <= limit) {
        uint32_t id = 0, size = 0;
        if (!r.u32(pos, &id) || !r.u32(pos + 4, &size) || !isPrintable(id))
            break;
        if (id == fourcc("LIST")) {
            // A "rec " group: its chunks follow inside.
            pos += 12;
            end = pos;
            continue;
        }
        if (id == fourcc("idx1") || pos + 8 + int64_t(size) > limit)
            break;
        int stream = -1;
        if (isStreamChunk(id, &stream) && stream >= 0 && size_t(stream) < l.streams.size()) {
            Stream& s = l.streams[size_t(stream)];
            Found& mine = (*found)[size_t(stream)];
            if (entries) {
                uint32_t flags = kKeyFrame;
                if (stream == videoStream && size > 0) {
                    f.seek(pos + 8);
                    const QByteArray head = f.read(std::min<int64_t>(size, 4096));
                    flags = isKeyPacket(s.handler, head, s.chunks == 0) ? kKeyFrame : 0;
                }
                mine.entries.push_back({id, flags, uint32_t(pos - base), size});
            }
            ++mine.chunks;
            mine.bytes += size;
            ++s.chunks;
            s.bytes += size;
        }
        pos += 8 + int64_t(size) + (size & 1);
        end = pos;
    }
    return end;
}

int64_t streamLength(const Stream& s, int64_t chunks, int64_t bytes)
{
    return s.type == fourcc("auds") && s.sampleSize > 0 ? bytes / s.sampleSize : chunks;
}

// Sizes, index and counts of a file whose single RIFF part was never closed.
bool repairFirstPart(QFile& f, Layout& l, int videoStream, AviRepair::Result* res)
{
    const int64_t moviData = l.moviPos + 8; // index offsets count from the "movi" tag
    std::vector<Found> found(l.streams.size());
    const int64_t end = walkPackets(f, l, l.moviPos + 12, l.fileSize, moviData, &found, true, videoStream);
    res->bytesCut = std::max<int64_t>(0, l.fileSize - end);
    res->videoFrames = videoStream >= 0 ? l.streams[size_t(videoStream)].chunks : 0;
    if (!f.resize(end)) {
        res->error = f.errorString();
        return false;
    }
    // The entries in file order, as the streams interleave.
    std::vector<IndexEntry> index;
    for (const Found& s : found)
        index.insert(index.end(), s.entries.begin(), s.entries.end());
    std::sort(index.begin(), index.end(), [](const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; });
    // The index goes after the packets; a disk that takes no more leaves the
    // file without one, which readers handle by walking the packets.
    QByteArray idx1;
    idx1.reserve(qsizetype(8 + index.size() * 16));
    put32(idx1, fourcc("idx1"));
    put32(idx1, uint32_t(index.size() * 16));
    for (const IndexEntry& e : index) {
        put32(idx1, e.id);
        put32(idx1, e.flags);
        put32(idx1, e.offset);
        put32(idx1, e.size);
    }
    int64_t fileEnd = end;
    if (f.seek(end) && f.write(idx1) == idx1.size() && f.flush()) {
        fileEnd = end + idx1.size();
        res->indexed = true;
    } else {
        f.unsetError();
        f.resize(end);
    }
    bool ok = writeU32(f, 4, uint32_t(fileEnd - 8)) && writeU32(f, l.moviPos + 4, uint32_t(end - moviData));
    if (ok && l.avihPos >= 0)
        ok = writeU32(f, l.avihPos + 16, uint32_t(res->videoFrames));
    for (const Stream& s : l.streams) {
        if (!ok || s.lengthPos < 0)
            continue;
        ok = writeU32(f, s.lengthPos, uint32_t(streamLength(s, s.chunks, s.bytes)));
    }
    if (!ok)
        res->error = f.errorString();
    return ok;
}

// An OpenDML recording: every closed part is counted, the open last one gets
// its sizes and a standard index per stream, the master index an entry for
// it, and the header the totals.
bool repairParts(QFile& f, Layout& l, int videoStream, AviRepair::Result* res)
{
    Reader r(f);
    // The first part is closed: only counted.
    std::vector<Found> first(l.streams.size());
    walkPackets(f, l, l.moviPos + 12, l.moviPos + 8 + int64_t(l.moviSize), l.moviPos + 8, &first, false, videoStream);
    const int64_t firstVideo = videoStream >= 0 ? first[size_t(videoStream)].chunks : 0;

    int64_t fileEnd = l.fileSize;
    for (size_t k = 0; k < l.parts.size(); ++k) {
        const Part& part = l.parts[k];
        const int64_t movi = part.pos + 12;
        const int64_t base = movi + 8; // the "movi" tag
        std::vector<Found> found(l.streams.size());
        if (!part.open) {
            walkPackets(f, l, movi + 12, movi + 8 + [&] { uint32_t s = 0; r.u32(movi + 4, &s); return int64_t(s); }(),
                        base, &found, false, videoStream);
            continue;
        }
        if (part.torn) {
            // Not even its header made it: the part goes, the ones before stay.
            fileEnd = part.pos;
            res->bytesCut = l.fileSize - part.pos;
            if (!f.resize(fileEnd)) {
                res->error = f.errorString();
                return false;
            }
            break;
        }
        const int64_t end = walkPackets(f, l, movi + 12, l.fileSize, base, &found, true, videoStream);
        res->bytesCut = std::max<int64_t>(0, l.fileSize - end);
        if (!f.resize(end)) {
            res->error = f.errorString();
            return false;
        }
        // One standard index ("ix00", "ix01", ...) per stream, inside the movie list.
        QByteArray ix;
        std::vector<std::pair<int64_t, uint32_t>> ixChunks; // where each stream's went, its size
        for (size_t s = 0; s < l.streams.size(); ++s) {
            const std::vector<IndexEntry>& entries = found[s].entries;
            const uint32_t tag = fourcc("ix00") + (uint32_t(s / 10) << 16) + (uint32_t(s % 10) << 24);
            const char kind[2] = {l.streams[s].type == fourcc("auds") ? 'w' : 'd',
                                  l.streams[s].type == fourcc("auds") ? 'b' : 'c'};
            const uint32_t chunkId = uint32_t('0' + s / 10) | (uint32_t('0' + s % 10) << 8)
                                     | (uint32_t(uchar(kind[0])) << 16) | (uint32_t(uchar(kind[1])) << 24);
            const qsizetype at = ix.size();
            put32(ix, tag);
            put32(ix, uint32_t(24 + entries.size() * 8));
            put32(ix, 2u | (1u << 24)); // wLongsPerEntry 2, bIndexSubType 0, bIndexType 1 (chunks)
            put32(ix, uint32_t(entries.size()));
            put32(ix, chunkId);
            put32(ix, uint32_t(uint64_t(base) & 0xffffffffu));
            put32(ix, uint32_t(uint64_t(base) >> 32));
            put32(ix, 0);
            for (const IndexEntry& e : entries) {
                put32(ix, e.offset + 8); // the data, past the chunk's own header
                put32(ix, (e.size & ~kNotKey) | ((e.flags & kKeyFrame) ? 0 : kNotKey));
            }
            ixChunks.push_back({end + at, uint32_t(ix.size() - at)});
        }
        fileEnd = end;
        if (f.seek(end) && f.write(ix) == ix.size() && f.flush()) {
            fileEnd = end + ix.size();
            res->indexed = true;
        } else {
            f.unsetError();
            f.resize(end);
            ixChunks.clear();
        }
        bool ok = writeU32(f, part.pos + 4, uint32_t(fileEnd - part.pos - 8))
                  && writeU32(f, movi + 4, uint32_t(fileEnd - movi - 8));
        // This part's entry in each stream's master index, when there is room.
        for (size_t s = 0; ok && s < ixChunks.size(); ++s) {
            const Stream& st = l.streams[s];
            const int64_t slot = int64_t(k) + 1; // the first part has entry 0
            if (st.indxPos < 0 || 8 + 24 + (slot + 1) * 16 > int64_t(st.indxSize) + 8)
                continue;
            const int64_t entry = st.indxPos + 8 + 24 + slot * 16;
            const uint32_t duration = uint32_t(streamLength(st, found[s].chunks, found[s].bytes));
            ok = writeU32(f, entry, uint32_t(uint64_t(ixChunks[s].first) & 0xffffffffu))
                 && writeU32(f, entry + 4, uint32_t(uint64_t(ixChunks[s].first) >> 32))
                 && writeU32(f, entry + 8, ixChunks[s].second) && writeU32(f, entry + 12, duration)
                 && writeU32(f, st.indxPos + 8 + 4, uint32_t(slot + 1)) && writeU32(f, st.indxPos, fourcc("indx"));
        }
        if (!ok) {
            res->error = f.errorString();
            return false;
        }
        break;
    }
    if (!res->indexed && (l.parts.empty() || !l.parts.back().open || l.parts.back().torn))
        res->indexed = true; // every part that stays has its index
    res->videoFrames = videoStream >= 0 ? l.streams[size_t(videoStream)].chunks : 0;

    // The header: the first part's frames in avih, the totals in the stream
    // headers and the OpenDML header, which becomes a list as the writer's trailer makes it.
    bool ok = true;
    if (l.avihPos >= 0)
        ok = writeU32(f, l.avihPos + 16, uint32_t(firstVideo));
    for (const Stream& s : l.streams) {
        if (ok && s.lengthPos >= 0)
            ok = writeU32(f, s.lengthPos, uint32_t(streamLength(s, s.chunks, s.bytes)));
    }
    if (ok && l.odmlPos >= 0) {
        uint32_t dmlh = 0;
        if (r.u32(l.odmlPos + 12, &dmlh) && dmlh == fourcc("dmlh"))
            ok = writeU32(f, l.odmlPos + 20, uint32_t(res->videoFrames));
        ok = ok && writeU32(f, l.odmlPos, fourcc("LIST"));
    }
    if (!ok)
        res->error = f.errorString();
    return ok;
}

// An exclusive lock on an open file, as a writer holds it; false when another holds one.
bool lockFile(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

AviRepair::Result repairOpenFile(QFile& f)
{
    AviRepair::Result res;
    Layout l;
    if (!readLayout(f, &l) || l.moviPos < 0) {
        res.before = AviRepair::State::NotAvi;
        res.error = QStringLiteral("not an AVI file");
        return res;
    }
    if (!unfinished(l)) {
        res.before = AviRepair::State::Finished;
        return res;
    }
    res.before = AviRepair::State::Unfinished;
    int videoStream = -1;
    for (size_t i = 0; i < l.streams.size(); ++i)
        if (l.streams[i].type == fourcc("vids")) {
            videoStream = int(i);
            break;
        }
    const bool ok = firstPartOpen(l) || !l.hasIndex ? repairFirstPart(f, l, videoStream, &res)
                                                    : repairParts(f, l, videoStream, &res);
    if (!ok || !f.flush()) {
        if (res.error.isEmpty())
            res.error = f.errorString();
        return res;
    }
    ::fdatasync(f.handle());
    res.repaired = true;
    return res;
}

} // namespace

AviRepair::State AviRepair::inspect(const QString& fileName)
{
    QFile f(fileName);
    if (!f.exists())
        return State::Missing;
    if (!f.open(QIODevice::ReadOnly))
        return State::NotAvi;
    Layout l;
    if (!readLayout(f, &l) || l.moviPos < 0)
        return State::NotAvi;
    return unfinished(l) ? State::Unfinished : State::Finished;
}

AviRepair::Result AviRepair::repair(const QString& fileName)
{
    Result res;
    QFile f(fileName);
    if (!f.exists())
        return res;
    if (!f.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        res.before = State::NotAvi;
        res.error = f.errorString();
        return res;
    }
    // Held until the file closes: no writer starts on it meanwhile.
    if (!lockFile(f.handle())) {
        res.before = State::Busy;
        res.error = QStringLiteral("it is being recorded by ") + writerOf(fileName);
        return res;
    }
    return repairOpenFile(f);
}

QString AviRepair::statusText(const QString& fileName, const Result& r)
{
    if (r.before == State::Busy)
        return fileName + QStringLiteral(" is still being recorded by ") + writerOf(fileName)
               + QStringLiteral("; left alone");
    if (r.before != State::Unfinished)
        return {};
    if (!r.repaired)
        return QStringLiteral("Cannot repair the unfinished recording ") + fileName + QStringLiteral(": ") + r.error;
    QString text = QStringLiteral("Repaired the unfinished recording ") + fileName + QStringLiteral(": ")
                   + QString::number(r.videoFrames) + QStringLiteral(" frames kept");
    if (!r.indexed)
        text += QStringLiteral(", no room for an index");
    return text;
}

} // namespace lv
