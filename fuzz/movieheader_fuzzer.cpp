// The movie codec check under libFuzzer: any header bytes give one result,
// the code is the four bytes at 112 exactly, and the message never fails.
#include "movie/moviecodeccheck.h"

#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_movieheader: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QByteArray head(reinterpret_cast<const char*>(bytes), qsizetype(size));
    const lv::MovieCodecCheck c = lv::checkMovieHeader(head);
    using R = lv::MovieCodecCheck::Result;
    check(c.result != R::NotOpened, "bytes in hand reported as unopened");
    if (head.size() < 116)
        check(c.result == R::NoHeader, "a short header passed");
    if (c.result == R::Compressed) {
        check(c.code.size() == 4 && c.code.toLatin1() == head.mid(112, 4), "code is not bytes 112 to 115");
        check(head.mid(112, 4) != QByteArray(4, '\0'), "zero handler called compressed");
    }
    if (c.result == R::Compressed || c.result == R::Uncompressed)
        check(head.mid(96, 8).toUpper() == "STRLSTRH", "accepted without a stream header");
    // Only the first 200 bytes count.
    const lv::MovieCodecCheck first = lv::checkMovieHeader(head.left(lv::kMovieHeaderBytes));
    check(first.result == c.result && first.code == c.code, "bytes past 200 changed the result");
    check(!lv::movieCodecMessage(QStringLiteral("/x/y.avi"), c, QStringLiteral("Name")).isEmpty(), "empty message");
    return 0;
}
