#include "image/cdib.h"

#include "image/imagelog.h"
#include "image/replacefile.h"

#include <QFile>
#include <QFileInfo>

#include <cstdlib>

namespace lv {

namespace {

constexpr std::uint16_t kBitmapMark = 0x4D42; // "BM"
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

std::uint16_t getU16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t getU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void putU16(unsigned char* p, std::uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void putU32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

QString withFileName(const char* text, const QString& fileName)
{
    return QLatin1String(text) + QLatin1String("\r\n") + fileName;
}

FileResult notABitmap(const QString& fileName)
{
    return FileResult::failure(withFileName("File is not a supported bitmap format:", fileName),
                               MessageIcon::Information);
}

} // namespace

BitmapFileHeader readFileHeader(const unsigned char* in)
{
    BitmapFileHeader h;
    h.bfType = getU16(in);
    h.bfSize = getU32(in + 2);
    h.bfReserved1 = getU16(in + 6);
    h.bfReserved2 = getU16(in + 8);
    h.bfOffBits = getU32(in + 10);
    return h;
}

BitmapInfoHeader readInfoHeader(const unsigned char* in)
{
    BitmapInfoHeader h;
    h.biSize = getU32(in);
    h.biWidth = static_cast<std::int32_t>(getU32(in + 4));
    h.biHeight = static_cast<std::int32_t>(getU32(in + 8));
    h.biPlanes = getU16(in + 12);
    h.biBitCount = getU16(in + 14);
    h.biCompression = getU32(in + 16);
    h.biSizeImage = getU32(in + 20);
    h.biXPelsPerMeter = static_cast<std::int32_t>(getU32(in + 24));
    h.biYPelsPerMeter = static_cast<std::int32_t>(getU32(in + 28));
    h.biClrUsed = getU32(in + 32);
    h.biClrImportant = getU32(in + 36);
    return h;
}

void writeFileHeader(const BitmapFileHeader& h, unsigned char* out)
{
    putU16(out, h.bfType);
    putU32(out + 2, h.bfSize);
    putU16(out + 6, h.bfReserved1);
    putU16(out + 8, h.bfReserved2);
    putU32(out + 10, h.bfOffBits);
}

void writeInfoHeader(const BitmapInfoHeader& h, unsigned char* out)
{
    putU32(out, h.biSize);
    putU32(out + 4, static_cast<std::uint32_t>(h.biWidth));
    putU32(out + 8, static_cast<std::uint32_t>(h.biHeight));
    putU16(out + 12, h.biPlanes);
    putU16(out + 14, h.biBitCount);
    putU32(out + 16, h.biCompression);
    putU32(out + 20, h.biSizeImage);
    putU32(out + 24, static_cast<std::uint32_t>(h.biXPelsPerMeter));
    putU32(out + 28, static_cast<std::uint32_t>(h.biYPelsPerMeter));
    putU32(out + 32, h.biClrUsed);
    putU32(out + 36, h.biClrImportant);
}

bool cDib::FileExists(const QString& fileName)
{
    QFileInfo info(fileName);
    return info.exists();
}

FileResult cDib::CreateFromFile(const QString& fileName)
{
    if (!FileExists(fileName)) {
        return FileResult::failure(withFileName("File does not exist:", fileName), MessageIcon::Error);
    }

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.error() == QFileDevice::PermissionsError)
            return FileResult::failure(withFileName("File is locked - cannot access:", fileName), MessageIcon::Error);
        return FileResult::failure(file.errorString(), MessageIcon::Information);
    }

    unsigned char headers[kFileHeaderSize + kInfoHeaderSize] = {};
    const qint64 got = file.read(reinterpret_cast<char*>(headers), sizeof headers);
    if (got < 2 || readFileHeader(headers).bfType != kBitmapMark) {
        return notABitmap(fileName);
    }

