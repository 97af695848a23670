#pragma once

#include "base/fileresult.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace lv {

// The 14-byte header at the start of a bitmap file.
struct BitmapFileHeader {
    std::uint16_t bfType = 0;
    std::uint32_t bfSize = 0;
    std::uint16_t bfReserved1 = 0;
    std::uint16_t bfReserved2 = 0;
    std::uint32_t bfOffBits = 0;
};

// The 40-byte information header that follows it.
struct BitmapInfoHeader {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

inline constexpr int kFileHeaderSize = 14;
inline constexpr int kInfoHeaderSize = 40;

// Little-endian (de)serialisation of the two headers; `in` must hold the full size.
BitmapFileHeader readFileHeader(const unsigned char* in);
BitmapInfoHeader readInfoHeader(const unsigned char* in);
void writeFileHeader(const BitmapFileHeader& h, unsigned char* out);
void writeInfoHeader(const BitmapInfoHeader& h, unsigned char* out);

// One device-independent bitmap held as the three pieces of a bitmap file:
// file header, bitmap information block (header plus colour table) and the
// pixel bytes. The pixel size always comes from biSizeImage. Shows nothing:
// failures come back with the message the caller is to show.
class cDib final {
public:
    // Reads a ".bmp" file. Fails, with the message to show, when the file is
    // missing, cannot be opened, is not a bitmap, or is shorter than its
    // headers say; the object is unchanged then.
    FileResult CreateFromFile(const QString& fileName);
    // Takes over a packed bitmap: a 40-byte information header followed by the
    // pixel bytes, `length` bytes in all. Bitmaps under 16 bits per pixel, or
    // without a stated pixel size, or whose pixel size runs past `length`, are
    // refused. No message.
    bool CreateFromPackedDIBPointer(const void* packed, std::size_t length);
    // Writes file header, information block and pixel bytes; a longer existing
    // file is truncated. A failure carries the system's reason, no message.
    FileResult WriteToFile(const QString& fileName) const;

    std::int32_t BitCount() const { return m_info.biBitCount; }
    std::int32_t Height() const { return m_info.biHeight; }
    std::int32_t Width() const { return m_info.biWidth; }
    std::int32_t Compression() const { return static_cast<std::int32_t>(m_info.biCompression); }
    std::int32_t SizeInfoHeader() const { return static_cast<std::int32_t>(m_info.biSize); }
    std::int32_t SizeImage() const { return static_cast<std::int32_t>(m_info.biSizeImage); }
    std::int32_t Planes() const { return m_info.biPlanes; }
    std::int32_t ClrImportant() const { return static_cast<std::int32_t>(m_info.biClrImportant); }
    std::int32_t ClrUsed() const { return static_cast<std::int32_t>(m_info.biClrUsed); }
    std::int32_t XPPM() const { return m_info.biXPelsPerMeter; }
    std::int32_t YPPM() const { return m_info.biYPelsPerMeter; }
    std::int32_t FileType() const { return m_file.bfType; }
    // bfSize: the size of the whole file, despite the name.
    std::int32_t SizeFileHeader() const { return static_cast<std::int32_t>(m_file.bfSize); }
    std::int32_t BitOffset() const { return static_cast<std::int32_t>(m_file.bfOffBits); }
    const unsigned char* PointerToBits() const;
    const unsigned char* PointerToBitmapInfo() const;
    std::int32_t SizeBitmapInfo() const { return static_cast<std::int32_t>(m_bitmapInfo.size()); }
    // Number of pixel bytes held (equals SizeImage unless the file left that field 0).
    std::int32_t SizeBits() const { return static_cast<std::int32_t>(m_bits.size()); }

private:
    static bool FileExists(const QString& fileName);

    QByteArray m_bits;
    QByteArray m_bitmapInfo;
    BitmapInfoHeader m_info;
    BitmapFileHeader m_file;
};

} // namespace lv
