#include "app/commandicons.h"
#include "app/master.h"
#include "base/commandicons.h"

#include <QAction>
#include <QComboBox>

namespace lv {

namespace {

void setIcons(const QList<QAction*>& items, std::initializer_list<std::pair<int, const char*>> icons)
{
    for (const auto& [index, command] : icons)
        if (index < items.size())
            items[index]->setIcon(commandIcon(QString::fromLatin1(command)));
}

} // namespace

void assignCommandIcons(Master& m)
{
    // Menu items by their command-table index; a menu command shows the same
    // picture as the toolbar button that does the same.
    setIcons(m.fileItems, {{0, "movie-mode"}, {1, "image-mode"}, {2, "multiple-mode"}, {3, "viewer"}, {5, "open"},
                           {6, "save"}, {8, "preferences"}, {9, "sysinfo"}, {11, "exit"}});
    setIcons(m.editItems, {{0, "snapshot"}, {2, "otherinfo"}, {4, "clipboard"}});
    setIcons(m.viewItems, {{0, "overlay"}, {1, "preview"}, {3, "fullscreen"}});
    setIcons(m.videoSettingsItems, {{0, "source"}, {1, "format"}, {2, "display"}, {4, "compression"}, {5, "codecs"},
                                    {6, "whatcodec"}, {8, "advanced"}, {10, "deviceinfo"}});
    // The audio on/off, channel, bit and rate items are check marks, not commands.
    setIcons(m.audioItems, {{11, "recording-settings"}, {13, "volume"}});
    setIcons(m.windowItems, {{0, "tile-horizontal"}, {1, "tile-vertical"}, {2, "cascade"}, {3, "arrange"}});
    setIcons(m.helpItems, {{0, "help"}, {4, "web"}, {6, "about"}});
    if (m.helpItems.size() > 2)
        m.helpItems[2]->setIcon(applicationIcon());

    // The three position lists of a stamp panel differ only in what they place.
    const std::pair<QComboBox*, const char*> lists[] = {
        {m.ImageTimePosition, "position-time"},         {m.ImageDatePosition, "position-date"},
        {m.ImageTextPosition, "position-text"},         {m.MultipleImageTimePosition, "position-time"},
        {m.MultipleImageDatePosition, "position-date"}, {m.MultipleImageTextPosition, "position-text"},
    };
    for (const auto& [list, command] : lists)
        for (int i = 0; i < list->count(); ++i)
            list->setItemIcon(i, commandIcon(QString::fromLatin1(command)));
}

} // namespace lv
