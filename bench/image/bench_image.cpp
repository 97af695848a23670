// Effects, JPEG output and bitmap writing on a 1920 × 1080 frame, each next to
// the plainest code doing the same amount of memory or library work.
#include "base/scripteddialogs.h"
#include "image/cdib.h"
#include "image/cdibsection.h"
#include "image/effects.h"
#include "image/jpegoutput.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdio>
#include <memory>

using namespace lv;

namespace {

constexpr int kW = 1920, kH = 1080;

QImage frameImage()
{
    QImage img(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kW; ++x)
            line[x] = qRgb((x / 4 + y / 8) & 0xff, (x * 3 / 16) & 0xff, ((x ^ y) / 8) & 0xff);
    }
    return img;
}

const PixelBuffer& framePixels()
{
    static const PixelBuffer p = PixelBuffer::fromImage(frameImage());
    return p;
}

const cDIBSection& frameSection()
{
    static const auto s = [] {
        auto sec = std::make_unique<cDIBSection>();
        sec->CreateFromPicture(frameImage());
        return sec;
    }();
    return *s;
}

QTemporaryDir& tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

// One plain pass: read every pixel of the source, write a changed pixel to the result.
void BM_PlainPass(benchmark::State& state)
{
    const PixelBuffer& src = framePixels();
    PixelBuffer dst(kW, kH);
    for (auto _ : state) {
        const std::int32_t* in = src.pixels.data();
        std::int32_t* out = dst.pixels.data();
        for (std::size_t i = 0, n = src.pixels.size(); i < n; ++i)
            out[i] = in[i] ^ 0x010101;
        benchmark::DoNotOptimize(dst.pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);

void BM_Effect(benchmark::State& state)
{
    const auto effect = Effect(state.range(0));
    state.SetLabel(effectProgressText(effect).toStdString());
    const PixelBuffer& src = framePixels();
    PixelBuffer dst(kW, kH);
    const UnitRandom random; // the editor's own generator
    int texts = 0;
    const ProgressFn progress = [&texts](const QString&) { ++texts; };
    for (auto _ : state) {
        applyEffect(effect, src, dst, progress, random);
        benchmark::DoNotOptimize(dst.pixels.data());
    }
}
BENCHMARK(BM_Effect)->DenseRange(0, 9)->Unit(benchmark::kMillisecond);

void BM_BareTjCompress2(benchmark::State& state)
{
    const cDIBSection& s = frameSection();
    tjhandle handle = tjInitCompress();
    for (auto _ : state) {
        unsigned char* out = nullptr;
        unsigned long size = 0;
        tjCompress2(handle, s.DIBSectionBitsPtr(), s.Width(), s.BytesPerScanLine(), s.Height(), TJPF_BGR, &out, &size,
                    TJSAMP_420, 90, TJFLAG_BOTTOMUP);
        benchmark::DoNotOptimize(out);
        tjFree(out);
    }
    tjDestroy(handle);
}
BENCHMARK(BM_BareTjCompress2)->Unit(benchmark::kMillisecond);

// The same plus the plainest file write over the previous picture (no
// protection against a failed write): what SaveJPG costs beyond that is the
// write-beside-and-rename.
void BM_TjCompress2PlainFile(benchmark::State& state)
{
    const cDIBSection& s = frameSection();
    const QByteArray path = tempDir().filePath(QStringLiteral("plain.jpg")).toLocal8Bit();
    tjhandle handle = tjInitCompress();
    for (auto _ : state) {
        unsigned char* out = nullptr;
        unsigned long size = 0;
        tjCompress2(handle, s.DIBSectionBitsPtr(), s.Width(), s.BytesPerScanLine(), s.Height(), TJPF_BGR, &out, &size,
                    TJSAMP_420, 90, TJFLAG_BOTTOMUP);
        std::FILE* f = std::fopen(path.constData(), "wb");
        std::fwrite(out, 1, size, f);
        std::fclose(f);
        tjFree(out);
    }
    tjDestroy(handle);
}
BENCHMARK(BM_TjCompress2PlainFile)->Unit(benchmark::kMillisecond);

void BM_SaveJPG(benchmark::State& state)
{
    const cDIBSection& s = frameSection();
    const QString path = tempDir().filePath(QStringLiteral("frame.jpg"));
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveJPG(s, path, 90));
}
BENCHMARK(BM_SaveJPG)->Unit(benchmark::kMillisecond);

// The editor's and the capture's way in: a drawn 32-bit picture.
void BM_SaveJPEGFile(benchmark::State& state)
{
    const QImage picture = frameImage();
    const QString path = tempDir().filePath(QStringLiteral("picture.jpg"));
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveJPEGFile(picture, path, 90));
}
BENCHMARK(BM_SaveJPEGFile)->Unit(benchmark::kMillisecond);

QByteArray packedFrame()
{
    const cDIBSection& s = frameSection();
    QByteArray packed(kInfoHeaderSize, '\0');
    writeInfoHeader(s.InfoHeader(), reinterpret_cast<unsigned char*>(packed.data()));
    packed.append(reinterpret_cast<const char*>(s.DIBSectionBitsPtr()), qsizetype(s.InfoHeader().biSizeImage));
    return packed;
}

void BM_PlainWrite(benchmark::State& state)
{
    QByteArray bytes(14, '\0');
    bytes += packedFrame();
    const QByteArray path = tempDir().filePath(QStringLiteral("plain.bmp")).toLocal8Bit();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.constData(), "wb");
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), f);
        std::fclose(f);
    }
}
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);

void BM_CDibWriteToFile(benchmark::State& state)
{
    const QByteArray packed = packedFrame();
    cDib dib;
    dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size()));
    const QString path = tempDir().filePath(QStringLiteral("dib.bmp"));
    for (auto _ : state)
        benchmark::DoNotOptimize(dib.WriteToFile(path));
}
BENCHMARK(BM_CDibWriteToFile)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    ScopedScriptedDialogs quiet; // a failing save must not wait for a click
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
