#include "cli/clicommandgroups.h"

#include "capture/capturesession.h"
#include "cli/clicommands.h"
#include "cli/clidevice.h"
#include "cli/clioutput.h"
#include "modes/captureprogram.h"
#include "modes/seriesnaming.h"
#include "net/ftpupload.h"
#include "net/serveraddress.h"
#include "net/seriesuploader.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <memory>

namespace lv::cli {

namespace {

// Where a series sends its pictures: the FTP options over the parameters
// file's Internet Settings (when that file sends to a server). nullopt when
// the pictures stay at home.
std::optional<FtpSettings> ftpOf(const Request& r, const Settings& s)
{
    const QByteArray passwordVariable = qgetenv("LUMIVARK_FTP_PASSWORD");
    for (const QString& o : kFtpOptions) {
        if (r.has(o) && FtpSettings::hasControlCharacter(r.text(o)))
            throw UsageError{QStringLiteral("series: --%1 must not hold control characters (line breaks, tabs, NUL)").arg(o)};
    }
    const bool fromFile = s.fromFile && s.sendToFtp && !s.ftp.server.trimmed().isEmpty();
    if (!r.has(QStringLiteral("ftp-url")) && !fromFile) {
        for (const QString& o : kFtpOptions) {
            if (r.has(o))
                throw UsageError{QStringLiteral("series: --%1 needs --ftp-url SERVER (or a parameters file that "
                                                "sends to an FTP server)")
                                     .arg(o)};
        }
        return std::nullopt;
    }
    FtpSettings f = fromFile ? s.ftp : FtpSettings{};
    if (r.has(QStringLiteral("ftp-url"))) {
        f.server = r.text(QStringLiteral("ftp-url"));
        if (f.server.trimmed().isEmpty())
            throw UsageError{QStringLiteral("series: --ftp-url needs a server name or address")};
    }
    f.port = static_cast<uint16_t>(r.integer(QStringLiteral("ftp-port"), 1, 65535, f.port == 0 ? 21 : f.port));
    f.userName = r.text(QStringLiteral("ftp-user"), f.userName);
    // Kept out of the process list: the variable, else the file.
    if (r.has(QStringLiteral("ftp-password"))) {
        f.password = r.text(QStringLiteral("ftp-password"));
    } else if (!passwordVariable.isNull()) {
        f.password = QString::fromLocal8Bit(passwordVariable);
        if (FtpSettings::hasControlCharacter(f.password))
            throw UsageError{QStringLiteral("series: LUMIVARK_FTP_PASSWORD must not hold control characters")};
    }
    f.directory = r.text(QStringLiteral("ftp-dir"), f.directory);
    if (const ServerAddress a = ServerAddress::parse(f.server, f.port, f.directory); !a.ok())
        throw UsageError{QStringLiteral("series: --ftp-url: ") + a.error};
    return f;
}

// The upload's options: the settings store's, with the key and CA file of
// the command line.
FtpUpload::Options ftpOptionsOf(const Request& r)
{
    FtpUpload::Options o = FtpUpload::storedOptions();
    o.keyFile = r.text(QStringLiteral("ftp-key"), o.keyFile);
    o.caFile = r.text(QStringLiteral("ftp-ca"), o.caFile);
    return o;
}

} // namespace

// Interval or motion series of numbered pictures, run by the same capture
// program as the main window's series. With an FTP server each picture is
// sent as the window sends it, and the series waits for each upload to end.
// The first failed upload ends the series (the pictures stay on disk).
int runSeries(const Request& r, const Settings& s)
{
    const QString base = r.operands[0];
    const PictureType type = requirePictureType(r, base);
    const bool byMotion = r.has(QStringLiteral("motion"));
    if (byMotion && r.has(QStringLiteral("interval")))
        throw UsageError{QStringLiteral("series: give --interval or --motion, not both")};
    const bool byInterval = r.has(QStringLiteral("interval")) || (!byMotion && s.trigger == TriggerKind::Timer);
    if (!byMotion && !byInterval)
        throw UsageError{QStringLiteral("series needs --interval SECONDS or --motion PERCENT")};
    const int interval = r.integer(QStringLiteral("interval"), 1, 86400, std::max(1, s.interval));
    const int sensitivity = r.integer(QStringLiteral("motion"), 0, 100, 10);
    const int count = r.integer(QStringLiteral("count"), 1, kHighestSeriesNumber, 0);
    const int duration = r.integer(QStringLiteral("duration"), 1, 365 * 86400, 0);
    if (byMotion && duration == 0)
        throw UsageError{QStringLiteral("series: --motion needs --duration SECONDS")};
    if (!byMotion && count == 0 && duration == 0)
        throw UsageError{QStringLiteral("series: --interval needs --count N or --duration SECONDS")};
    const StampSettings stamps = stampsOf(r, s);
    const int q = quality(r, s);
    const std::optional<FtpSettings> ftp = ftpOf(r, s);

    CaptureModel model;
    model.preferences().JpegQuality = q;
    model.preferences().MotionSensitivity = static_cast<int16_t>(sensitivity);
    model.edit([&](CaptureSettings& c) {
        c.Filename = base;
        c.TimeColor = stamps.timeColor;
        c.DateColor = stamps.dateColor;
        c.TextColor = stamps.textColor;
        c.Capture = CaptureKind::MultipleImage;
        c.MultipleImageType =
            static_cast<int16_t>(type == PictureType::Jpeg ? SeriesType::NumberedJpeg : SeriesType::NumberedBitmap);
        c.Trigger = byMotion ? TriggerKind::Motion : TriggerKind::Timer;
        c.Interval = interval;
        c.SeriesStamps = panelOf(stamps);
        c.SeriesAviInfo = false;
        c.SendToFTPServer = ftp.has_value();
    });

    CaptureSession session;
    if (!openDevice(session, r, s))
        return kExitFailure;
    if (!firstFrame(session))
        return kExitFailure;
    RunRecord run;
    CaptureProgram program(model, run);
    program.setSession(&session);

    int shots = 0;
    int status = kExitOk;
    Progress progress;
    std::unique_ptr<SeriesUploader> uploader;
    QString lastFailure;
    int uploaded = 0;
    bool over = false;   // nothing counts after this, not even a shot stored in the same turn
    bool ending = false; // the series is over once the uploader has tried what waits
    auto quit = [&] {
        over = true;
        program.stopSeries();
        QCoreApplication::exit(0);
    };
    auto fail = [&](const QString& text) {
        if (over)
            return;
        progress.done();
        printError(text);
        status = kExitFailure;
        quit();
    };
    // The last picture is in; the uploader tries once more what waits.
    auto finish = [&] {
        program.stopSeries();
        if (!uploader) {
            quit();
            return;
        }
        ending = true;
        uploader->sendWaiting(); // idle() or failed() follows
    };
    if (ftp) {
        uploader = std::make_unique<SeriesUploader>(*ftp, SeriesUploader::defaultSpoolRoot(),
                                                    qint64(SeriesUploader::spoolLimitMegabytes()) * 1024 * 1024);
        uploader->setOptions(ftpOptionsOf(r));
        QObject::connect(uploader.get(), &SeriesUploader::sent, qApp, [&] { ++uploaded; });
        QObject::connect(uploader.get(), &SeriesUploader::idle, qApp, [&] {
            if (ending)
                quit();
        });
        QObject::connect(uploader.get(), &SeriesUploader::failed, qApp,
                         [&](const QString& name, const QString& error, bool temporary) {
                             const QString reason = error.startsWith(QLatin1String("Error:")) ? error.mid(6) : error;
                             lastFailure = QStringLiteral("cannot upload %1: %2").arg(name, reason);
                             // A refusal ends the series; a server that is away gets the pictures later.
                             if (!temporary)
                                 fail(lastFailure);
                             else if (ending)
                                 quit();
                             else
                                 progress.show(lastFailure);
                         });
        QObject::connect(uploader.get(), &SeriesUploader::dropped, qApp,
                         [&](const QString&, const QString& reason) { printError(reason); });
        if (progress.active())
            QObject::connect(uploader.get(), &SeriesUploader::uploadStarted, qApp,
                             [&](FtpUpload* up, const QString& name) {
                                 QObject::connect(up, &FtpUpload::statusChanged, qApp, [&progress, name](const QString& text) {
                                     progress.show(QStringLiteral("Uploading %1: %2").arg(name, text));
                                 });
                             });
        program.upload = [&](const QString& file, const QString& remoteName) {
            uploader->add(file, FtpUpload::RemoteNameFor(file, remoteName));
        };
        program.uploadRunning = [&] { return uploader->isSending(); };
    }

    QObject::connect(&model, &CaptureModel::statusChanged, qApp, [&] {
        if (!over)
            progress.show(model.statusText());
    });
    // The file layer's message follows the status line's, as a window shows
    // the status and then its message box.
    QString fileMessage;
    QObject::connect(&program, &CaptureProgram::fileFailed, qApp,
                     [&](const FileResult& result) { fileMessage = result.message(); });
    QObject::connect(&program, &CaptureProgram::shotFailed, qApp, [&](const QString& reason) {
        if (over)
            return;
        fail(reason);
        if (!fileMessage.isEmpty())
            printError(fileMessage);
    });
    QObject::connect(&program, &CaptureProgram::motionFailed, qApp,
                     [&] { fail(QStringLiteral("the motion detector got no picture")); });
    QObject::connect(&program, &CaptureProgram::pictureShot, qApp, [&](const QImage&, const QString& name) {
        if (over || ending)
            return;
        ++shots;
        progress.show(imageNumberStatus(run.ImageCount) + QStringLiteral(" ") + name);
        // After the program has handed the picture to its upload.
        if (count > 0 && shots >= count) {
            program.stopSeries();
            QMetaObject::invokeMethod(qApp, finish, Qt::QueuedConnection);
        }
    });
    QObject::connect(&session, &CaptureSession::deviceLost, qApp,
                     [&](const QString& reason) { fail(QStringLiteral("device lost: ") + reason); });
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, qApp, finish);
    program.startSeries();
    if (duration > 0)
        end.start(duration * 1000);
    QCoreApplication::exec();
    program.stopSeries();
    if (uploader) {
        // After a failure elsewhere: nothing goes on behind the exit.
        QObject::disconnect(uploader.get(), nullptr, qApp, nullptr);
        uploader->stop();
    }
    progress.done();
    if (status == kExitOk) {
        printOut(QStringLiteral("%1 pictures").arg(shots));
        if (uploader)
            printOut(QStringLiteral("%1 uploaded to %2").arg(uploaded).arg(ftp->server));
        if (uploader && uploader->waiting() > 0) {
            printError(lastFailure);
            printError(QStringLiteral("%1 in %2; the next series to this server sends them first")
                           .arg(uploader->waitingText(), QDir::toNativeSeparators(uploader->spoolFolder())));
            status = kExitFailure;
        }
    }
    return status;
}

} // namespace lv::cli
