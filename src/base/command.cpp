#include "base/command.h"

#include <array>

namespace lv {

namespace {

struct Named {
    Command command;
    const char* name;
};

// In the order of the enumeration; the check below keeps it so.
constexpr Named kNames[] = {
    {Command::MovieMode, "movie-mode"},
    {Command::ImageMode, "image-mode"},
    {Command::MultipleMode, "multiple-mode"},
    {Command::Viewer, "viewer"},
    {Command::Open, "open"},
    {Command::Save, "save"},
    {Command::Preferences, "preferences"},
    {Command::SystemInformation, "sysinfo"},
    {Command::Exit, "exit"},
    {Command::Snapshot, "snapshot"},
    {Command::OtherInfo, "otherinfo"},
    {Command::Clipboard, "clipboard"},
    {Command::Device, "device"},
    {Command::Overlay, "overlay"},
    {Command::Preview, "preview"},
    {Command::FullScreen, "fullscreen"},
    {Command::VideoSource, "source"},
    {Command::VideoFormat, "format"},
    {Command::VideoDisplay, "display"},
    {Command::Compression, "compression"},
    {Command::Codecs, "codecs"},
    {Command::WhatCodec, "whatcodec"},
    {Command::Advanced, "advanced"},
    {Command::DeviceInfo, "deviceinfo"},
    {Command::AudioOff, "audio-off"},
    {Command::AudioOn, "audio-on"},
    {Command::Mono, "mono"},
    {Command::Stereo, "stereo"},
    {Command::Bits8, "8-bits"},
    {Command::Bits16, "16-bits"},
    {Command::RecordingSettings, "recording-settings"},
    {Command::Volume, "volume"},
    {Command::TileHorizontal, "tile-horizontal"},
    {Command::TileVertical, "tile-vertical"},
    {Command::Cascade, "cascade"},
    {Command::Arrange, "arrange"},
    {Command::Help, "help"},
    {Command::Splash, "splash"},
    {Command::Web, "web"},
    {Command::About, "about"},
    {Command::Record, "record"},
    {Command::Stop, "stop"},
    {Command::Capture, "capture"},
    {Command::Autostart, "autostart"},
    {Command::MotionDetector, "motion-detector"},
    {Command::FileName, "filename"},
    {Command::SeriesSave, "series-save"},
    {Command::Audio, "audio"},
    {Command::WriteInfo, "writeinfo"},
    {Command::NetSettings, "netset"},
    {Command::Ftp, "ftp"},
    {Command::Effects, "effects"},
    {Command::ManualTrigger, "manual-trigger"},
    {Command::TimerTrigger, "timer-trigger"},
    {Command::MotionTrigger, "motion-trigger"},
    {Command::StampTime, "stamp-time"},
    {Command::StampDate, "stamp-date"},
    {Command::StampText, "stamp-text"},
    {Command::ColorTime, "color-time"},
    {Command::ColorDate, "color-date"},
    {Command::ColorText, "color-text"},
    {Command::WriteMovieInfo, "write-movie-info"},
    {Command::PopUpViewer, "popup-viewer"},
    {Command::CloseMovieViewer, "close-movie-viewer"},
};

constexpr bool inOrder()
{
    if (std::size(kNames) != static_cast<size_t>(kCommandCount))
        return false;
    for (size_t i = 0; i < std::size(kNames); ++i)
        if (static_cast<size_t>(kNames[i].command) != i)
            return false;
    return true;
}
static_assert(inOrder(), "one name per command, in the order of the enumeration");

} // namespace

QString commandName(Command command)
{
    const auto i = static_cast<size_t>(command);
    return i < std::size(kNames) ? QString::fromLatin1(kNames[i].name) : QString();
}

std::optional<Command> commandFromName(QStringView name)
{
    for (const Named& n : kNames)
        if (name == QLatin1StringView(n.name))
            return n.command;
    return std::nullopt;
}

} // namespace lv
