#include "cli/clicommandgroups.h"

#include "cli/clicommands.h"
#include "cli/clioutput.h"
#include "image/bitmapfile.h"
#include "image/effects.h"

#include <utility>

namespace lv::cli {

namespace {

Effect effectNamed(const QString& name)
{
    static const std::pair<const char*, Effect> names[] = {
        {"flip-horizontal", Effect::FlipHorizontal}, {"flip-vertical", Effect::FlipVertical},
        {"grayscale", Effect::Grayscaling},          {"invert", Effect::Inverting},
        {"soften", Effect::Softening},               {"sharpen", Effect::Sharpening},
        {"diffuse", Effect::Diffusing},              {"emboss", Effect::Embossing},
        {"lighting", Effect::Lighting},              {"solarize", Effect::Solarizing},
    };
    QStringList known;
    for (const auto& [n, e] : names) {
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return e;
        known << QLatin1String(n);
    }
    throw UsageError{QStringLiteral("effect: unknown effect \"%1\" (one of: %2)").arg(name, known.join(QStringLiteral(", ")))};
}

} // namespace

int runEffect(const Request& r, const Settings& s)
{
    const Effect effect = effectNamed(r.operands[0]);
    const QString in = r.operands[1];
    const QString out = r.operands[2];
    const PictureType type = requirePictureType(r, out);
    const int q = quality(r, s);
    const PictureLoad load = LoadPictureChecked(in);
    const QImage& picture = load.image;
    if (picture.isNull()) {
        printError(QStringLiteral("cannot read %1 as a bitmap or JPEG picture: %2").arg(in, load.error));
        return kExitFailure;
    }
    Progress progress;
    const PixelBuffer result = runEffect(effect, PixelBuffer::fromImage(picture), [&progress](const QString& text) {
        progress.show(text);
    });
    progress.done();
    return savePicture(result.toImage(), out, type, q) ? kExitOk : kExitFailure;
}

} // namespace lv::cli
