#include "cli/clicommands.h"

#include "base/dialogs.h"
#include "capture/capturesession.h"
#include "capture/drivercatalogue.h"
#include "capture/testpatterndriver.h"
#include "image/bitmapfile.h"
#include "image/drawnpicture.h"
#include "image/effects.h"
#include "image/jpegoutput.h"
#include "image/stamping.h"
#include "modes/captureprogram.h"
#include "modes/movierecording.h"
#include "modes/seriesnaming.h"
#include "net/ftpupload.h"
#include "net/serveraddress.h"
#include "net/seriesuploader.h"
#include "movie/avirepair.h"
#include "movie/codeccatalogue.h"
#include "movie/frameextractor.h"
#include "movie/moviecodeccheck.h"
#include "movie/recompressor.h"
#include "cli/cliparams.h"
#include "cli/interruption.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace lv::cli {

namespace {

void printError(const QString& text)
{
    std::fprintf(stderr, "lumivark-cli: %s\n", qPrintable(text));
}

void printOut(const QString& text) { std::fprintf(stdout, "%s\n", qPrintable(text)); }

// A progress line, rewritten in place, only when a person watches.
class Progress {
public:
    Progress() : m_tty(isatty(STDERR_FILENO) == 1) {}
    ~Progress() { done(); }
    bool active() const { return m_tty; }
    void show(const QString& text)
    {
        if (!m_tty)
            return;
        std::fprintf(stderr, "\r%-70s", qPrintable(text.left(70)));
        std::fflush(stderr);
        m_shown = true;
    }
    void done()
    {
        if (m_shown)
            std::fprintf(stderr, "\n");
        m_shown = false;
    }

private:
    bool m_tty;
    bool m_shown = false;
};

// Nothing below the windows asks for a dialog (the file layers return their
// messages, which are printed); should one still be asked for, its text goes
// to stderr and every question is answered "no".
class StderrDialogs final : public Dialogs {
public:
    Answer message(const QString& text, Icon, Buttons buttons, const QString&, QWidget*) override
    {
        printError(text);
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    QString openFile(const QString&, const QString&, const QString&, QWidget*) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, QWidget*) override { return {}; }
    std::optional<QColor> chooseColor(const QColor&, QWidget*) override { return std::nullopt; }
};

enum class PictureType { Bmp, Jpeg };

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

// --- capture ---

// The stamps as the options and the parameters file ask.
StampSettings stampsOf(const Request& r, const Settings& s)
{
    StampSettings st = s.stampsFor(r.command);
    if (r.has(QStringLiteral("time"))) {
        st.timeOn = true;
        st.timePosition = r.position(QStringLiteral("time"), 0);
    }
    if (r.has(QStringLiteral("date"))) {
        st.dateOn = true;
        st.datePosition = r.position(QStringLiteral("date"), 0);
    }
    if (r.has(QStringLiteral("text-pos")) && !r.has(QStringLiteral("text")))
        throw UsageError{QStringLiteral("%1: --text-pos needs --text").arg(r.command)};
    if (r.has(QStringLiteral("text"))) {
        st.textOn = true;
        st.text = r.text(QStringLiteral("text"));
        st.textPosition = r.position(QStringLiteral("text-pos"), st.textPosition);
    }
    return st;
}

QImage stamped(const QImage& frame, const StampSettings& stamps, int imageNumber)
{
    DrawnPicture picture;
    picture.setFrame(frame);
    StampImage(picture, stamps, imageNumber);
    return picture.drawnImage();
}

// Runs the event loop until the device list is complete (in a sandbox, the
// camera portal has answered), so a device index means what it meant when saved.
void awaitDeviceList()
{
    auto complete = std::make_shared<bool>(false);
    whenCatalogueComplete(qApp, [complete] {
        *complete = true;
        QCoreApplication::exit(0);
    });
    if (!*complete) // not answered at once
        QCoreApplication::exec();
}

// Opens the device of the options with the size, rate and pattern they ask.
bool openDevice(CaptureSession& session, const Request& r, const Settings& s, int rate = 0)
{
    const int index = r.integer(QStringLiteral("device"), 0, 999, s.device);
    const QSize size = r.size(QStringLiteral("size"), QSize());
    const bool still = r.has(QStringLiteral("still"));
    awaitDeviceList();
    QString refused;
    const bool opened = session.open(index, [&](CaptureDriver& d) {
        if (auto* pattern = dynamic_cast<TestPatternDriver*>(&d)) {
            TestPatternSettings ts = pattern->settings();
            if (size.isValid())
                ts.size = size;
            if (rate > 0)
                ts.rate = std::clamp(rate, TestPattern::kMinRate, TestPattern::kMaxRate);
            ts.still = still;
            pattern->setSettings(ts);
        } else if (size.isValid() && d.frameSize() != size) {
            // A camera keeps the format chosen in its format dialog.
            refused = QStringLiteral("device %1 delivers %2x%3; choose its size in lumivark's Video Format dialog")
                          .arg(index)
                          .arg(d.frameSize().width())
                          .arg(d.frameSize().height());
        }
    });
    if (!opened) {
        printError(session.errorText());
        return false;
    }
    if (!refused.isEmpty()) {
        printError(refused);
        session.close();
        return false;
    }
    return true;
}

// Runs the event loop until the session's first frame (or a give-up after
// 10 seconds, or a lost device). Returns the frame, null on failure.
FramePtr firstFrame(CaptureSession& session)
{
    QString lost;
    QObject::connect(&session, &CaptureSession::deviceLost, qApp, [&lost](const QString& reason) { lost = reason; });
    FramePtr frame;
    bool answered = false;
    session.whenFrame(qApp, 10000, [&](FramePtr f) {
        frame = std::move(f);
        answered = true;
        QCoreApplication::exit(0);
    });
    if (!answered) // not handed over at once
        QCoreApplication::exec();
    QObject::disconnect(&session, nullptr, qApp, nullptr);
    if (!frame)
        printError(lost.isEmpty() ? QStringLiteral("the device delivered no picture within 10 seconds")
                                  : QStringLiteral("device lost: ") + lost);
    return frame;
}

int runSnapshot(const Request& r, const Settings& s)
{
    const QString out = r.operands[0];
    const PictureType type = requirePictureType(r, out);
    const StampSettings stamps = stampsOf(r, s);
    const int q = quality(r, s);
    CaptureSession session;
    if (!openDevice(session, r, s))
        return kExitFailure;
    const FramePtr frame = firstFrame(session);
    if (!frame)
        return kExitFailure;
    return savePicture(stamped(frame->picture(), stamps, 1), out, type, q) ? kExitOk : kExitFailure;
}

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

AudioFormat audioOf(const Request& r, const Settings& s)
{
    AudioFormat a = s.audio;
    if (r.has(QStringLiteral("audio"))) {
        const QStringList parts = r.text(QStringLiteral("audio")).split(QLatin1Char(':'));
        bool ok = parts.size() == 3;
        const uint rate = ok ? parts[0].toUInt(&ok) : 0;
        const uint bits = ok ? parts[1].toUInt(&ok) : 0;
        const uint channels = ok ? parts[2].toUInt(&ok) : 0;
        // The formats the recorder takes.
        if (!ok || rate < 1000 || rate > 48000 || (bits != 8 && bits != 16) || (channels != 1 && channels != 2))
            throw UsageError{QStringLiteral("record: --audio must be RATE:BITS:CHANNELS with RATE 1000-48000, "
                                            "BITS 8 or 16, CHANNELS 1 or 2, not \"%1\"")
                                 .arg(r.text(QStringLiteral("audio")))};
        a.nSamplesPerSec = rate;
        a.wBitsPerSample = static_cast<uint16_t>(bits);
        a.nChannels = static_cast<uint16_t>(channels);
    }
    a.nBlockAlign = static_cast<uint16_t>(a.nChannels * a.wBitsPerSample / 8);
    a.nAvgBytesPerSec = a.nSamplesPerSec * a.nBlockAlign;
    return a;
}

// Recordings a crash or a kill left unfinished, mended before this one
// starts (the window does the same at its start); what was done goes to stderr.
void repairLeftovers()
{
    for (const QString& line : AviRepair::repairLeftovers())
        printError(line);
}

int runRecord(const Request& r, const Settings& s)
{
    const QString out = r.operands[0];
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("avi") && suffix != QLatin1String("mkv") && suffix != QLatin1String("mp4"))
        throw UsageError{QStringLiteral("record: \"%1\" must end in .avi, .mkv or .mp4").arg(out)};
    const MovieContainer container = containerForFile(out);
    const QString soundCodec = r.text(QStringLiteral("sound-codec"), QStringLiteral("aac")).toLower();
    if (soundCodec != QLatin1String("aac") && soundCodec != QLatin1String("pcm"))
        throw UsageError{QStringLiteral("record: --sound-codec must be aac or pcm, not \"%1\"").arg(soundCodec)};
    if (r.has(QStringLiteral("sound-codec")) && container == MovieContainer::Avi)
        throw UsageError{QStringLiteral("record: --sound-codec is for .mkv and .mp4 (AVI stores PCM)")};
    if (soundCodec == QLatin1String("pcm") && container != MovieContainer::Matroska)
        throw UsageError{QStringLiteral("record: an MP4 file holds AAC sound only")};
    // A parameters file may give the movie's length; otherwise the command line must.
    if (!r.has(QStringLiteral("duration")) && !(s.fromFile && s.limit && s.durationSeconds > 0))
        throw UsageError{QStringLiteral("record needs --duration SECONDS")};
    const int duration = r.integer(QStringLiteral("duration"), 1, 24 * 3600, std::max(1, s.durationSeconds));
    const double rate = r.decimal(QStringLiteral("rate"), 1, 60, s.frameRate);
    const bool sound = r.has(QStringLiteral("audio")) || (s.fromFile && s.audioOn);
    const AudioFormat audio = audioOf(r, s);
    // The information fields, written as the window's "writeinfo" writes
    // them once the movie is complete.
    std::array<QString, 6> info = s.infoFields;
    bool writeInfo = s.fromFile && s.movieInfo;
    for (size_t i = 0; i < info.size(); ++i) {
        const QString& option = kInfoOptions[static_cast<qsizetype>(i)];
        if (r.has(option)) {
            info[i] = r.text(option);
            writeInfo = true;
        }
    }

