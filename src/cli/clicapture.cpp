#include "cli/clicommandgroups.h"

#include "capture/capturesession.h"
#include "capture/drivercatalogue.h"
#include "cli/clicommands.h"
#include "cli/clidevice.h"
#include "cli/clioutput.h"
#include "cli/interruption.h"
#include "modes/movierecording.h"
#include "movie/avirepair.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cmath>
#include <csignal>

namespace lv::cli {

namespace {

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

} // namespace

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

} // namespace lv::cli
