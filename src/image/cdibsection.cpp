#include "image/cdibsection.h"

#include "base/clock.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <random>

namespace lv {

namespace {

// Larger sections are refused rather than allocated: 16384 × 16384 × 3 is
// already 768 MiB.
constexpr int kMaxSide = 16384;

struct Block {
    int srcX, srcY, dstX, dstY, w, h;
};

// Clips a copy of w × h from (sx, sy) in a source of sw × sh to (dx, dy) in a
// target of tw × th.
Block clipBlock(int sx, int sy, int dx, int dy, int w, int h, int sw, int sh, int tw, int th)
{
    if (sx < 0) { dx -= sx; w += sx; sx = 0; }
    if (sy < 0) { dy -= sy; h += sy; sy = 0; }
    if (dx < 0) { sx -= dx; w += dx; dx = 0; }
    if (dy < 0) { sy -= dy; h += dy; dy = 0; }
    w = std::min({w, sw - sx, tw - dx});
    h = std::min({h, sh - sy, th - dy});
    return {sx, sy, dx, dy, std::max(w, 0), std::max(h, 0)};
}

double unitRandom(std::mt19937& gen) { return std::generate_canonical<double, 53>(gen); }

unsigned char nearestByte(double v) { return static_cast<unsigned char>(std::nearbyint(v)); }

} // namespace

FileResult cDIBSection::CopyToClipboard(bool asDib) const
{
    if (asDib)
        return FileResult::failure(
            QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"),
            MessageIcon::Information);
    QClipboard* clipboard = IsReady() ? QGuiApplication::clipboard() : nullptr;
    // Nothing to copy, or nowhere to copy it: no message, as before.
    if (!clipboard)
        return FileResult::failure({}, MessageIcon::Information);
    clipboard->clear();
    clipboard->setImage(toImage());
    return {};
}

bool cDIBSection::CreateFromPicture(const QImage& picture)
{
    if (picture.isNull() || !Create(picture.width(), picture.height()))
        return false;
    LoadPictureBlt(picture, 0, 0, -1, -1);
    return true;
}

bool cDIBSection::Create(int width, int height)
{
    ClearUp();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    BitmapInfoHeader info;
    info.biSize = kInfoHeaderSize;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = 0;
    info.biSizeImage = static_cast<std::uint32_t>(height) * static_cast<std::uint32_t>(BytesPerScanLineFor(width));
    m_bits.assign(info.biSizeImage, 0);
    m_info = info;
    return true;
}

void cDIBSection::LoadPictureBlt(const QImage& source, int sourceLeft, int sourceTop, int width, int height)
{
    if (!IsReady() || source.isNull())
        return;
    if (width < 0) width = Width();
    if (height < 0) height = Height();
    const QImage src = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
        ? source
        : source.convertToFormat(QImage::Format_RGB32);
    const Block b = clipBlock(sourceLeft, sourceTop, 0, 0, width, height, src.width(), src.height(), Width(), Height());
    for (int y = 0; y < b.h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(b.srcY + y)) + b.srcX;
        unsigned char* out = row(b.dstY + y) + 3 * b.dstX;
        for (int x = 0; x < b.w; ++x, out += 3) {
            out[0] = static_cast<unsigned char>(qBlue(in[x]));
            out[1] = static_cast<unsigned char>(qGreen(in[x]));
            out[2] = static_cast<unsigned char>(qRed(in[x]));
        }
    }
}

void cDIBSection::PaintPicture(QImage& target, int targetLeft, int targetTop, int width, int height, int sourceLeft,
                               int sourceTop) const
{
    if (!IsReady() || target.isNull())
        return;
    if (width < 0) width = Width();
    if (height < 0) height = Height();
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32)
        target = target.convertToFormat(QImage::Format_RGB32);
    const Block b = clipBlock(sourceLeft, sourceTop, targetLeft, targetTop, width, height, Width(), Height(),
                              target.width(), target.height());
    for (int y = 0; y < b.h; ++y) {
        const unsigned char* in = row(b.srcY + y) + 3 * b.srcX;
        auto* out = reinterpret_cast<QRgb*>(target.scanLine(b.dstY + y)) + b.dstX;
        for (int x = 0; x < b.w; ++x, in += 3)
            out[x] = qRgb(in[2], in[1], in[0]);
    }
}

void cDIBSection::RandomiseBits(bool grey)
{
    if (!IsReady())
        return;
    std::mt19937 gen(static_cast<std::uint32_t>(clock().now().time().msecsSinceStartOfDay()));
    if (grey) {
        for (int y = 0; y < Height(); ++y) {
            unsigned char* p = row(y);
            for (int x = 0; x < Width(); ++x, p += 3)
                p[0] = p[1] = p[2] = nearestByte(unitRandom(gen) * 255);
        }
        return;
    }
    for (int x = 0; x < Width(); ++x) {
        for (int y = 0; y < Height(); ++y) {
            unsigned char* p = row(y) + 3 * x;
            p[0] = 0;
            p[1] = nearestByte(unitRandom(gen) * 255);
            p[2] = nearestByte(unitRandom(gen) * 255);
        }
    }
}

void cDIBSection::ClearUp()
{
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_info = BitmapInfoHeader{};
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(int newHeight, int newWidth) const
{
    auto out = std::make_unique<cDIBSection>();
    if (!IsReady() || !out->Create(newWidth, newHeight))
        return out;
    if (newWidth == Width() && newHeight == Height()) {
        out->m_bits = m_bits;
        return out;
    }
    const double xScale = static_cast<double>(Width() - 1) / newWidth;
    const double yScale = static_cast<double>(Height() - 1) / newHeight;
    for (int y = 0; y < newHeight; ++y) {
        const double sy = y * yScale;
        const int y0 = static_cast<int>(sy);
        const int y1 = std::min(y0 + 1, Height() - 1);
        const double fy = sy - y0;
        unsigned char* dst = out->row(y);
        for (int x = 0; x < newWidth; ++x, dst += 3) {
            const double sx = x * xScale;
            const int x0 = static_cast<int>(sx);
            const int x1 = std::min(x0 + 1, Width() - 1);
            const double fx = sx - x0;
            for (int c = 0; c < 3; ++c) {
                const double top = row(y0)[3 * x0 + c] * (1 - fx) + row(y0)[3 * x1 + c] * fx;
                const double bottom = row(y1)[3 * x0 + c] * (1 - fx) + row(y1)[3 * x1 + c] * fx;
                dst[c] = nearestByte(top * (1 - fy) + bottom * fy);
            }
        }
    }
    return out;
}

QImage cDIBSection::toImage() const
{
    if (!IsReady())
        return {};
    QImage image(Width(), Height(), QImage::Format_RGB32);
    PaintPicture(image, 0, 0, -1, -1);
    return image;
}

QRgb cDIBSection::pixel(int x, int y) const
{
    const unsigned char* p = row(y) + 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

} // namespace lv
