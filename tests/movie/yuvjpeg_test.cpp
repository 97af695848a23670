// Camera pictures written straight from their YUV planes: the file shows the
// same picture as the RGB one they stand for, at the quality the old encoder
// used.
#include "ffprobe.h"
#include "movie/moviereader.h"
#include "movie/aviwriter.h"
#include "movie/videocodecs.h"
#include "movie/yuvjpeg.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

using namespace lv;

Q_DECLARE_METATYPE(lv::YuvView::Layout)

namespace {

// Smooth ramps between black and white bands: every channel's whole range,
// with colour edges only between chroma cells (the decoder's own smoothing
// of a cell's edge is none of the writer's doing).
QImage reference(QSize size)
{
    QImage img(size, QImage::Format_RGB888);
    const int w = size.width(), h = size.height();
    const int white = (w - 16) & ~1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int r = x * 255 / std::max(1, w - 1);
            const int g = y * 255 / std::max(1, h - 1);
            const int b = 255 - (x + y) * 255 / std::max(1, w + h - 2);
            img.setPixel(x, y, x < 16 ? qRgb(0, 0, 0) : x >= white ? qRgb(255, 255, 255) : qRgb(r, g, b));
        }
    return img;
}

struct Yuv {
    double y, u, v;
};
Yuv yuvOf(QRgb c, bool fullRange)
{
    const double r = qRed(c), g = qGreen(c), b = qBlue(c);
    Yuv o{0.299 * r + 0.587 * g + 0.114 * b, -0.168736 * r - 0.331264 * g + 0.5 * b, 0.5 * r - 0.418688 * g - 0.081312 * b};
    if (!fullRange) // studio swing, as cameras deliver
        return {16 + o.y * 219 / 255, o.u * 224 / 255, o.v * 224 / 255};
    return o;
}
uint8_t byte(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

// The picture in a camera layout, rows `pad` bytes longer than they need be.
QByteArray toYuv(const QImage& img, YuvView::Layout layout, bool fullRange, int pad, int* stride)
{
    const int w = img.width(), h = img.height(), cw = (w + 1) / 2, ch = (h + 1) / 2;
    const auto chroma = [&](int cx, int cy, int rows) { // mean of the cell's pixels
        Yuv sum{0, 0, 0};
        int n = 0;
        for (int y = cy * rows; y < std::min(h, cy * rows + rows); ++y)
            for (int x = 2 * cx; x < std::min(w, 2 * cx + 2); ++x, ++n) {
                const Yuv p = yuvOf(img.pixel(x, y), fullRange);
                sum.u += p.u;
                sum.v += p.v;
            }
        return std::pair{byte(128 + sum.u / n), byte(128 + sum.v / n)};
    };
    QByteArray out;
    if (layout == YuvView::Layout::YUYV) {
        *stride = 2 * w + pad;
        out.fill(char(0x55), qsizetype(*stride) * h);
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint8_t*>(out.data()) + qsizetype(*stride) * y;
            for (int x = 0; x < w; ++x)
                row[2 * x] = byte(yuvOf(img.pixel(x, y), fullRange).y);
            for (int cx = 0; cx < cw; ++cx) {
                const auto [u, v] = chroma(cx, y, 1);
                row[4 * cx + 1] = u;
                row[4 * cx + 3] = v;
            }
        }
        return out;
    }
    *stride = w + pad;
    const int cs = layout == YuvView::Layout::NV12 ? *stride : (*stride + 1) / 2;
    const qsizetype luma = qsizetype(*stride) * h;
    out.fill(char(0x55), luma + (layout == YuvView::Layout::NV12 ? qsizetype(cs) * ch : 2 * qsizetype(cs) * ch));
    auto* base = reinterpret_cast<uint8_t*>(out.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            base[qsizetype(*stride) * y + x] = byte(yuvOf(img.pixel(x, y), fullRange).y);
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            const auto [u, v] = chroma(cx, cy, 2);
            if (layout == YuvView::Layout::NV12) {
                base[luma + qsizetype(cs) * cy + 2 * cx] = u;
                base[luma + qsizetype(cs) * cy + 2 * cx + 1] = v;
            } else {
                base[luma + qsizetype(cs) * cy + cx] = u;
                base[luma + qsizetype(cs) * ch + qsizetype(cs) * cy + cx] = v;
            }
        }
    return out;
}

