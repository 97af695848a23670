#include "base/commandicons.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

// The pictures live in a static library: name them so the linker keeps them.
static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace lv {

namespace {

struct IconEntry {
    const char* command;
    const char* themeName; // freedesktop name; nullptr: ours only
    const char* fallback;  // shipped SVG (resource name without ".svg")
    const char* badge;     // badge drawn over the corner, or nullptr
};

// Base pictures come from the desktop theme where a freedesktop name fits;
// the shipped set (Tango, public domain, plus our own badges) stands in.
constexpr IconEntry kIcons[] = {
    {"open", "document-open", "document-open", nullptr},
    {"save", "document-save", "document-save", nullptr},
    {"filename", "document-save-as", "document-save-as", nullptr},
    {"series-save", "document-save-as", "document-save-as", "picture"},
    {"movie-mode", "camera-video", "camera-video", nullptr},
    {"image-mode", "camera-photo", "camera-photo", nullptr},
    {"multiple-mode", "emblem-photos", "emblem-photos", nullptr},
    {"viewer", "video-x-generic", "video-x-generic", nullptr},
    {"preferences", "preferences-system", "preferences-system", nullptr},
    {"about", "help-about", "dialog-information", nullptr},
    {"device", "camera-web", "camera-video", "list"},
    {"source", "camera-web", "camera-video", "sun"},
    {"display", "video-display", "video-display", nullptr},
    {"format", "video-display", "video-display", "resize"},
    {"fullscreen", "view-fullscreen", "view-fullscreen", nullptr},
    {"snapshot", "insert-image", "image-x-generic", nullptr},
    {"overlay", "video-display", "video-display", "bolt"},
    {"preview", "video-display", "video-display", "play"},
    {"advanced", "applications-system", "applications-system", nullptr},
    {"record", "media-record", "media-record", nullptr},
    {"stop", "media-playback-stop", "media-playback-stop", nullptr},
    {"capture", "camera-photo", "camera-photo", "shutter"},
    {"autostart", "x-office-calendar", "x-office-calendar", "play"},
    {"motion-detector", "system-search", "system-search", "motion"},
    {"manual-trigger", "input-mouse", "input-mouse", nullptr},
    {"timer-trigger", "appointment-soon", "appointment-new", nullptr},
    {"motion-trigger", nullptr, "badge-motion", nullptr},
    {"audio", "audio-input-microphone", "audio-input-microphone", nullptr},
    {"writeinfo", "document-properties", "document-properties", nullptr},
    {"otherinfo", "accessories-text-editor", "accessories-text-editor", nullptr},
    {"compression", "package-x-generic", "package-x-generic", nullptr},
    {"netset", "network-wired", "network-wired", nullptr},
    {"ftp", "folder-remote", "folder-remote", nullptr},
    {"effects", "applications-graphics", "applications-graphics", nullptr},
    {"stamp-time", "text-x-generic", "text-x-generic", "clock"},
    {"stamp-date", "text-x-generic", "text-x-generic", "calendar"},
    {"stamp-text", "text-x-generic", "text-x-generic", "text"},
    {"color-time", nullptr, "color-palette", "clock"},
    {"color-date", nullptr, "color-palette", "calendar"},
    {"color-text", nullptr, "color-palette", "text"},
    {"position-time", nullptr, "badge-clock", nullptr},
    {"position-date", nullptr, "badge-calendar", nullptr},
    {"position-text", nullptr, "badge-text", nullptr},
    {"sysinfo", "utilities-system-monitor", "utilities-system-monitor", nullptr},
    {"exit", "application-exit", "system-log-out", nullptr},
    {"clipboard", "edit-copy", "edit-copy", nullptr},
    {"print", "document-print", "document-print", nullptr},
    {"codecs", "applications-multimedia", "applications-multimedia", nullptr},
    {"whatcodec", "video-x-generic", "video-x-generic", "question"},
    {"deviceinfo", "camera-web", "camera-video", "info"},
    {"recording-settings", "preferences-desktop-multimedia", "preferences-desktop-multimedia", nullptr},
    {"volume", "audio-volume-high", "audio-volume-high", nullptr},
    {"tile-horizontal", nullptr, "window-tile-horizontal", nullptr},
    {"tile-vertical", nullptr, "window-tile-vertical", nullptr},
    {"cascade", nullptr, "window-cascade", nullptr},
    {"arrange", nullptr, "window-arrange", nullptr},
    {"help", "help-contents", "help-browser", nullptr},
    {"web", "internet-web-browser", "internet-web-browser", nullptr},
};

QIcon shipped(const char* name)
{
    static const bool ready = (initIconResources(), true);
    Q_UNUSED(ready);
    return QIcon(QStringLiteral(":/lumivark/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

// Draws a base picture with a badge over its lower right corner, at whatever
// size and scale is asked for, so both stay sharp.
class BadgedIconEngine final : public QIconEngine {
public:
    BadgedIconEngine(QIcon base, QIcon badge) : m_base(std::move(base)), m_badge(std::move(badge)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_base.paint(painter, rect, Qt::AlignCenter, mode, state);
        const int side = (rect.width() * 5 + 4) / 8;
        const QRect corner(rect.right() + 1 - side, rect.bottom() + 1 - side, side, side);
        m_badge.paint(painter, corner, Qt::AlignCenter, mode, state);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new BadgedIconEngine(m_base, m_badge); }
    QString key() const override { return QStringLiteral("lumivark-badged"); }

private:
    QIcon m_base;
    QIcon m_badge;
};

} // namespace

QIcon commandIcon(const QString& command)
{
    static QHash<QString, QIcon> cache;
    if (auto it = cache.constFind(command); it != cache.constEnd())
        return *it;
    QIcon icon;
    for (const IconEntry& e : kIcons) {
        if (command != QLatin1String(e.command))
            continue;
        QIcon base = e.themeName ? QIcon::fromTheme(QLatin1String(e.themeName), shipped(e.fallback)) : shipped(e.fallback);
        icon = e.badge ? QIcon(new BadgedIconEngine(base, shipped((QByteArray("badge-") + e.badge).constData())))
                       : base;
        break;
    }
    cache.insert(command, icon);
    return icon;
}

QIcon commandIcon(Command command) { return commandIcon(commandName(command)); }

QIcon applicationIcon()
{
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("lumivark"), shipped("lumivark"));
    return icon;
}

} // namespace lv
