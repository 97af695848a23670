#include "movie/movieinfo.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace lv {

namespace {

void putU32(QByteArray& out, uint32_t v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    out.append(b, 4);
}

void appendSubChunk(QByteArray& out, const char* id, const QString& text)
{
    QByteArray bytes = text.toLocal8Bit();
    // A text is stored up to its first zero byte; the size must match what is stored.
    if (const qsizetype z = bytes.indexOf('\0'); z >= 0)
        bytes.truncate(z);
    const uint32_t size = static_cast<uint32_t>(bytes.size()) + 1;
    out.append(id, 4);
    putU32(out, size);
    out.append(bytes);
    out.append('\0');
    if (size & 1)
        out.append('\0'); // RIFF pad byte, not counted in the size
}

QString why(const QFile& f) { return f.errorString(); }

} // namespace

QByteArray movieInfoChunk(const QString& copyright, const QString& artist, const QString& subject,
                          const QString& product, const QString& source, const QString& comments)
{
    QByteArray body("INFO");
    appendSubChunk(body, "ICOP", copyright);
    appendSubChunk(body, "IART", artist);
    appendSubChunk(body, "ICMT", comments);
    appendSubChunk(body, "INAM", QStringLiteral("Video Lumivark"));
    appendSubChunk(body, "IPRD", product);
    appendSubChunk(body, "ISBJ", subject);
    appendSubChunk(body, "ISRC", source);
    QByteArray chunk("LIST");
    putU32(chunk, static_cast<uint32_t>(body.size()));
    chunk.append(body);
    return chunk;
}

MovieInfoResult WriteMovieInfo(const QString& path, const QString& copyright, const QString& artist,
                               const QString& subject, const QString& product, const QString& source,
                               const QString& comments)
{
    MovieInfoResult r;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        r.error = QStringLiteral("Cannot write movie information: ") + why(f);
        return r;
    }
    const int64_t fileSize = f.size();

    // Find the last top-level RIFF chunk: the first is "AVI ", OpenDML adds "AVIX" ones.
    int64_t last = -1;
    int64_t pos = 0;
    while (pos + 12 <= fileSize) {
        char head[8];
        if (!f.seek(pos) || f.read(head, 8) != 8 || QByteArray::fromRawData(head, 4) != "RIFF")
            break;
        last = pos;
        const uint32_t size = qFromLittleEndian<quint32>(head + 4);
        pos += 8 + int64_t(size) + (size & 1);
    }
    if (last < 0) {
        r.error = QStringLiteral("Cannot write movie information: not a RIFF file");
        return r;
    }

    const QByteArray chunk = movieInfoChunk(copyright, artist, subject, product, source, comments);
    // Chunks start on even offsets; a file that ends on an odd byte gets a pad first.
    const int pad = (fileSize & 1) ? 1 : 0;
    const int64_t newEnd = fileSize + pad + chunk.size();
    const int64_t newRiffSize = newEnd - (last + 8);
    if (newRiffSize > int64_t(0xFFFFFFFFu)) {
        r.error = QStringLiteral("Movie information not written: the file's last RIFF chunk would pass 4 GB");
        return r;
    }
    if (!f.seek(fileSize)) {
        r.error = QStringLiteral("Cannot write movie information: ") + why(f);
        return r;
    }
    QByteArray out;
    if (pad)
        out.append('\0');
    out.append(chunk);
    if (f.write(out) != out.size() || !f.flush()) {
        const QString reason = why(f);
        // Leave the file as it was: a full disk must not leave half a chunk behind.
        f.resize(fileSize);
        r.error = QStringLiteral("Cannot write movie information: ") + reason;
        return r;
    }
    char sizeField[4];
    qToLittleEndian<quint32>(static_cast<quint32>(newRiffSize), sizeField);
    if (!f.seek(last + 4) || f.write(sizeField, 4) != 4 || !f.flush()) {
        const QString reason = why(f);
        f.resize(fileSize);
        r.error = QStringLiteral("Cannot write movie information: ") + reason;
        return r;
    }
    r.written = true;
    r.chunkBytes = pad + chunk.size();
    return r;
}

} // namespace lv
