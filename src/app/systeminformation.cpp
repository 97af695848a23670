#include "app/systeminformation.h"

#include "app/splash.h"
#include "base/diskspace.h"
#include "base/version.h"
#include "capture/testpattern.h"
#include "capture/v4l2/v4l2device.h"
#include "capture/v4l2/v4l2devices.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QtGlobal>

#include <alsa/asoundlib.h>
#include <curl/curl.h>
#include <jconfig.h>
#include <sys/utsname.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace lv {

namespace {

#define LV_STRINGIFY2(x) #x
#define LV_STRINGIFY(x) LV_STRINGIFY2(x)

QString libVersion(unsigned v)
{
    return QStringLiteral("%1.%2.%3").arg(v >> 16).arg((v >> 8) & 0xff).arg(v & 0xff);
}

QString env(const char* name)
{
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? QStringLiteral("(not set)") : v;
}

QString rateText(double rate)
{
    return QLocale::c().toString(rate, 'g', 5);
}

// Formats, sizes and rates of a device, one size per line.
QStringList formatLines(const std::vector<v4l2::PixelFormatInfo>& formats)
{
    QStringList lines;
    for (const v4l2::PixelFormatInfo& f : formats) {
        lines << QStringLiteral("    %1 (%2)%3")
                     .arg(v4l2::fourccText(f.fourcc), f.description,
                          f.convertible ? QString() : QStringLiteral(", not usable by this program"));
        for (const v4l2::FrameSizeInfo& s : f.sizes) {
            QStringList rates;
            for (const v4l2::Interval& i : s.intervals)
                rates << rateText(i.rate());
            lines << QStringLiteral("      %1x%2 at %3 frames/s")
                         .arg(s.size.width())
                         .arg(s.size.height())
                         .arg(rates.isEmpty() ? QStringLiteral("?") : rates.join(QStringLiteral(", ")));
        }
    }
    return lines;
}

struct HintsFree {
    void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};
struct FreeText {
    void operator()(char* p) const { free(p); }
};
using HintText = std::unique_ptr<char, FreeText>;

} // namespace

SystemInformation::SystemInformation(const QString& movieFile)
    : m_sections{programSection(), librarySection(), systemSection(), cameraSection(), soundSection(),
                 diskSection(movieFile)}
{
}

QString SystemInformation::programSection()
{
    return programTitle() + QStringLiteral("\n") + Splash::versionLine();
}

QString SystemInformation::librarySection()
{
    QStringList lines{QStringLiteral("Libraries:")};
    lines << QStringLiteral("  Qt %1 (built with %2), platform %3")
                 .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
                      QGuiApplication::platformName());
    lines << QStringLiteral("  FFmpeg %1: libavcodec %2, libavformat %3, libavutil %4, libswscale %5")
                 .arg(QString::fromLatin1(av_version_info()), libVersion(avcodec_version()),
                      libVersion(avformat_version()), libVersion(avutil_version()), libVersion(swscale_version()));
    lines << QStringLiteral("  libjpeg-turbo %1 (the version built against)").arg(QStringLiteral(LV_STRINGIFY(LIBJPEG_TURBO_VERSION)));
    const curl_version_info_data* curl = curl_version_info(CURLVERSION_NOW);
    lines << QStringLiteral("  libcurl %1, %2")
                 .arg(QString::fromLatin1(curl->version),
                      curl->ssl_version ? QString::fromLatin1(curl->ssl_version) : QStringLiteral("no TLS"));
    lines << QStringLiteral("  ALSA %1").arg(QString::fromLatin1(snd_asoundlib_version()));
    return lines.join(QLatin1Char('\n'));
}

QString SystemInformation::systemSection()
{
    QStringList lines{QStringLiteral("System:")};
    utsname u{};
    if (uname(&u) == 0)
        lines << QStringLiteral("  Kernel: %1 %2 %3 (%4)")
                     .arg(QString::fromLocal8Bit(u.sysname), QString::fromLocal8Bit(u.release),
                          QString::fromLocal8Bit(u.version), QString::fromLocal8Bit(u.machine));
    lines << QStringLiteral("  Distribution: ") + QSysInfo::prettyProductName();
    lines << QStringLiteral("  Desktop: XDG_CURRENT_DESKTOP=%1, XDG_SESSION_TYPE=%2, DESKTOP_SESSION=%3")
                 .arg(env("XDG_CURRENT_DESKTOP"), env("XDG_SESSION_TYPE"), env("DESKTOP_SESSION"));
    lines << QStringLiteral("  Display: WAYLAND_DISPLAY=%1, DISPLAY=%2").arg(env("WAYLAND_DISPLAY"), env("DISPLAY"));
    return lines.join(QLatin1Char('\n'));
}

QString SystemInformation::cameraSection()
{
    QStringList lines{QStringLiteral("Cameras:")};
    const auto devices = v4l2::listDevices();
    for (const v4l2::DeviceInfo& info : devices) {
        v4l2::Device device(v4l2::io());
        if (!device.open(info.path)) {
            lines << QStringLiteral("  %1: %2 (could not be opened now)").arg(info.path, info.card);
            continue;
        }
        lines << QStringLiteral("  %1: %2").arg(info.path, device.card());
        lines << QStringLiteral("    driver %1, bus %2").arg(device.driverVersion(), device.busInfo());
        lines << formatLines(device.formats());
    }
    if (devices.empty())
        lines << QStringLiteral("  no V4L2 camera found");
    // The built-in device is always there.
    QStringList sizes;
    for (const QSize& s : TestPattern::sizes())
        sizes << QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
    lines << QStringLiteral("  Test pattern (built in): %1 at %2 to %3 frames/s")
                 .arg(sizes.join(QStringLiteral(", ")))
                 .arg(TestPattern::kMinRate)
                 .arg(TestPattern::kMaxRate);
    return lines.join(QLatin1Char('\n'));
}

QString SystemInformation::soundSection()
{
    QStringList lines{QStringLiteral("Sound:")};
    int card = -1;
    int cards = 0;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char* name = nullptr;
        if (snd_card_get_longname(card, &name) == 0 && name) {
            const HintText owned(name);
            lines << QStringLiteral("  card %1: %2").arg(card).arg(QString::fromLocal8Bit(name));
            ++cards;
        }
    }
    if (cards == 0)
        lines << QStringLiteral("  no sound card found");
    void** raw = nullptr;
    if (snd_device_name_hint(-1, "pcm", &raw) == 0 && raw) {
        const std::unique_ptr<void*, HintsFree> hints(raw);
        QStringList inputs;
        for (void** h = raw; *h; ++h) {
            const HintText name(snd_device_name_get_hint(*h, "NAME"));
            const HintText io(snd_device_name_get_hint(*h, "IOID"));
            // No IOID means both directions.
            if (name && (!io || qstrcmp(io.get(), "Input") == 0))
                inputs << QString::fromLocal8Bit(name.get());
        }
        lines << QStringLiteral("  recording devices: ")
                     + (inputs.isEmpty() ? QStringLiteral("none") : inputs.join(QStringLiteral(", ")));
    }
    return lines.join(QLatin1Char('\n'));
}

QString SystemInformation::diskSection(const QString& movieFile)
{
    const QString folder = QFileInfo(movieFile).absolutePath();
    const int64_t free = freeDiskSpace(movieFile);
    const QString amount = free < 0 ? QStringLiteral("unknown")
                                    : QStringLiteral("%1 (%2 bytes)")
                                          .arg(QLocale::c().formattedDataSize(free), QString::number(free));
    return QStringLiteral("Movies:\n  %1\n  free space: %2").arg(folder, amount);
}

} // namespace lv
