#include "image/jpegoutput.h"

#include "base/dialogs.h"
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

void failedToSave()
{
    dialogs().message(QStringLiteral("Failed to save to JPG"), Dialogs::Icon::Warning);
}

} // namespace

bool SaveJPG(const cDIBSection& section, const QString& fileName, int quality)
{
    TjHandle handle(tjInitCompress());
    if (!handle) {
        // TurboJPEG gives no number for a failed start; -1 stands for it.
        qCWarning(lcImage) << "tjInitCompress failed:" << tjGetErrorStr2(nullptr);
        dialogs().message(QStringLiteral("Failed to initialise the IJL library: -1"), Dialogs::Icon::Warning);
        return false;
    }
    if (!section.IsReady()) {
        failedToSave();
        return false;
    }

    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int rc = tjCompress2(handle.get(), section.DIBSectionBitsPtr(), section.Width(), section.BytesPerScanLine(),
                               section.Height(), TJPF_BGR, &out, &outSize, TJSAMP_420, std::clamp(quality, 1, 100),
                               TJFLAG_BOTTOMUP);
    TjBuffer jpeg(out);
    if (rc != 0) {
        qCWarning(lcImage) << "tjCompress2 failed:" << tjGetErrorStr2(handle.get());
        failedToSave();
        return false;
    }

    // Written beside the target and renamed over it, so a failed write never
    // leaves half a picture where the last good one was.
    QString error;
    if (!writeFileReplacing(fileName, {QByteArrayView(jpeg.get(), qsizetype(outSize))}, &error)) {
        qCWarning(lcImage) << "writing" << fileName << "failed:" << error;
        failedToSave();
        return false;
    }
    return true;
}

bool SaveJPEGFile(const QImage& picture, const QString& fileName, int quality, const StatusSink& status)
{
    cDIBSection section;
    section.CreateFromPicture(picture);
    if (SaveJPG(section, fileName, quality))
        return true;
    if (status)
        status(QStringLiteral("Error writing ") + fileName + QStringLiteral("JPEG File."));
    return false;
}

} // namespace lv
