#include "image/jpegoutput.h"

#include "image/cdibsection.h"
#include "image/imagelog.h"
#include "image/replacefile.h"


#include <turbojpeg.h>

#include <algorithm>
#include <memory>

namespace lv {

namespace {

struct TjHandleDeleter {
    void operator()(void* h) const { tjDestroy(h); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;

struct TjBufferDeleter {
    void operator()(unsigned char* p) const { tjFree(p); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferDeleter>;

FileResult failedToSave() { return FileResult::failure(QStringLiteral("Failed to save to JPG"), MessageIcon::Warning); }

// Compresses rows of `pixelFormat` pixels and writes them; the messages are SaveJPG's.
FileResult compressToFile(const unsigned char* bits, int width, int pitch, int height, int pixelFormat, int flags,
                    const QString& fileName, int quality)
{
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    TjHandle handle(tjInitCompress());
    if (!handle) {
        // TurboJPEG gives no number for a failed start; -1 stands for it.
        qCWarning(lcImage) << "tjInitCompress failed:" << tjGetErrorStr2(nullptr);
        return FileResult::failure(QStringLiteral("Failed to initialise the IJL library: -1"), MessageIcon::Warning);
    }
    if (!bits) {
        return failedToSave();
    }
    const int rc = tjCompress2(handle.get(), bits, width, pitch, height, pixelFormat, &out, &outSize, TJSAMP_420,
                               std::clamp(quality, 1, 100), flags);
    TjBuffer jpeg(out);
    if (rc != 0) {
        qCWarning(lcImage) << "tjCompress2 failed:" << tjGetErrorStr2(handle.get());
        return failedToSave();
    }

    // Written beside the target and renamed over it, so a failed write never
    // leaves half a picture where the last good one was.
    if (const FileResult written = writeFileReplacing(fileName, {QByteArrayView(jpeg.get(), qsizetype(outSize))});
        !written) {
        qCWarning(lcImage) << "writing" << fileName << "failed:" << written.reason();
        return failedToSave().because(written.reason());
    }
    return {};
}

// The largest side a section takes; larger pictures fail as they always did.
constexpr int kLargestSectionSide = 16384;

} // namespace

FileResult SaveJPG(const cDIBSection& section, const QString& fileName, int quality)
{
    return compressToFile(section.IsReady() ? section.DIBSectionBitsPtr() : nullptr, section.Width(),
                          section.BytesPerScanLine(), section.Height(), TJPF_BGR, TJFLAG_BOTTOMUP, fileName, quality);
}

FileResult SaveJPEGFile(const QImage& picture, const QString& fileName, int quality, const StatusSink& status)
{
    FileResult written;
    if (!picture.isNull() && picture.width() <= kLargestSectionSide && picture.height() <= kLargestSectionSide) {
        // TurboJPEG reads 32-bit rows as they are: the same pixels as through a
        // 24-bit section, without building one.
        const QImage rgb = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
            ? picture
            : picture.convertToFormat(QImage::Format_RGB32);
        written = compressToFile(rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                                 Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB, 0, fileName, quality);
    } else {
        cDIBSection section;
        section.CreateFromPicture(picture);
        written = SaveJPG(section, fileName, quality);
    }
    if (!written && status)
        status(QStringLiteral("Error writing ") + fileName + QStringLiteral("JPEG File."));
    return written;
}

} // namespace lv
