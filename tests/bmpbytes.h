#pragma once

#include <QByteArray>
#include <QtGlobal>

// Bitmap-file bytes for tests: header fields and the top-down form of a file.
namespace lvtest {

// A little-endian header field of a bitmap file; 0 past the end. Read byte by
// byte, so an optimiser never sees a read beyond an empty array.
inline quint32 bmpField(const QByteArray& bmp, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int i = 0; i < bytes && at + i < bmp.size(); ++i)
        v |= quint32(uchar(bmp.at(at + i))) << (8 * i);
    return v;
}

// The same picture stored top-down: rows in the other order, height negative.
inline QByteArray topDownBitmap(QByteArray bmp)
{
    const qint32 w = qint32(bmpField(bmp, 18, 4));
    const qint32 h = qint32(bmpField(bmp, 22, 4));
    const int bits = int(bmpField(bmp, 28, 2));
    const qsizetype stride = ((qsizetype(w) * bits + 31) / 32) * 4;
    const qsizetype off = qsizetype(bmpField(bmp, 10, 4));
    const QByteArray rows = bmp.mid(off, stride * h);
    for (int y = 0; y < h; ++y)
        bmp.replace(off + y * stride, stride, rows.mid((h - 1 - y) * stride, stride));
    for (int i = 0; i < 4 && 22 + i < bmp.size(); ++i)
        bmp[22 + i] = char((quint32(-h) >> (8 * i)) & 0xff);
    return bmp;
}

} // namespace lvtest
