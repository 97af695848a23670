#include "image/bitmapfile.h"

#include "image/cdib.h"
#include "image/cdibsection.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace lv {

namespace {

std::uint16_t u16At(const QByteArray& b, qsizetype at)
{
    return static_cast<std::uint16_t>(std::uint8_t(b[at]) | (std::uint8_t(b[at + 1]) << 8));
}
std::uint32_t u32At(const QByteArray& b, qsizetype at)
{
    return std::uint32_t(u16At(b, at)) | (std::uint32_t(u16At(b, at + 2)) << 16);
}

// Compression values of the information header.
constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

// Whether a run-length stream holds the whole picture: it ends with its end
// mark, or, without one, after every row. A stream that stops inside an
// operation or before its last row is cut short.
bool runLengthComplete(const unsigned char* p, qint64 n, bool fourBits, qint64 width, qint64 rows)
{
    qint64 i = 0, x = 0, y = 0;
    while (i + 2 <= n) {
        const unsigned count = p[i], value = p[i + 1];
        i += 2;
        if (count != 0) {
            x += count;
        } else if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of picture
            return true;
        } else if (value == 2) { // move right and down
            if (i + 2 > n)
                return false;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else { // that many pixels as they are, padded to a 16-bit boundary
            const qint64 bytes = fourBits ? (value + 1) / 2 : value;
            i += (bytes + 1) & ~qint64(1);
            if (i > n)
                return false;
            x += value;
        }
    }
    return y >= rows || (y == rows - 1 && x >= width);
}

// A bitmap file is read whole and checked before Qt decodes it: Qt's reader
// fills what a short file lacks with black and takes it, and refuses the
// top-down form (negative height) that other programs read. So a file whose
// header, colour table or pixels run past its end is refused here with the
// reason, and a top-down picture is handed on with its rows turned over.
PictureLoad loadBitmap(const QString& fileName)
{
    PictureLoad out;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = file.errorString();
        return out;
    }
    const qint64 fileSize = file.size();
    constexpr qsizetype kFileHeader = 14, kLargestInfoHeader = 124;
    QByteArray bytes = file.read(kFileHeader + kLargestInfoHeader);
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
        out.error = QStringLiteral("not a bitmap file");
        return out;
    }
    const QString cutInHeader = QStringLiteral("the file is cut short inside its header (%1 bytes)").arg(fileSize);
    if (bytes.size() < kFileHeader + 4) {
        out.error = cutInHeader;
        return out;
    }
    const std::uint32_t infoSize = u32At(bytes, kFileHeader);
    const bool core = infoSize == 12; // the oldest form: 16-bit sizes, no compression
    if (!core && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 64 && infoSize != 108
        && infoSize != 124) {
        out.error = QStringLiteral("not a bitmap form this program reads (an information header of %1 bytes)")
                        .arg(infoSize);
        return out;
    }
    if (bytes.size() < kFileHeader + qsizetype(infoSize)) {
        out.error = cutInHeader;
        return out;
    }
    const qint64 width = core ? u16At(bytes, 18) : qint64(std::int32_t(u32At(bytes, 18)));
    const qint64 height = core ? u16At(bytes, 20) : qint64(std::int32_t(u32At(bytes, 22)));
    const int bitCount = core ? u16At(bytes, 24) : u16At(bytes, 28);
    const std::uint32_t compression = core ? kRgb : u32At(bytes, 30);
    const std::uint32_t sizeImage = core ? 0 : u32At(bytes, 34);
    const qint64 rows = std::llabs(height);
    if (width < 1 || rows < 1 || height == INT_MIN) {
        out.error = QStringLiteral("the header gives no picture size (%1 x %2)").arg(width).arg(height);
        return out;
    }
    if (width * rows > kMaxPicturePixels) {
        out.tooLarge = true;
        out.error = QStringLiteral("The picture is too large to open: %1 x %2 pixels (at most %3 million).")
                        .arg(width)
                        .arg(rows)
                        .arg(kMaxPicturePixels / 1'000'000);
        return out;
    }
    const qint64 offBits = u32At(bytes, 10);
    if (offBits < kFileHeader + qint64(infoSize)) {
        out.error = QStringLiteral("the header puts the pixels inside itself (at byte %1)").arg(offBits);
        return out;
    }
    const bool uncompressed = compression == kRgb || compression == kBitfields || compression == kAlphaBitfields;
    const bool runLength = compression == kRle8 || compression == kRle4;
    if (uncompressed && bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24
        && bitCount != 32) {
        out.error = QStringLiteral("not a bitmap form this program reads (%1 bits per pixel)").arg(bitCount);
        return out;
    }
    const qint64 stride = ((width * bitCount + 31) / 32) * 4;
    qint64 pixelBytes = sizeImage;
    if (uncompressed)
        pixelBytes = stride * rows; // the rows say it, whatever the size field holds
    else if (runLength && sizeImage == 0)
        pixelBytes = std::max<qint64>(0, fileSize - offBits); // walked below
    const qint64 held = std::max<qint64>(0, fileSize - offBits);
    if (offBits > fileSize || pixelBytes > held) {
        out.error = QStringLiteral("the file is cut short: its header says %1 bytes of pixel data, it holds %2")
                        .arg(pixelBytes)
                        .arg(offBits > fileSize ? 0 : held);
        return out;
    }
    if (!file.seek(0)) {
        out.error = file.errorString();
        return out;
    }
    bytes = file.read(offBits + pixelBytes);
    if (bytes.size() != offBits + pixelBytes) {
        out.error = file.errorString();
        return out;
    }
    auto* pixels = reinterpret_cast<unsigned char*>(bytes.data()) + offBits;
    if (runLength && !runLengthComplete(pixels, pixelBytes, compression == kRle4, width, rows)) {
        out.error = QStringLiteral("the file is cut short: its compressed pixel data stops before the picture ends");
        return out;
    }
    if (height < 0) {
        if (!uncompressed) {
            out.error = QStringLiteral("a compressed bitmap cannot be stored top-down");
            return out;
        }
        // Bottom-up, as the decoder reads it: the rows turned over and the height made positive.
        for (qint64 top = 0, bottom = rows - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(pixels + top * stride, pixels + (top + 1) * stride, pixels + bottom * stride);
        const std::uint32_t up = std::uint32_t(rows);
        for (int i = 0; i < 4; ++i)
            bytes[22 + i] = char(up >> (8 * i));
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    const QImage image = reader.read();
    if (image.isNull()) {
        out.error = reader.errorString();
        return out;
    }
    out.image = image.convertToFormat(QImage::Format_RGB32);
    return out;
}

} // namespace

