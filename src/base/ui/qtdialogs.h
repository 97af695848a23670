#pragma once

#include "base/dialogs.h"

namespace lv {

// Real Qt dialogs.
class QtDialogs final : public Dialogs {
public:
    Answer message(const QString& text, Icon icon, Buttons buttons, const QString& caption,
                   QWidget* parent) override;
    QString openFile(const QString& title, const QString& filter, const QString& initialName,
                     QWidget* parent) override;
    QString saveFile(const QString& title, const QString& filter, const QString& initialName,
                     QWidget* parent) override;
    std::optional<QColor> chooseColor(const QColor& initial, QWidget* parent) override;
};

// Makes the Qt dialogs the program's default (see defaultDialogs()); the
// window program does so at start-up, before any window can ask.
void installQtDialogs();

} // namespace lv
