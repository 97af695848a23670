#include "cli/cliargs.h"

#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace lv::cli {

namespace {

// What one subcommand takes: operands (exact count) and its options; every
// option but the flags carries a value.
struct CommandForm {
    const char* name;
    int operands; // -1: any number
    const char* operandText;
    QStringList options;
    QStringList flags;
};

const QStringList kStampOptions{QStringLiteral("time"), QStringLiteral("date"), QStringLiteral("text"),
                                QStringLiteral("text-pos")};

} // namespace

const QStringList kFtpOptions{QStringLiteral("ftp-url"), QStringLiteral("ftp-port"), QStringLiteral("ftp-user"),
                              QStringLiteral("ftp-password"), QStringLiteral("ftp-dir"), QStringLiteral("ftp-key"),
                              QStringLiteral("ftp-ca")};
const QStringList kInfoOptions{QStringLiteral("copyright"), QStringLiteral("artist"), QStringLiteral("subject"),
                               QStringLiteral("product"),   QStringLiteral("source"), QStringLiteral("comments")};

namespace {

const std::vector<CommandForm>& forms()
{
    static const std::vector<CommandForm> s = [] {
        const QString params = QStringLiteral("params");
        const QString quality = QStringLiteral("quality");
        const QStringList device{QStringLiteral("device"), QStringLiteral("size")};
        std::vector<CommandForm> v;
        v.push_back({"devices", 0, "", {params}, {}});
        v.push_back({"snapshot", 1, "OUT.jpg|OUT.bmp", QStringList{params, quality} + device + kStampOptions,
                     {QStringLiteral("still")}});
        v.push_back({"series", 1, "OUT_BASE.jpg|OUT_BASE.bmp",
                     QStringList{params, quality, QStringLiteral("interval"), QStringLiteral("count"),
                                 QStringLiteral("motion"), QStringLiteral("duration")}
                         + device + kStampOptions + kFtpOptions,
                     {QStringLiteral("still")}});
        v.push_back({"record", 1, "OUT.avi|OUT.mkv|OUT.mp4",
                     QStringList{params, quality, QStringLiteral("duration"), QStringLiteral("rate"),
                                 QStringLiteral("audio"), QStringLiteral("codec"), QStringLiteral("sound-codec")}
                         + device + kInfoOptions,
                     {QStringLiteral("still")}});
        v.push_back({"extract", 2, "IN OUT.bmp|OUT.jpg", {params, quality, QStringLiteral("frame")}, {}});
        v.push_back({"recompress", 2, "IN OUT.avi|OUT.mkv|OUT.mp4", {params, quality, QStringLiteral("codec")}, {}});
        v.push_back({"whatcodec", 1, "IN", {params}, {}});
        v.push_back({"repair", -1, "[IN.avi ...]", {params}, {}});
        v.push_back({"effect", 3, "NAME IN OUT", {params, quality}, {}});
        return v;
    }();
    return s;
}

const CommandForm* formFor(const QString& name)
{
    for (const CommandForm& s : forms())
        if (name == QLatin1String(s.name))
            return &s;
    return nullptr;
}

UsageError usage(const QString& text) { return UsageError{text}; }

} // namespace

QStringList commandNames()
{
    QStringList names;
    for (const CommandForm& s : forms())
        names << QLatin1String(s.name);
    return names;
}

Request parseArguments(const QStringList& args)
{
    Request r;
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        r.command = QStringLiteral("help");
        return r;
    }
    if (args.isEmpty())
        throw usage(QStringLiteral("no command given (one of: %1)").arg(commandNames().join(QStringLiteral(", "))));
    r.command = args.first();
    const CommandForm* form = formFor(r.command);
    if (!form)
        throw usage(QStringLiteral("unknown command \"%1\" (one of: %2)")
                        .arg(r.command, commandNames().join(QStringLiteral(", "))));
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(QStringLiteral("--")) && a.size() > 2) {
            QString name = a.mid(2);
            QString value;
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            const bool inlineValue = eq >= 0;
            if (inlineValue) {
                value = name.mid(eq + 1);
                name = name.left(eq);
            }
            if (form->flags.contains(name)) {
                if (inlineValue)
                    throw usage(QStringLiteral("%1: --%2 takes no value").arg(r.command, name));
                r.options.insert(name, QString());
                continue;
            }
            if (!form->options.contains(name))
                throw usage(QStringLiteral("%1: unknown option --%2").arg(r.command, name));
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    throw usage(QStringLiteral("%1: --%2 needs a value").arg(r.command, name));
                value = args[++i];
            }
            if (r.options.contains(name))
                throw usage(QStringLiteral("%1: --%2 given twice").arg(r.command, name));
            r.options.insert(name, value);
        } else {
            r.operands << a;
        }
    }
    if (form->operands >= 0 && r.operands.size() != form->operands) {
        if (form->operands == 0)
            throw usage(QStringLiteral("%1 takes no file names").arg(r.command));
        throw usage(QStringLiteral("%1 needs %2 (%3 given)")
                        .arg(r.command, QLatin1String(form->operandText))
                        .arg(r.operands.size()));
    }
    return r;
}

int Request::integer(const QString& name, int low, int high, int def) const
{
    if (!options.contains(name))
        return def;
    bool ok = false;
    const int v = options.value(name).toInt(&ok);
    if (!ok || v < low || v > high)
        throw usage(QStringLiteral("%1: --%2 must be a whole number from %3 to %4, not \"%5\"")
                        .arg(command, name)
                        .arg(low)
                        .arg(high)
                        .arg(options.value(name)));
    return v;
}