    repairLeftovers();

    MovieRecordingSettings setup;
    setup.fileName = out;
    setup.parms = s.parms;
    setup.parms.dwRequestMicroSecPerFrame = static_cast<uint32_t>(std::lround(1000000.0 / rate));
    setup.parms.fCaptureAudio = sound ? 1 : 0;
    setup.parms.fYield = 1; // never the blocking form: the event loop runs the recording
    setup.parms.fLimitEnabled = 1;
    setup.parms.wTimeLimit = static_cast<uint32_t>(duration);
    setup.audio = audio;
    if (r.has(QStringLiteral("codec")) || r.has(QStringLiteral("quality"))) {
        CodecChoice c;
        c.encoder = r.text(QStringLiteral("codec"), defaultEncoderFor(container));
        c.quality = quality(r, s);
        setup.codec = c;
        // Refused before the device opens and before anything is written.
        if (const QString why = codecRefusal(container, c.encoder); !why.isEmpty()) {
            printError(QStringLiteral("record: ") + why);
            return kExitFailure;
        }
    }
    if (container != MovieContainer::Avi)
        setup.audioEncoder = soundCodec;
    setup.writeInfo = writeInfo;
    setup.info = info;
    setup.progressIntervalMs = 500;

    CaptureSession session;
    if (!openDevice(session, r, s, static_cast<int>(std::ceil(rate))))
        return kExitFailure;
    if (!firstFrame(session))
        return kExitFailure;

