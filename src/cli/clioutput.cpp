#include "cli/clioutput.h"

#include "image/bitmapfile.h"
#include "image/jpegoutput.h"

#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace lv::cli {

void printError(const QString& text)
{
    std::fprintf(stderr, "lumivark-cli: %s\n", qPrintable(text));
}

void printOut(const QString& text) { std::fprintf(stdout, "%s\n", qPrintable(text)); }

Progress::Progress() : m_tty(isatty(STDERR_FILENO) == 1) {}

void Progress::show(const QString& text)
{
    if (!m_tty)
        return;
    std::fprintf(stderr, "\r%-70s", qPrintable(text.left(70)));
    std::fflush(stderr);
    m_shown = true;
}

void Progress::done()
{
    if (m_shown)
        std::fprintf(stderr, "\n");
    m_shown = false;
}

std::optional<PictureType> pictureTypeOf(const QString& name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return PictureType::Jpeg;
    if (suffix == QLatin1String("bmp"))
        return PictureType::Bmp;
    return std::nullopt;
}

PictureType requirePictureType(const Request& r, const QString& name)
{
    const auto t = pictureTypeOf(name);
    if (!t)
        throw UsageError{QStringLiteral("%1: \"%2\" must end in .jpg or .bmp").arg(r.command, name)};
    return *t;
}

bool savePicture(const QImage& picture, const QString& name, PictureType type, int quality)
{
    if (type == PictureType::Jpeg) {
        const FileResult saved = SaveJPEGFile(picture, name, quality);
        if (!saved)
            printError(saved.reason().isEmpty() ? QStringLiteral("cannot write %1: %2").arg(name, saved.message())
                                                : QStringLiteral("cannot write %1: %2").arg(name, saved.reason()));
        return saved.ok();
    }
    const FileResult saved = SavePictureAsBitmap(picture, name);
    if (!saved)
        printError(QStringLiteral("cannot write %1: %2").arg(name, saved.reason()));
    return saved.ok();
}

int quality(const Request& r, const Settings& s) { return r.integer(QStringLiteral("quality"), 1, 100, s.quality); }

} // namespace lv::cli