double Request::decimal(const QString& name, double low, double high, double def) const
{
    if (!options.contains(name))
        return def;
    bool ok = false;
    const double v = options.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < low || v > high)
        throw usage(QStringLiteral("%1: --%2 must be a number from %3 to %4, not \"%5\"")
                        .arg(command, name)
                        .arg(low)
                        .arg(high)
                        .arg(options.value(name)));
    return v;
}

QSize Request::size(const QString& name, QSize def) const
{
    if (!options.contains(name))
        return def;
    static const QRegularExpression re(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
    const QRegularExpressionMatch m = re.match(options.value(name));
    const QSize s = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
    if (s.isEmpty())
        throw usage(QStringLiteral("%1: --%2 must be WIDTHxHEIGHT (such as 640x480), not \"%3\"")
                        .arg(command, name, options.value(name)));
    return s;
}

int Request::position(const QString& name, int def) const
{
    if (!options.contains(name))
        return def;
    // The order of the stamp position lists.
    static const QStringList names{QStringLiteral("top-left"),    QStringLiteral("top-right"),
                                   QStringLiteral("top-center"),  QStringLiteral("bottom-left"),
                                   QStringLiteral("bottom-right"), QStringLiteral("bottom-center")};
    const QString v = options.value(name).toLower();
    bool ok = false;
    const int n = v.toInt(&ok);
    if (ok && n >= 0 && n < names.size())
        return n;
    const qsizetype i = names.indexOf(v);
    if (i >= 0)
        return static_cast<int>(i);
    throw usage(QStringLiteral("%1: --%2 must be 0-5 or one of %3, not \"%4\"")
                    .arg(command, name, names.join(QStringLiteral(", ")), options.value(name)));
}

QString helpText()
{
    return QStringLiteral(
        "Usage: lumivark-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
        "\n"
        "Capture without a desktop, on the same core as lumivark.\n"
        "\n"
        "Commands:\n"
        "  devices                               list the capture devices by number\n"
        "  snapshot OUT.jpg|OUT.bmp              one stamped picture\n"
        "      [--device N] [--size WxH] [--time POS] [--date POS] [--text TEXT --text-pos POS]\n"
        "  series OUT_BASE.jpg|OUT_BASE.bmp      numbered pictures (OUT_BASE00001.jpg, ...)\n"
        "      --interval SECONDS (--count N | --duration SECONDS)\n"
        "      --motion PERCENT --duration SECONDS [--count N]\n"
        "      [--ftp-url [ftp://|ftps://|sftp://]SERVER[:PORT][/DIR] [--ftp-port N] [--ftp-user NAME]\n"
        "       [--ftp-password PASSWORD] [--ftp-dir DIR] [--ftp-key SSH_KEY_FILE] [--ftp-ca CA_FILE]]\n"
        "                                        send each picture to an FTP, FTPS or SFTP server;\n"
        "                                        the password may come from LUMIVARK_FTP_PASSWORD\n"
        "                                        instead; SFTP checks ~/.ssh/known_hosts; pictures\n"
        "                                        the server did not take wait for the next series\n"
        "  record OUT.avi|OUT.mkv|OUT.mp4 --duration SECONDS\n"
        "                                        a movie; the extension picks the container\n"
        "      [--rate FPS] [--audio RATE:BITS:CHANNELS] [--codec NAME]\n"
        "      [--sound-codec aac|pcm]           MKV/MP4 sound (default aac; pcm in MKV only)\n"
        "      [--copyright TEXT] [--artist TEXT] [--subject TEXT] [--product TEXT]\n"
        "      [--source TEXT] [--comments TEXT] information fields written into the movie\n"
        "  extract IN OUT.bmp|OUT.jpg            every frame of a movie (AVI, MKV, MP4, ...)\n"
        "                                        as OUT_Frame_N.bmp|jpg\n"
        "      [--frame N]                       or frame N alone as OUT\n"
        "  recompress IN OUT.avi|OUT.mkv|OUT.mp4 --codec NAME [--quality Q]\n"
        "  whatcodec IN                          the codec of a movie file\n"
        "  repair [IN.avi ...]                   finish movies a crash left without index; without\n"
        "                                        names, the recordings lumivark and lumivark-cli\n"
        "                                        list as unfinished (record does this at its start)\n"
        "  effect NAME IN OUT                    one picture effect (flip-horizontal, flip-vertical,\n"
        "                                        grayscale, invert, soften, sharpen, diffuse,\n"
        "                                        emboss, lighting, solarize)\n"
        "\n"
        "Options of every command:\n"
        "  --params FILE.lvp   take the settings from a capture parameters file (stamps, series,\n"
        "                      movie, information fields, Internet Settings); options given\n"
        "                      on the command line win\n"
        "  --quality Q         JPEG or codec quality, 1-100 (default 75)\n"
        "  --still             the test pattern without its moving block\n"
        "  --help              this text\n"
        "\n"
        "POS is 0-5 or top-left, top-right, top-center, bottom-left, bottom-right, bottom-center.\n"
        "Exit status: 0 success, 2 usage error, 1 any other failure.\n"
        "SIGINT or SIGTERM ends a recording as its end would (the movie is finished, status 0);\n"
        "extract and recompress stop, remove their unfinished files and exit with 130 or 143.\n");
}

} // namespace lv::cli
