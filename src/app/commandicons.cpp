#include "app/commandicons.h"
#include "app/mainwindow.h"
#include "app/panels/stamppanel.h"
#include "base/commandicons.h"

#include <QAction>
#include <QComboBox>

namespace lv {

void assignCommandIcons(MainWindow& m)
{
    // A menu command shows the same picture as the toolbar button that does the
    // same. The audio on/off, channel, bit and rate items are check marks, not
    // commands, and carry none.
    for (Command c : {Command::MovieMode, Command::ImageMode, Command::MultipleMode, Command::Viewer, Command::Open,
                      Command::Save, Command::Preferences, Command::SystemInformation, Command::Exit,
                      Command::Snapshot, Command::OtherInfo, Command::Clipboard, Command::Overlay, Command::Preview,
                      Command::FullScreen, Command::VideoSource, Command::VideoFormat, Command::VideoDisplay,
                      Command::Compression, Command::Codecs, Command::WhatCodec, Command::Advanced,
                      Command::DeviceInfo, Command::RecordingSettings, Command::Volume, Command::TileHorizontal,
                      Command::TileVertical, Command::Cascade, Command::Arrange, Command::Help, Command::Web,
                      Command::About})
        if (QAction* a = m.action(c))
            a->setIcon(commandIcon(c));
    if (QAction* a = m.action(Command::Splash))
        a->setIcon(applicationIcon());

    // The three position lists of a stamp panel differ only in what they place.
    for (const bool series : {false, true}) {
        int which = 0;
        for (const char* command : {"position-time", "position-date", "position-text"})
            m.stampPanel(series).setPositionIcon(which++, commandIcon(QString::fromLatin1(command)));
    }
}

} // namespace lv
