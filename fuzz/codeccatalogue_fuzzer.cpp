// Codec catalogue reading under libFuzzer: any bytes give one of the four
// results with its fixed text, a found name really stands in the file, and
// the case of the code asked for does not matter.
#include "movie/codeccatalogue.h"

#include <QBuffer>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_codeccatalogue: %s\n", what);
        abort();
    }
}

lv::CodecLookup lookUp(const QByteArray& data, const QString& code)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return lv::lookUpCodec(buffer, code);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size < 4)
        return 0;
    // The first four bytes are the code asked for, the rest is the catalogue.
    const QString code = QString::fromLatin1(reinterpret_cast<const char*>(bytes), 4);
    const QByteArray data(reinterpret_cast<const char*>(bytes + 4), qsizetype(size - 4));

    const lv::CodecLookup r = lookUp(data, code);
    using S = lv::CodecLookup::Status;
    switch (r.status) {
    case S::Found:
        check(data.contains(lv::ScrambleLine(r.text).toLatin1()), "found name is not in the file");
        break;
    case S::Unknown:
        check(r.text == QStringLiteral("Unknown CODEC (") + code.toUpper() + QLatin1Char(')'), "unknown text");
        break;
    case S::BadHeader:
        check(r.text == QStringLiteral("Error"), "bad header text");
        break;
    case S::NoFile:
        check(false, "an open buffer reported as no file");
    }
    const lv::CodecLookup lower = lookUp(data, code.toLower());
    check(lower.status == r.status, "case of the code changes the result");
    if (r.status != S::Unknown)
        check(lower.text == r.text, "case of the code changes the name");

    const QString latin = QString::fromLatin1(data);
    check(lv::UnscrambleLine(lv::ScrambleLine(latin)) == latin, "scrambling does not round-trip");
    return 0;
}