double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

// The luminance quantisation table of a JPEG (its first DQT table).
QList<int> lumaTable(const QByteArray& jpeg)
{
    for (qsizetype i = 2; i + 4 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xff)
            return {};
        const uchar marker = uchar(jpeg[i + 1]);
        const int length = uchar(jpeg[i + 2]) << 8 | uchar(jpeg[i + 3]);
        if (marker == 0xdb) {
            QList<int> table;
            const bool wide = uchar(jpeg[i + 4]) >> 4;
            for (int k = 0; k < 64; ++k)
                table.append(wide ? uchar(jpeg[i + 5 + 2 * k]) << 8 | uchar(jpeg[i + 6 + 2 * k]) : uchar(jpeg[i + 5 + k]));
            return table;
        }
        i += 2 + length;
    }
    return {};
}

// The frames of a movie or a JPEG as ffmpeg decodes them: 4:2:0 planes, one frame after another.
QByteArray decodedByFfmpeg(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                                       QStringLiteral("-xerror"), QStringLiteral("-i"), file, QStringLiteral("-f"),
                                       QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("yuvj420p"),
                                       QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

// Pictures that differ in what their blocks hold: flat, smooth, noise at
// every strength (the longest coefficient codes), a sparse dot grid (long
// runs of zeros), in full range.
QByteArray pictureOfKind(QSize size, int kind)
{
    const int w = size.width(), h = size.height(), cw = (w + 1) / 2, ch = (h + 1) / 2;
    QByteArray out(qsizetype(w) * h + 2 * qsizetype(cw) * ch, Qt::Uninitialized);
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    QRandomGenerator random(quint32(kind + 1));
    for (qsizetype i = 0; i < out.size(); ++i) {
        const int x = int(i % w), y = int(i / w % std::max(1, h));
        switch (kind) {
        case 0: p[i] = 128; break;
        case 1: p[i] = uint8_t((x + y) * 255 / std::max(1, w + h)); break;
        case 2: p[i] = uint8_t(random.bounded(256)); break;
        case 3: p[i] = uint8_t(120 + random.bounded(16)); break;
        default: p[i] = (x % 13 == 0 && y % 11 == 0) ? 255 : 0; break;
        }
    }
    return out;
}

} // namespace

class YuvJpegTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        av_log_set_level(AV_LOG_ERROR);
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    }

    void yuvFramesShowTheirPicture_data()
    {
        QTest::addColumn<YuvView::Layout>("layout");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("fullRange");
        QTest::addColumn<int>("pad");
        QTest::addColumn<QString>("encoder");
        using L = YuvView::Layout;
        // Odd sizes and padded rows find a misplaced plane; studio range a missing stretch.
        QTest::newRow("I420 full range, odd size") << L::I420 << QSize(161, 121) << true << 0 << "mjpeg";
        QTest::newRow("I420 studio range, padded rows") << L::I420 << QSize(160, 120) << false << 32 << "mjpeg";
        QTest::newRow("NV12 studio range, odd height") << L::NV12 << QSize(160, 121) << false << 0 << "mjpeg";
        QTest::newRow("NV12 full range, padded rows") << L::NV12 << QSize(160, 120) << true << 16 << "mjpeg";
        QTest::newRow("YUYV studio range") << L::YUYV << QSize(322, 97) << false << 0 << "mjpeg";
        QTest::newRow("YUYV studio range, padded rows") << L::YUYV << QSize(160, 120) << false << 64 << "mjpeg";
        // Other encoders take the planes through swscale.
        QTest::newRow("YUYV studio range, MPEG-4") << L::YUYV << QSize(160, 120) << false << 0 << "mpeg4";
        QTest::newRow("NV12 studio range, raw") << L::NV12 << QSize(160, 120) << false << 8 << "rawvideo";
    }

    void yuvFramesShowTheirPicture()
    {
        QFETCH(YuvView::Layout, layout);
        QFETCH(QSize, size);
        QFETCH(bool, fullRange);
        QFETCH(int, pad);
        QFETCH(QString, encoder);
        const QImage expected = reference(size);
        int stride = 0;
        const QByteArray bytes = toYuv(expected, layout, fullRange, pad, &stride);
        const YuvView view{layout, size, reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                           stride, fullRange};

        const QString file = m_dir.filePath(QStringLiteral("%1.avi").arg(QString::fromLatin1(QTest::currentDataTag())));
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = file;
        s.frameSize = size;
        s.encoder = encoder;
        s.quality = 100;
        QVERIFY2(w.open(s), qPrintable(w.errorText()));
        QVERIFY2(w.writeVideo(view, 0), qPrintable(w.errorText()));
        QVERIFY(w.repeatVideo(1));
        QVERIFY(w.close());
        QCOMPARE(probeInt(probeStream(ffprobe(file), QStringLiteral("video")), "nb_read_packets"), 2);

        MovieReader r;
        QVERIFY2(r.open(file) && r.openDecoder(), qPrintable(r.errorText()));
        for (int n = 0; n < 2; ++n) {
            const QImage got = r.image(n);
            QCOMPARE(got.size(), size);
            const double diff = meanDifference(got, expected);
            QVERIFY2(diff < 2.0, qPrintable(QStringLiteral("frame %1 differs by %2 on average").arg(n).arg(diff)));
        }
    }

    // The pictures after the first are compressed with tables made on an
    // earlier one: ffmpeg decodes every frame of the file to the very pixels
    // of the same picture compressed on its own, even a picture that holds
    // what the tables' picture never did, and the file is hardly larger.
    void framesDecodeAsIfCompressedAlone_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("quality");
        QTest::newRow("640x480, planes read in place") << QSize(640, 480) << 75;
        QTest::newRow("odd size, finest quality") << QSize(161, 121) << 100;
        QTest::newRow("odd size, coarsest quality") << QSize(97, 55) << 1;
    }
    void framesDecodeAsIfCompressedAlone()
    {
        QFETCH(QSize, size);
        QFETCH(int, quality);
        // Flat first, so its tables lack nearly every code; then each kind
        // twice in a row, then back to flat.
        const QList<int> kinds = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 0, 2};
        const QString movie = m_dir.filePath(QStringLiteral("alone-%1.avi").arg(QString::fromLatin1(QTest::currentDataTag())));
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = movie;
        s.frameSize = size;
        s.quality = quality;
        QVERIFY2(w.open(s), qPrintable(w.errorText()));
        QByteArray alone;
        qint64 aloneBytes = 0;
        for (qsizetype i = 0; i < kinds.size(); ++i) {
            const QByteArray bytes = pictureOfKind(size, kinds[i]);
            const YuvView view{YuvView::Layout::I420, size, reinterpret_cast<const uint8_t*>(bytes.constData()),
                               size_t(bytes.size()), 0, true};
            QVERIFY2(w.writeVideo(view, i), qPrintable(w.errorText()));
            JpegFrameEncoder own; // a first picture: tables made for it
            const uint8_t* data = nullptr;
            size_t length = 0;
            QVERIFY(own.encode(view, qscaleForQuality(quality), &data, &length));
            aloneBytes += qint64(length);
            const QString jpeg = m_dir.filePath(QStringLiteral("alone-%1.jpg").arg(i));
            QFile f(jpeg);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(reinterpret_cast<const char*>(data), qint64(length));
            f.close();
            const QByteArray decoded = decodedByFfmpeg(jpeg);
            QVERIFY2(!decoded.isEmpty(), "ffmpeg cannot read the picture compressed alone");
            alone += decoded;
        }
        QVERIFY(w.close());
        const QByteArray recorded = decodedByFfmpeg(movie);
        QCOMPARE(recorded.size(), alone.size());
        const qsizetype frameBytes = alone.size() / kinds.size();
        for (qsizetype i = 0; i < kinds.size(); ++i)
            QVERIFY2(recorded.mid(i * frameBytes, frameBytes) == alone.mid(i * frameBytes, frameBytes),
                     qPrintable(QStringLiteral("frame %1 decodes differently").arg(i)));
        QCOMPARE(probeInt(probeStream(ffprobe(movie), QStringLiteral("video")), "nb_read_packets"), int(kinds.size()));
        // The pictures in the file against the same pictures with tables of their own.
        const qint64 inFile = QFileInfo(movie).size();
        QVERIFY2(inFile < aloneBytes + aloneBytes / 10 + 8192,
                 qPrintable(QStringLiteral("%1 bytes in the file, %2 alone").arg(inFile).arg(aloneBytes)));
    }

    void damagedYuvFrameIsRefused()
    {
        const QByteArray bytes(160 * 120, '\x80'); // an I420 picture needs half as much again
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = m_dir.filePath(QStringLiteral("short.avi"));
        s.frameSize = {160, 120};
        QVERIFY(w.open(s));
        QVERIFY(!w.writeVideo(YuvView{YuvView::Layout::I420, {160, 120},
                                      reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), 0,
                                      true},
                              0));
        QVERIFY(!w.errorText().isEmpty());
        QCOMPARE(w.videoFramesWritten(), 0);
    }

    // The quality setting gives the tables FFmpeg's encoder used at the
    // quantiser it always chose.
    void qualityMatchesTheEncodersTables_data()
    {
        QTest::addColumn<int>("quality");
        for (const int q : {1, 40, 75, 90, 100})
            QTest::addRow("quality %d", q) << q;
    }

    void qualityMatchesTheEncodersTables()
    {
        QFETCH(int, quality);
        const QSize size(64, 48);
        const QImage img = reference(size);
        int stride = 0;
        const QByteArray bytes = toYuv(img, YuvView::Layout::I420, true, 0, &stride);
        const YuvView view{YuvView::Layout::I420, size, reinterpret_cast<const uint8_t*>(bytes.constData()),
                           size_t(bytes.size()), stride, true};
        const int qscale = qscaleForQuality(quality);
        JpegFrameEncoder ours;
        const uint8_t* data = nullptr;
        size_t length = 0;
        QVERIFY(ours.encode(view, qscale, &data, &length));
        const QList<int> mine = lumaTable(QByteArray(reinterpret_cast<const char*>(data), qsizetype(length)));

        // FFmpeg's own encoder at that quantiser.
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        ff::CodecContextPtr enc(avcodec_alloc_context3(codec));
        enc->width = size.width();
        enc->height = size.height();
        enc->time_base = {1, 25};
        enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = FF_QP2LAMBDA * qscale;
        QVERIFY(avcodec_open2(enc.get(), codec, nullptr) >= 0);
        ff::FramePtr frame(av_frame_alloc());
        frame->format = enc->pix_fmt;
        frame->width = size.width();
        frame->height = size.height();
        QVERIFY(av_frame_get_buffer(frame.get(), 0) >= 0);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? (size.height() + 1) / 2 : size.height()); ++y)
                std::memset(frame->data[p] + y * frame->linesize[p], 100, size_t(p ? size.width() / 2 : size.width()));
        frame->quality = enc->global_quality;
        frame->pts = 0;
        QVERIFY(avcodec_send_frame(enc.get(), frame.get()) >= 0);
        ff::PacketPtr pkt(av_packet_alloc());
        QVERIFY(avcodec_receive_packet(enc.get(), pkt.get()) >= 0);
        const QList<int> theirs = lumaTable(QByteArray(reinterpret_cast<const char*>(pkt->data), pkt->size));
        QCOMPARE(mine.size(), 64);
        QCOMPARE(mine, theirs);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(YuvJpegTest)
#include "yuvjpeg_test.moc"