    MovieRecording recording(session, setup);
    Progress progress;
    QObject::connect(&recording, &MovieRecording::progress, qApp, [&](uint32_t frames, uint32_t dropped) {
        progress.show(QStringLiteral("Recording %1: %2 frames, %3 dropped").arg(out).arg(frames).arg(dropped));
    });
    QObject::connect(&recording, &MovieRecording::ended, qApp, [] { QCoreApplication::exit(0); });
    QObject::connect(&session, &CaptureSession::deviceLost, qApp,
                     [](const QString& reason) { printError(QStringLiteral("device lost: ") + reason); });
    // Ctrl+C and a kill's SIGTERM end the recording as its end does: the file gets its index.
    const Interruption interruption([&recording](int signal) {
        printError(QStringLiteral("%1: finishing the recording").arg(QLatin1String(signal == SIGINT ? "SIGINT" : "SIGTERM")));
        recording.stop();
    });
    if (!recording.start()) {
        printError(recording.errorText());
        return kExitFailure;
    }
    QCoreApplication::exec();
    progress.done();
    const MovieRecordingResult& result = recording.result();
    int status = result.deviceLost.isEmpty() ? kExitOk : kExitFailure;
    if (!result.error.isEmpty()) {
        printError(result.error);
        status = kExitFailure;
    }
    if (sound && !result.withoutSound.isEmpty())
        printError(QStringLiteral("recorded without sound: ") + result.withoutSound);
    // The information of a movie whose device went away is not asked about.
    if (status == kExitOk && result.infoFailed()) {
        printError(result.infoError);
        status = kExitFailure;
    }
    printOut(QStringLiteral("%1: %2 frames, %3 dropped").arg(out).arg(result.frames).arg(result.dropped));
    return status;
}