    // Everything past the mark is checked against the real file length before
    // anything is sized from it: a damaged or hostile header must not make us
    // read past the end or allocate what it claims.
    const qint64 fileSize = file.size();
    if (got < static_cast<qint64>(sizeof headers)) {
        qCWarning(lcImage) << "bitmap shorter than its headers:" << fileName;
        return notABitmap(fileName);
    }
    const BitmapFileHeader fileHeader = readFileHeader(headers);
    const BitmapInfoHeader info = readInfoHeader(headers + kFileHeaderSize);
    const qint64 offBits = fileHeader.bfOffBits;
    if (offBits < kFileHeaderSize + kInfoHeaderSize || offBits > fileSize) {
        qCWarning(lcImage) << "bitmap pixel offset out of the file:" << offBits << fileName;
        return notABitmap(fileName);
    }

    qint64 pixelBytes = info.biSizeImage;
    if (pixelBytes == 0 && (info.biCompression == kBiRgb || info.biCompression == kBiBitfields)) {
        // Uncompressed bitmaps may leave the size 0; their rows say it.
        const qint64 width = std::abs(static_cast<qint64>(info.biWidth));
        const qint64 rows = std::abs(static_cast<qint64>(info.biHeight));
        const qint64 stride = ((width * info.biBitCount + 31) / 32) * 4;
        // Compared by division: the product of two hostile numbers overflows.
        pixelBytes = rows != 0 && stride > (fileSize - offBits) / rows ? fileSize + 1 : stride * rows;
    }
    if (pixelBytes > fileSize - offBits) {
        qCWarning(lcImage) << "bitmap pixel bytes run past the end:" << pixelBytes << fileName;
        return notABitmap(fileName);
    }

    QByteArray bits(static_cast<qsizetype>(pixelBytes), Qt::Uninitialized);
    QByteArray bitmapInfo(static_cast<qsizetype>(offBits - kFileHeaderSize), Qt::Uninitialized);
    if (!file.seek(offBits) || file.read(bits.data(), bits.size()) != bits.size() || !file.seek(kFileHeaderSize)
        || file.read(bitmapInfo.data(), bitmapInfo.size()) != bitmapInfo.size()) {
        return FileResult::failure(file.errorString(), MessageIcon::Information);
    }

    m_file = fileHeader;
    m_info = info;
    m_bits = std::move(bits);
    m_bitmapInfo = std::move(bitmapInfo);
    return {};
}

bool cDib::CreateFromPackedDIBPointer(const void* packed, std::size_t length)
{
    if (!packed || length < static_cast<std::size_t>(kInfoHeaderSize))
        return false;
    const auto* in = static_cast<const unsigned char*>(packed);
    m_info = readInfoHeader(in);
    if (m_info.biBitCount < 16 || m_info.biSizeImage < 1)
        return false;
    if (m_info.biSizeImage > length - kInfoHeaderSize)
        return false;

    m_bits = QByteArray(reinterpret_cast<const char*>(in + kInfoHeaderSize), static_cast<qsizetype>(m_info.biSizeImage));
    m_bitmapInfo = QByteArray(reinterpret_cast<const char*>(in), kInfoHeaderSize);
    m_file = BitmapFileHeader{};
    m_file.bfType = kBitmapMark;
    m_file.bfSize = m_info.biSizeImage + kFileHeaderSize + kInfoHeaderSize;
    m_file.bfOffBits = kFileHeaderSize + kInfoHeaderSize;
    return true;
}

FileResult cDib::WriteToFile(const QString& fileName) const
{
    unsigned char header[kFileHeaderSize];
    writeFileHeader(m_file, header);
    return writeFileReplacing(fileName, {QByteArrayView(header, kFileHeaderSize), QByteArrayView(m_bitmapInfo),
                                         QByteArrayView(m_bits)});
}

const unsigned char* cDib::PointerToBits() const
{
    return m_bits.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(m_bits.constData());
}

const unsigned char* cDib::PointerToBitmapInfo() const
{
    return m_bitmapInfo.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(m_bitmapInfo.constData());
}

} // namespace lv
