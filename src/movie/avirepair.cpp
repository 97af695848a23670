#include "movie/avirepair.h"

#include "base/programdirectory.h"

#include <QFile>
#include <QSaveFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace lv {

namespace {

constexpr uint32_t kPlaceholder = 0xFFFFFFFFu; // the size a writer puts down before it knows it
constexpr uint32_t kKeyFrame = 0x10;            // AVIIF_KEYFRAME

uint32_t fourcc(const char* s)
{
    return qFromLittleEndian<uint32_t>(reinterpret_cast<const uchar*>(s));
}

struct Stream {
    uint32_t type = 0;    // 'vids', 'auds'
    uint32_t handler = 0; // the codec's four-character code
    uint32_t sampleSize = 0;
    int64_t lengthPos = -1; // where strh keeps the stream length
    int64_t chunks = 0;
    int64_t bytes = 0;
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

bool readLayout(QFile& f, Layout* l)
{
    Reader r(f);
    l->fileSize = f.size();
    uint32_t riff = 0, form = 0;
    if (l->fileSize < 12 || !r.u32(0, &riff) || !r.u32(4, &l->riffSize) || !r.u32(8, &form))
        return false;
    if (riff != fourcc("RIFF") || form != fourcc("AVI "))
        return false;
    int64_t pos = 12;
    while (pos + 8 <= l->fileSize) {
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
                    if (cid == fourcc("avih")) {
                        l->avihPos = p + 8;
                    } else if (cid == fourcc("LIST")) {
                        uint32_t lk = 0;
                        r.u32(p + 8, &lk);
                        if (lk == fourcc("strl")) {
                            uint32_t strh = 0, strhSize = 0;
                            Stream s;
                            if (r.u32(p + 12, &strh) && strh == fourcc("strh") && r.u32(p + 16, &strhSize)
                                && strhSize >= 48) {
                                r.u32(p + 20, &s.type);
                                r.u32(p + 24, &s.handler);
                                r.u32(p + 20 + 44, &s.sampleSize);
                                s.lengthPos = p + 20 + 32;
                            }
                            l->streams.push_back(s);
                        }
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
    return true;
}

bool unfinished(const Layout& l)
{
    return l.moviPos >= 0
           && (l.riffSize == kPlaceholder || l.moviSize == kPlaceholder || !l.hasIndex
               || int64_t(l.riffSize) + 8 > l.fileSize);
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
    Layout l;
    if (!readLayout(f, &l) || l.moviPos < 0) {
        res.before = State::NotAvi;
        res.error = QStringLiteral("not an AVI file");
        return res;
    }
    if (!unfinished(l)) {
        res.before = State::Finished;
        return res;
    }
    res.before = State::Unfinished;

    // Walk the packets up to the last whole one.
    Reader r(f);
    const int64_t moviData = l.moviPos + 8; // index offsets count from the "movi" tag
    std::vector<IndexEntry> index;
    int64_t pos = l.moviPos + 12;
    int64_t end = pos;
    int videoStream = -1;
    for (size_t i = 0; i < l.streams.size(); ++i)
        if (l.streams[i].type == fourcc("vids")) {
            videoStream = int(i);
            break;
        }
    while (pos + 8 <= l.fileSize) {
        uint32_t id = 0, size = 0;
        if (!r.u32(pos, &id) || !r.u32(pos + 4, &size) || !isPrintable(id))
            break;
        if (id == fourcc("LIST")) {
            // A "rec " group: its chunks follow inside.
            pos += 12;
            end = pos;
            continue;
        }
        if (id == fourcc("idx1") || pos + 8 + int64_t(size) > l.fileSize)
            break;
        int stream = -1;
        if (isStreamChunk(id, &stream) && stream >= 0 && size_t(stream) < l.streams.size()) {
            Stream& s = l.streams[size_t(stream)];
            uint32_t flags = kKeyFrame;
            if (stream == videoStream && size > 0) {
                f.seek(pos + 8);
                const QByteArray head = f.read(std::min<int64_t>(size, 4096));
                flags = isKeyPacket(s.handler, head, s.chunks == 0) ? kKeyFrame : 0;
            }
            index.push_back({id, flags, uint32_t(pos - moviData), size});
            ++s.chunks;
            s.bytes += size;
        }
        pos += 8 + int64_t(size) + (size & 1);
        end = pos;
    }
    res.bytesCut = std::max<int64_t>(0, l.fileSize - end);
    res.videoFrames = videoStream >= 0 ? l.streams[size_t(videoStream)].chunks : 0;

    if (!f.resize(end)) {
        res.error = f.errorString();
        return res;
    }
    // The index goes after the packets; a disk that takes no more leaves the
    // file without one, which readers handle by walking the packets.
    QByteArray idx1;
    idx1.reserve(qsizetype(8 + index.size() * 16));
    auto put = [&idx1](uint32_t v) {
        uchar b[4];
        qToLittleEndian(v, b);
        idx1.append(reinterpret_cast<const char*>(b), 4);
    };
    put(fourcc("idx1"));
    put(uint32_t(index.size() * 16));
    for (const IndexEntry& e : index) {
        put(e.id);
        put(e.flags);
        put(e.offset);
        put(e.size);
    }
    int64_t fileEnd = end;
    if (f.seek(end) && f.write(idx1) == idx1.size() && f.flush()) {
        fileEnd = end + idx1.size();
        res.indexed = true;
    } else {
        f.unsetError();
        f.resize(end);
    }

    bool ok = writeU32(f, 4, uint32_t(fileEnd - 8)) && writeU32(f, l.moviPos + 4, uint32_t(end - moviData));
    if (ok && l.avihPos >= 0)
        ok = writeU32(f, l.avihPos + 16, uint32_t(res.videoFrames));
    for (const Stream& s : l.streams) {
        if (!ok || s.lengthPos < 0)
            continue;
        const int64_t length = s.type == fourcc("auds") && s.sampleSize > 0 ? s.bytes / s.sampleSize : s.chunks;
        ok = writeU32(f, s.lengthPos, uint32_t(length));
    }
    ok = ok && f.flush();
    if (!ok) {
        res.error = f.errorString();
        return res;
    }
    ::fdatasync(f.handle());
    res.repaired = true;
    return res;
}

QString AviRepair::statusText(const QString& fileName, const Result& r)
{
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

namespace {

std::mutex journalMutex;

QString journalPath()
{
    return programDirectory() + QStringLiteral("unfinished-recordings");
}

QStringList readJournal()
{
    QFile f(journalPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            names << QString::fromUtf8(line);
    return names;
}

void writeJournal(const QStringList& names)
{
    if (names.isEmpty()) {
        QFile::remove(journalPath());
        return;
    }
    QSaveFile f(journalPath());
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (const QString& n : names)
        f.write(n.toUtf8() + '\n');
    f.commit();
}

} // namespace

void AviRepair::markUnfinished(const QString& fileName)
{
    std::lock_guard l(journalMutex);
    QStringList names = readJournal();
    if (!names.contains(fileName))
        names << fileName;
    writeJournal(names);
}

void AviRepair::markFinished(const QString& fileName)
{
    std::lock_guard l(journalMutex);
    QStringList names = readJournal();
    if (names.removeAll(fileName) > 0)
        writeJournal(names);
}

QStringList AviRepair::repairLeftovers()
{
    std::lock_guard l(journalMutex);
    QStringList lines;
    for (const QString& name : readJournal()) {
        const QString line = statusText(name, repair(name));
        if (!line.isEmpty())
            lines << line;
    }
    writeJournal({});
    return lines;
}

} // namespace lv
