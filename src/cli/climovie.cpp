#include "cli/clicommandgroups.h"

#include "cli/clicommands.h"
#include "cli/clioutput.h"
#include "cli/interruption.h"
#include "image/bitmapfile.h"
#include "movie/avirepair.h"
#include "movie/frameextractor.h"
#include "movie/recompressor.h"
#include "movie/whatcodec.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <limits>

namespace lv::cli {

int runExtract(const Request& r, const Settings& s)
{
    const QString movie = r.operands[0];
    const QString target = r.operands[1];
    const PictureType type = requirePictureType(r, target);
    const int q = quality(r, s);
    const bool one = r.has(QStringLiteral("frame"));
    const int frameNumber = r.integer(QStringLiteral("frame"), 0, std::numeric_limits<int>::max(), 0);
    if (!QFileInfo(movie).isFile()) {
        printError(QStringLiteral("cannot open %1: no such file").arg(movie));
        return kExitFailure;
    }
    // "OUT.jpeg" is written as the Extract All window names its files: by the last three letters.
    if (!one && QFileInfo(target).suffix().size() != 3)
        throw UsageError{QStringLiteral("extract: \"%1\" must end in .jpg or .bmp").arg(target)};

    FrameExtractor extractor;
    int status = kExitOk;
    int written = 0;
    int unwritten = 0;
    bool saveFailed = false;
    Progress progress;
    QObject::connect(&extractor, &FrameExtractor::progress, qApp, [&](qint64 frame, qint64 last) {
        ++written;
        progress.show(savingFramesText(frame, last));
    });
    // The first failure says why; the rest are counted, not listed (a read-only
    // folder would otherwise give a line per frame).
    QObject::connect(&extractor, &FrameExtractor::jpegFailed, qApp,
                     [&](const QString& name, const QString& reason) {
                         if (unwritten++ == 0)
                             printError(QStringLiteral("cannot write %1: %2").arg(name, reason));
                         status = kExitFailure;
                     });
    QObject::connect(&extractor, &FrameExtractor::frameExtracted, qApp,
                     [&](const QByteArray& dib, qint64) {
                         const QImage image = imageFromPackedDib(dib);
                         if (image.isNull() || !savePicture(image, target, type, q)) {
                             saveFailed = true;
                             status = kExitFailure;
                         } else {
                             ++written;
                         }
                     });
    QObject::connect(&extractor, &FrameExtractor::finished, qApp,
                     [&](ExtractOutcome outcome, const QString& detail) {
                         if (unwritten > 1)
                             printError(QStringLiteral("%1 of %2 pictures could not be written").arg(unwritten).arg(written));
                         if (outcome == ExtractOutcome::Error) {
                             printError(detail.isEmpty() ? QStringLiteral("cannot read ") + movie : detail);
                             status = kExitFailure;
                         } else if (saveFailed) {
                             // savePicture said why; the frame itself was there.
                         } else if (outcome == ExtractOutcome::Quiet || (one && written == 0)) {
                             printError(one ? QStringLiteral("%1 has no frame %2").arg(movie).arg(frameNumber)
                                            : QStringLiteral("%1 has no frames that can be decoded").arg(movie));
                             status = kExitFailure;
                         }
                         QCoreApplication::exit(0);
                     });
    // The extractor finishes the picture at hand (no half-written file stays) and stops.
    const Interruption interruption([&extractor](int) { extractor.cancel(); });
    const bool started = one ? extractor.extractOne(movie, frameNumber) : extractor.extractAll(movie, target, q);
    if (!started)
        return kExitFailure;
    QCoreApplication::exec();
    progress.done();
    if (interruption.signal() != 0) {
        printError(QStringLiteral("extract interrupted; %1 frames written").arg(written));
        return interruption.exitStatus();
    }
    if (!one && written - unwritten > 0 && status != kExitOk)
        printError(QStringLiteral("%1 frames written").arg(written - unwritten));
    if (status == kExitOk && !one)
        printOut(QStringLiteral("%1 frames").arg(written));
    return status;
}

int runRecompress(const Request& r, const Settings& s)
{
    if (!r.has(QStringLiteral("codec")))
        throw UsageError{QStringLiteral("recompress needs --codec NAME (an FFmpeg encoder such as mjpeg)")};
    RecompressOptions options;
    options.encoder = r.text(QStringLiteral("codec"));
    options.quality = quality(r, s);
    Progress progress;
    // On a worker, so that the event loop hears an interruption; a cancelled
    // run removes its unfinished files.
    Recompression job;
    RecompressResult result;
    QObject::connect(&job, &Recompression::progress, qApp,
                     [&progress](int p) { progress.show(QStringLiteral("Recompressing... %1%").arg(p)); });
    QObject::connect(&job, &Recompression::finished, qApp, [&result](const RecompressResult& done) {
        result = done;
        QCoreApplication::exit(0);
    });
    const Interruption interruption([&job](int) { job.cancel(); });
    job.start(r.operands[0], r.operands[1], options);
    QCoreApplication::exec();
    progress.done();
    if (result.status == RecompressResult::Status::Cancelled) {
        printError(QStringLiteral("recompress interrupted; nothing written"));
        return interruption.exitStatus();
    }
    if (result.status != RecompressResult::Status::Recompressed) {
        printError(result.error.isEmpty() ? QStringLiteral("recompression failed") : result.error);
        return kExitFailure;
    }
    printOut(result.output);
    if (!result.soundFile.isEmpty())
        printOut(result.soundFile);
    return kExitOk;
}

int runWhatCodec(const Request& r)
{
    // A missing or wrong catalogue says so through the dialogs: on stderr.
    const CodecAnswer answer = answerWhatCodec(r.operands[0]);
    // The message box's line ends become the terminal's.
    const QString text = QString(answer.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (answer.known)
        printOut(text);
    else
        printError(text);
    return answer.known ? kExitOk : kExitFailure;
}

// Without names: the recordings listed as unfinished; with names: those files.
int runRepair(const Request& r)
{
    if (r.operands.isEmpty()) {
        const QStringList lines = AviRepair::repairLeftovers(true);
        for (const QString& line : lines)
            printError(line);
        if (lines.isEmpty())
            printError(QStringLiteral("no unfinished recordings"));
        return kExitOk;
    }
    int status = kExitOk;
    for (const QString& name : r.operands) {
        const AviRepair::Result res = AviRepair::repair(name);
        switch (res.before) {
        case AviRepair::State::Missing:
            printError(QStringLiteral("cannot open %1: no such file").arg(name));
            status = kExitFailure;
            break;
        case AviRepair::State::NotAvi:
            printError(QStringLiteral("cannot repair %1: %2").arg(name, res.error));
            status = kExitFailure;
            break;
        case AviRepair::State::Finished:
            printError(QStringLiteral("%1 is finished; nothing to repair").arg(name));
            AviRepair::markFinished(name);
            break;
        case AviRepair::State::Busy:
        case AviRepair::State::Unfinished:
            printError(AviRepair::statusText(name, res));
            if (!res.repaired) {
                status = kExitFailure;
                break;
            }
            AviRepair::markFinished(name);
            break;
        }
    }
    return status;
}

} // namespace lv::cli
