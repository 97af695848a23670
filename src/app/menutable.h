#pragma once

#include "base/command.h"

#include <QKeySequence>
#include <QString>

#include <vector>

namespace lv {

// The menus of the main window's menu bar, in their order.
enum class MenuId { File, Edit, View, VideoSettings, Audio, Window, Help };

// One row of the command table: a menu item with its command (whose
// commandName() is its name), caption, key and picture; a separator; or (in
// the Audio menu) the place of the Sample Rate submenu. The work of a command
// is not here: its owner registers it with the window's CommandDispatcher,
// through which every item, button and key goes.
struct MenuRow {
    enum class Kind { Item, Separator, SampleRates };
    // The picture beside the caption: the command's own (as its toolbar
    // button shows), the program's, or none (a check mark).
    enum class Picture { None, OfCommand, OfProgram };
    MenuId menu;
    Kind kind = Kind::Item;
    Command command = Command::MovieMode;
    QString caption;
    QKeySequence key;
    bool checkable = false; // a check mark, not a command
    Picture picture = Picture::None;
};

// The row makers of the table below.
namespace menutable {

inline MenuRow item(MenuId menu, Command command, const char* caption, const QKeySequence& key = {})
{
    return {menu, MenuRow::Kind::Item, command, QString::fromUtf8(caption), key, false, MenuRow::Picture::OfCommand};
}

// An item that shows the program's own picture.
inline MenuRow programItem(MenuId menu, Command command, const char* caption)
{
    return {menu, MenuRow::Kind::Item, command, QString::fromUtf8(caption), {}, false, MenuRow::Picture::OfProgram};
}

inline MenuRow check(MenuId menu, Command command, const char* caption)
{
    return {menu, MenuRow::Kind::Item, command, QString::fromUtf8(caption), {}, true, MenuRow::Picture::None};
}

inline MenuRow separator(MenuId menu)
{
    return {menu, MenuRow::Kind::Separator, Command::MovieMode, {}, {}, false, MenuRow::Picture::None};
}

} // namespace menutable

// Every menu row of the main window, menu by menu, in the order shown.
inline const std::vector<MenuRow>& menuRows()
{
    using namespace menutable;
    using M = MenuId;
    using C = Command;
    static const std::vector<MenuRow> rows{
        item(M::File, C::MovieMode, "&Movie Capture..."),
        item(M::File, C::ImageMode, "&Image Capture..."),
        item(M::File, C::MultipleMode, "M&ultiple Image Capture..."),
        item(M::File, C::Viewer, "Movie &Viewer..."),
        separator(M::File),
        item(M::File, C::Open, "&Open Capture File...", QKeySequence::Open),
        item(M::File, C::Save, "&Save Capture File...", QKeySequence::Save),
        separator(M::File),
        item(M::File, C::Preferences, "&Preferences"),
        item(M::File, C::SystemInformation, "&System Information..."),
        separator(M::File),
        item(M::File, C::Exit, "E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q)),

        item(M::Edit, C::Snapshot, "Capture Frame", QKeySequence(Qt::Key_F11)),
        separator(M::Edit),
        item(M::Edit, C::OtherInfo, "Other Information"),
        separator(M::Edit),
        item(M::Edit, C::Clipboard, "Put On Clipboard"),

        item(M::View, C::Overlay, "Overlay Mode"),
        item(M::View, C::Preview, "Preview Mode"),
        separator(M::View),
        item(M::View, C::FullScreen, "Full Screen"),

        item(M::VideoSettings, C::VideoSource, "Video Source..."),
        item(M::VideoSettings, C::VideoFormat, "Video Format..."),
        item(M::VideoSettings, C::VideoDisplay, "Video Display..."),
        separator(M::VideoSettings),
        item(M::VideoSettings, C::Compression, "Video Compression"),
        item(M::VideoSettings, C::Codecs, "Video Codecs"),
        item(M::VideoSettings, C::WhatCodec, "What Codec..."),
        separator(M::VideoSettings),
        item(M::VideoSettings, C::Advanced, "Video Advanced Settings"),
        separator(M::VideoSettings),
        item(M::VideoSettings, C::DeviceInfo, "Video Capture Device..."),

        check(M::Audio, C::AudioOff, "Audio O&ff"),
        check(M::Audio, C::AudioOn, "Audio &On"),
        separator(M::Audio),
        check(M::Audio, C::Mono, "&Mono"),
        check(M::Audio, C::Stereo, "&Stereo"),
        separator(M::Audio),
        check(M::Audio, C::Bits8, "&8 bits"),
        check(M::Audio, C::Bits16, "1&6 bits"),
        separator(M::Audio),
        {M::Audio, MenuRow::Kind::SampleRates, C::MovieMode, {}, {}, false, MenuRow::Picture::None},
        separator(M::Audio),
        item(M::Audio, C::RecordingSettings, "Recording Settings"),
        separator(M::Audio),
        item(M::Audio, C::Volume, "Sound Volume"),

        item(M::Window, C::TileHorizontal, "Tile &Horizontally"),
        item(M::Window, C::TileVertical, "Tile &Vertically"),
        item(M::Window, C::Cascade, "&Cascade"),
        item(M::Window, C::Arrange, "&Arrange Icons"),

        item(M::Help, C::Help, "&Help", QKeySequence(Qt::Key_F1)),
        separator(M::Help),
        programItem(M::Help, C::Splash, "&Splash Window"),
        separator(M::Help),
        item(M::Help, C::Web, "Video Lumivark on Web..."),
        separator(M::Help),
        item(M::Help, C::About, "&About Video Lumivark..."),
    };
    return rows;
}

// The row of a command's menu item; null for a command no menu carries.
inline const MenuRow* menuRow(Command command)
{
    for (const MenuRow& row : menuRows())
        if (row.kind == MenuRow::Kind::Item && row.command == command)
            return &row;
    return nullptr;
}

// A menu's caption on the menu bar.
inline QString menuCaption(MenuId menu)
{
    switch (menu) {
    case MenuId::File: return QStringLiteral("&File");
    case MenuId::Edit: return QStringLiteral("&Edit");
    case MenuId::View: return QStringLiteral("&View");
    case MenuId::VideoSettings: return QStringLiteral("Video &Settings");
    case MenuId::Audio: return QStringLiteral("&Audio Settings");
    case MenuId::Window: return QStringLiteral("&Window");
    case MenuId::Help: return QStringLiteral("&Help");
    }
    return {};
}

} // namespace lv
