#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace lv {

// Every command the main window, its toolbars and its menus raise, and the
// requests its parts send one another. Commands travel by this name, never by
// a string or a menu position, so a mistyped one does not compile.
enum class Command {
    // File menu and the main toolbar
    MovieMode,
    ImageMode,
    MultipleMode,
    Viewer,
    Open,
    Save,
    Preferences,
    SystemInformation,
    Exit,
    // Edit menu
    Snapshot,
    OtherInfo,
    Clipboard,
    // View and Video Settings menus, the device toolbar
    Device,
    Overlay,
    Preview,
    FullScreen,
    VideoSource,
    VideoFormat,
    VideoDisplay,
    Compression,
    Codecs,
    WhatCodec,
    Advanced,
    DeviceInfo,
    // Audio Settings menu
    AudioOff,
    AudioOn,
    Mono,
    Stereo,
    Bits8,
    Bits16,
    RecordingSettings,
    Volume,
    // Window menu
    TileHorizontal,
    TileVertical,
    Cascade,
    Arrange,
    // Help menu
    Help,
    Splash,
    Web,
    About,
    // The operation band
    Record,
    Stop,
    Capture,
    Autostart,
    MotionDetector,
    // The mode bands
    FileName,
    SeriesSave,
    Audio,
    WriteInfo,
    NetSettings,
    Ftp,
    Effects,
    ManualTrigger,
    TimerTrigger,
    MotionTrigger,
    StampTime,
    StampDate,
    StampText,
    ColorTime,
    ColorDate,
    ColorText,
    // Requests between parts of the program
    WriteMovieInfo,
    PopUpViewer,
    CloseMovieViewer,
};

inline constexpr int kCommandCount = static_cast<int>(Command::CloseMovieViewer) + 1;

// The command's stable lower-case name ("open", "motion-detector", ...), for
// logs and for its picture (commandIcon).
QString commandName(Command command);

// The command of that name, if there is one.
std::optional<Command> commandFromName(QStringView name);

} // namespace lv
