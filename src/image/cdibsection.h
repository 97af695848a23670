#pragma once

#include "image/cdib.h"

#include <QImage>

#include <memory>
#include <vector>

namespace lv {

// A 24-bit bitmap whose pixel bytes the program addresses directly: rows
// stored bottom-up, 3 bytes per pixel in the order blue, green, red, each row
// padded to a multiple of 4 bytes. Copying from and to a QImage stands in for
// the blits of a drawing surface. Either ready (Create succeeded) or empty.
class cDIBSection final {
public:
    cDIBSection() = default;
    ~cDIBSection() { ClearUp(); }
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // The as-DIB form is not offered: fails with the message to show.
    // Otherwise the section goes onto the system clipboard as a picture (an
    // empty section fails without a message).
    FileResult CopyToClipboard(bool asDib) const;
    // Makes the section at the picture's size and copies the picture into it.
    bool CreateFromPicture(const QImage& picture);
    // Releases an earlier bitmap and makes a new one, all bytes 0. False for a
    // size that is not positive or too large to address.
    bool Create(int width, int height);

    int BytesPerScanLine() const { return BytesPerScanLineFor(Width()); }
    static int BytesPerScanLineFor(int width) { return (3 * width + 3) & ~3; }
    int Width() const { return m_info.biWidth; }
    int Height() const { return m_info.biHeight; }

    // Copies a width × height block from (sourceLeft, sourceTop) of `source`
    // into this section at (0, 0); a negative width or height means the
    // section's own. Clipped to both pictures.
    void LoadPictureBlt(const QImage& source, int sourceLeft, int sourceTop, int width, int height);
    // Copies a block of this section from (sourceLeft, sourceTop) onto `target`
    // at (targetLeft, targetTop); negative width or height as above. Clipped.
    void PaintPicture(QImage& target, int targetLeft, int targetTop, int width, int height, int sourceLeft = 0,
                      int sourceTop = 0) const;

    unsigned char* DIBSectionBitsPtr() { return m_bits.empty() ? nullptr : m_bits.data(); }
    const unsigned char* DIBSectionBitsPtr() const { return m_bits.empty() ? nullptr : m_bits.data(); }
    const BitmapInfoHeader& InfoHeader() const { return m_info; }
    bool IsReady() const { return !m_bits.empty(); }

    // Fills the pixels with noise; the generator is seeded from the time of day.
    void RandomiseBits(bool grey);
    // Back to empty; harmless on an empty section.
    void ClearUp();
    // A new section of the new size, by bilinear interpolation (a plain copy when
    // the size is unchanged); samples past the last row or column repeat it.
    std::unique_ptr<cDIBSection> Resample(int newHeight, int newWidth) const;

    // The section as a top-down QImage (RGB888), and the pixel at (x, y), top-down.
    QImage toImage() const;
    QRgb pixel(int x, int y) const;

private:
    unsigned char* row(int y) { return m_bits.data() + static_cast<std::size_t>(Height() - 1 - y) * BytesPerScanLine(); }
    const unsigned char* row(int y) const
    {
        return m_bits.data() + static_cast<std::size_t>(Height() - 1 - y) * BytesPerScanLine();
    }

    BitmapInfoHeader m_info;
    std::vector<unsigned char> m_bits;
};

} // namespace lv
