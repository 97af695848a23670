// Camera buffer -> RGB888 per frame: libswscale (with libavcodec's JPEG
// decoder) next to libv4lconvert, for YUYV and Motion JPEG at two sizes.
#include "capture/testpattern.h"
#include "capture/v4l2/frameconverter.h"

#include <QBuffer>
#include <QImage>
#include <benchmark/benchmark.h>
#include <linux/videodev2.h>

extern "C" {
#include <libavutil/log.h>
}

using lv::v4l2::FrameConverter;

namespace {

QImage pattern(QSize size)
{
    lv::TestPatternSettings s;
    s.size = size;
    return lv::TestPattern::render(17, s).convertToFormat(QImage::Format_RGB888);
}

// Studio-range BT.601 YUYV of an RGB picture.
QByteArray yuyvOf(const QImage& img)
{
    QByteArray out(img.width() * img.height() * 2, 0);
    auto* o = reinterpret_cast<uint8_t*>(out.data());
    for (int y = 0; y < img.height(); ++y) {
        const uchar* p = img.constScanLine(y);
        for (int x = 0; x < img.width(); x += 2) {
            int yy[2], u = 0, v = 0;
            for (int k = 0; k < 2; ++k) {
                const int r = p[(x + k) * 3], g = p[(x + k) * 3 + 1], b = p[(x + k) * 3 + 2];
                yy[k] = 16 + (66 * r + 129 * g + 25 * b + 128) / 256;
                u += 128 + (-38 * r - 74 * g + 112 * b + 128) / 256;
                v += 128 + (112 * r - 94 * g - 18 * b + 128) / 256;
            }
            *o++ = uint8_t(yy[0]);
            *o++ = uint8_t(u / 2);
            *o++ = uint8_t(yy[1]);
            *o++ = uint8_t(v / 2);
        }
    }
    return out;
}

QByteArray jpegOf(const QImage& img)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG", 80);
    return bytes;
}

void convert(benchmark::State& state, uint32_t fourcc, FrameConverter::Engine engine)
{
    av_log_set_level(AV_LOG_ERROR);
    const QSize size(int(state.range(0)), int(state.range(1)));
    const QImage img = pattern(size);
    const QByteArray input = fourcc == V4L2_PIX_FMT_YUYV ? yuyvOf(img) : jpegOf(img);
    FrameConverter conv(engine);
    QImage out;
    for (auto _ : state) {
        if (!conv.convert(fourcc, size, 0, reinterpret_cast<const uint8_t*>(input.constData()),
                          size_t(input.size()), &out)) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(out.constBits());
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Yuyv_Swscale(benchmark::State& s) { convert(s, V4L2_PIX_FMT_YUYV, FrameConverter::Engine::Swscale); }
void BM_Yuyv_V4lConvert(benchmark::State& s) { convert(s, V4L2_PIX_FMT_YUYV, FrameConverter::Engine::V4lConvert); }
void BM_Mjpeg_Swscale(benchmark::State& s) { convert(s, V4L2_PIX_FMT_MJPEG, FrameConverter::Engine::Swscale); }
void BM_Mjpeg_V4lConvert(benchmark::State& s) { convert(s, V4L2_PIX_FMT_MJPEG, FrameConverter::Engine::V4lConvert); }

} // namespace

#define SIZES ->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Yuyv_Swscale) SIZES;
BENCHMARK(BM_Yuyv_V4lConvert) SIZES;
BENCHMARK(BM_Mjpeg_Swscale) SIZES;
BENCHMARK(BM_Mjpeg_V4lConvert) SIZES;

BENCHMARK_MAIN();
