#include "app/commandicons.h"
#include "app/mainwindow.h"
#include "app/menutable.h"
#include "app/panels/stamppanel.h"
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

void assignCommandIcons(MainWindow& m)
{
    // The three position lists of a stamp panel differ only in what they place.
    for (const bool series : {false, true}) {
        int which = 0;
        for (const char* command : {"position-time", "position-date", "position-text"})
            m.stampPanel(series).setPositionIcon(which++, commandIcon(QString::fromLatin1(command)));
    }
}

} // namespace lv
