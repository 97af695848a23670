// Feeds arbitrary bytes to cDib as a bitmap file and as a packed bitmap. A
// file that is read must write back as header, information block and exactly
// the pixel bytes that were taken.
#include "image/cdib.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString input, output;
    Fixture()
    {
        input = dir.filePath(QStringLiteral("in.bmp"));
        output = dir.filePath(QStringLiteral("out.bmp"));
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fixture& f = fixture();
    {
        QFile file(f.input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    lv::cDib dib;
    const lv::FileResult result = dib.CreateFromFile(f.input);
    const bool read = result.ok();
    // Every refusal explains itself; a read has nothing to say.
    if (read == !result.message().isEmpty())
        std::abort();
    if (read) {
        if (dib.SizeBits() > qint64(size) || dib.SizeBitmapInfo() != dib.BitOffset() - 14)
            std::abort();
        if (!dib.WriteToFile(f.output))
            std::abort();
        if (QFileInfo(f.output).size() != 14 + dib.SizeBitmapInfo() + dib.SizeBits())
            std::abort();
    }

    // The same bytes as a packed bitmap (header plus pixels), with their length.
    lv::cDib packed;
    if (packed.CreateFromPackedDIBPointer(data, size)) {
        if (packed.SizeImage() <= 0 || std::size_t(packed.SizeImage()) > size - 40 || packed.BitCount() < 16)
            std::abort();
        volatile unsigned char sink = packed.PointerToBits()[packed.SizeImage() - 1];
        (void)sink;
    }
    return 0;
}