int runDevices()
{
    awaitDeviceList();
    int n = 0;
    QString name, version;
    for (; driverCatalogue().describe(n, &name, &version); ++n)
        printOut(QStringLiteral("%1\t%2\t%3").arg(n).arg(name, version));
    if (n == 0) {
        printError(QStringLiteral("no capture devices"));
        return kExitFailure;
    }
    return kExitOk;
}

// --- movie files ---

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
    const QString name = r.operands[0];
    const MovieCodecCheck check = checkMovieFile(name);
    QString codecName;
    if (check.result == MovieCodecCheck::Result::Compressed) {
        const CodecLookup found = lookUpCodec(codecCatalogueFile(), check.code.toUpper());
        if (found.status == CodecLookup::Status::NoFile)
            printError(QStringLiteral("ERROR C100: Can't find CODEC Information file."));
        else if (found.status == CodecLookup::Status::BadHeader)
            printError(QStringLiteral("ERROR C101: Error in Script Alpha."));
        codecName = found.text;
    }
    // The message box's line ends become the terminal's.
    const QString text = movieCodecMessage(name, check, codecName).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const bool known = check.result == MovieCodecCheck::Result::Compressed
        || check.result == MovieCodecCheck::Result::Uncompressed || check.result == MovieCodecCheck::Result::Named;
    if (known)
        printOut(text);
    else
        printError(text);
    return known ? kExitOk : kExitFailure;
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

// --- pictures ---

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

} // namespace

int runRequest(const Request& request)
{
    static StderrDialogs stderrDialogs;
    setDialogs(&stderrDialogs);
    Settings settings;
    if (request.has(QStringLiteral("params"))) {
        if (const FileResult read = readSettings(request.text(QStringLiteral("params")), &settings); !read) {
            printError(read.message());
            return kExitFailure;
        }
        // An FTP password left out would otherwise only show as a refused login.
        if (!settings.ignored.isEmpty())
            printError(settings.ignored);
    }
    const QString& c = request.command;
    if (c == QLatin1String("devices"))
        return runDevices();
    if (c == QLatin1String("snapshot"))
        return runSnapshot(request, settings);
    if (c == QLatin1String("series"))
        return runSeries(request, settings);
    if (c == QLatin1String("record"))
        return runRecord(request, settings);
    if (c == QLatin1String("extract"))
        return runExtract(request, settings);
    if (c == QLatin1String("recompress"))
        return runRecompress(request, settings);
    if (c == QLatin1String("whatcodec"))
        return runWhatCodec(request);
    if (c == QLatin1String("repair"))
        return runRepair(request);
    if (c == QLatin1String("effect"))
        return runEffect(request, settings);
    throw UsageError{QStringLiteral("unknown command \"%1\"").arg(c)};
}

} // namespace lv::cli