FileResult SavePictureAsBitmap(const QImage& picture, const QString& fileName)
{
    cDIBSection section;
    if (!section.CreateFromPicture(picture))
        return FileResult::failed(QStringLiteral("no picture to save"));
    const BitmapInfoHeader& info = section.InfoHeader();
    QByteArray packed(kInfoHeaderSize, '\0');
    writeInfoHeader(info, reinterpret_cast<unsigned char*>(packed.data()));
    packed.append(reinterpret_cast<const char*>(section.DIBSectionBitsPtr()), qsizetype(info.biSizeImage));
    cDib dib;
    if (!dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())))
        return FileResult::failed(QStringLiteral("no picture to save"));
    return dib.WriteToFile(fileName);
}

PictureLoad LoadPictureChecked(const QString& fileName)
{
    PictureLoad out;
    const QString ending = QFileInfo(fileName).suffix().toLower();
    if (ending == QLatin1String("bmp"))
        return loadBitmap(fileName);
    if (ending != QLatin1String("jpg") && ending != QLatin1String("jpeg")) {
        out.error = QStringLiteral("not a bitmap or JPEG file name");
        return out;
    }
    QImageReader reader(fileName, "jpeg");
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid()) {
        out.error = reader.errorString();
        return out;
    }
    if (qint64(size.width()) * size.height() > kMaxPicturePixels) {
        out.tooLarge = true;
        out.error = QStringLiteral("The picture is too large to open: %1 x %2 pixels (at most %3 million).")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(kMaxPicturePixels / 1'000'000);
        return out;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        out.error = reader.errorString();
        return out;
    }
    out.image = image.convertToFormat(QImage::Format_RGB32);
    return out;
}

QImage LoadPicture(const QString& fileName)
{
    return LoadPictureChecked(fileName).image;
}

} // namespace lv
