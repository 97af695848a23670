#include "app/commandicons.h"
#include "app/master.h"
#include "app/menutable.h"
#include "base/commandicons.h"

#include <QComboBox>

namespace lv {

QIcon menuRowIcon(const MenuRow& row)
{
    switch (row.picture) {
    case MenuRow::Picture::OfCommand: return commandIcon(row.command);
    case MenuRow::Picture::OfProgram: return applicationIcon();
    case MenuRow::Picture::None: break;
    }
    return {};
}

void assignCommandIcons(Master& m)
{
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
