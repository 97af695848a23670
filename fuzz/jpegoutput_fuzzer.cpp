// JPEG output over hostile section sizes: a section of any size the input
// asks for either is refused with a message, or is written as a JPEG file that
// TurboJPEG reads back at the same size; an old file survives a failure.
#include "image/cdibsection.h"
#include "image/jpegoutput.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtEndian>

#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString path;
    Fixture()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
        path = dir.filePath(QStringLiteral("out.jpg"));
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
        std::fprintf(stderr, "fuzz_jpegoutput: %s\n", what);
        std::abort();
    }
}

// Memory for one section stays bounded; sizes beyond it are still asked for,
// so Create has to refuse them or the sanitizer's allocation limit trips.
constexpr int64_t kMaxBytes = 64 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9)
        return 0;
    Fixture& f = fixture();
    // width and height as signed 32-bit numbers, then the quality, then pixels.
    const int32_t width = qFromLittleEndian<qint32>(data);
    const int32_t height = qFromLittleEndian<qint32>(data + 4);
    const int quality = int(int8_t(data[8]));
    const std::uint8_t* pixels = data + 9;
    const std::size_t pixelBytes = size - 9;

    const int64_t pitch = (3 * int64_t(width) + 3) & ~int64_t(3);
    if (width > 0 && height > 0 && pitch * height > kMaxBytes)
        return 0;

    lv::cDIBSection section;
    const bool made = section.Create(width, height);
    check(!made || (width > 0 && height > 0), "a section of no size was made");
    if (made) {
        check(section.Width() == width && section.Height() == height, "section size differs");
        const std::size_t room = std::size_t(section.BytesPerScanLine()) * std::size_t(height);
        std::memcpy(section.DIBSectionBitsPtr(), pixels, std::min(room, pixelBytes));
    }

    // A previous picture that a failure must leave alone.
    {
        QFile old(f.path);
        check(old.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the old file");
        old.write("old picture");
    }
    const lv::FileResult result = lv::SaveJPG(section, f.path, quality);
    const bool written = result.ok();
    QFile out(f.path);
    check(out.open(QIODevice::ReadOnly), "the file is gone");
    const QByteArray bytes = out.readAll();
    if (!written) {
        check(!result.message().isEmpty(), "failed without a message");
        check(bytes == "old picture", "a failure touched the old file");
        return 0;
    }
    check(made, "wrote a section that was never made");
    check(result.message().isEmpty(), "a message after success");
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    const int rc = tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(bytes.constData()),
                                       static_cast<unsigned long>(bytes.size()), &w, &h, &sub, &space);
    tjDestroy(tj);
    check(rc == 0, "the JPEG does not read back");
    check(w == width && h == height, "the JPEG has another size");
    return 0;
}
