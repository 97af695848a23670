// The movie-information writer over hostile AVI files: whatever the RIFF
// headers claim, the file either gets exactly one INFO list at its end and
// the right size in its last RIFF header, or stays byte for byte as it was.
#include "movie/movieinfo.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString path;
    Fixture()
    {
        // Nothing is logged per input.
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
        path = dir.filePath(QStringLiteral("movie.avi"));
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_movieinfo: %s\n", what);
        std::abort();
    }
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    check(f.open(QIODevice::ReadOnly), "cannot read the file back");
    return f.readAll();
}

// The offset of the last RIFF header of a chain, as a reader walks it; -1 for none.
int64_t lastRiff(const QByteArray& bytes)
{
    int64_t last = -1;
    int64_t pos = 0;
    while (pos + 12 <= bytes.size() && bytes.mid(pos, 4) == "RIFF") {
        last = pos;
        const uint32_t size = qFromLittleEndian<quint32>(bytes.constData() + pos + 4);
        pos += 8 + int64_t(size) + (size & 1);
    }
    return last;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fixture& f = fixture();
    const QByteArray before(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(f.path);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input");
        check(file.write(before) == before.size(), "cannot write the input");
    }

    const QString odd = QStringLiteral("odd\u00e9");
    const lv::MovieInfoResult r =
        lv::WriteMovieInfo(f.path, QStringLiteral("(c)"), QStringLiteral("An Artist"), odd, QString(),
                           QStringLiteral("src"), QStringLiteral("a longer comment line"));
    const QByteArray after = readAll(f.path);
    if (!r.written) {
        check(!r.error.isEmpty(), "refused without a reason");
        check(after == before, "a refused file changed");
        return 0;
    }
    const int64_t riff = lastRiff(before);
    check(riff >= 0, "wrote into a file without a RIFF header");
    const QByteArray chunk = lv::movieInfoChunk(QStringLiteral("(c)"), QStringLiteral("An Artist"), odd, QString(),
                                                QStringLiteral("src"), QStringLiteral("a longer comment line"));
    const int pad = (before.size() & 1) ? 1 : 0;
    check(r.chunkBytes == pad + chunk.size(), "reported size differs");
    check(after.size() == before.size() + pad + chunk.size(), "file grew by another amount");
    check(after.endsWith(chunk), "the chunk is not at the end");
    const uint32_t riffSize = qFromLittleEndian<quint32>(after.constData() + riff + 4);
    check(int64_t(riffSize) == after.size() - (riff + 8), "the last RIFF size does not reach the end");
    // Everything else is as it was.
    QByteArray restored = after.left(before.size());
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(before.constData() + riff + 4), restored.data() + riff + 4);
    check(restored == before, "bytes before the chunk changed");
    return 0;
}
