#pragma once

#include "base/command.h"

#include <QHash>
#include <QToolBar>

#include <optional>

class QAction;
class QActionGroup;

namespace lv {

// A toolbar whose buttons are addressed by lower-case keys, as the program's
// command tables name them. A button may carry an image key (its picture)
// that the program reads back as its run state.
class KeyedToolBar final : public QToolBar {
    Q_OBJECT

public:
    explicit KeyedToolBar(const QString& objectName, QWidget* parent = nullptr);

    // caption may be empty; checkable buttons stay pressed until clicked again.
    QAction* addButton(const QString& key, const QString& tip, const QString& caption = {},
                       bool checkable = false, const QString& imageKey = {});
    // An empty slot of the given width that keeps room for another control.
    QAction* addPlaceholder(const QString& key, int width);
    // Makes the checkable buttons of these keys one exclusive group whose pressed
    // button is never released without another being pressed; buttonPressed
    // reports each newly pressed one, however it was pressed.
    QActionGroup* makeExclusive(const QStringList& keys);

    QAction* button(const QString& key) const { return m_buttons.value(key); }
    // The command the button of that key stands for now, if any.
    std::optional<Command> command(const QString& key) const;
    bool isPressed(const QString& key) const;
    void setPressed(const QString& key, bool pressed);

    QString imageKey(const QString& key) const;
    void setImageKey(const QString& key, const QString& imageKey);

signals:
    void buttonClicked(const QString& key);
    void buttonPressed(const QString& key);

private:
    QHash<QString, QAction*> m_buttons;
};

// The command whose picture a button of this toolbar shows for an image key
// (see commandIcon); the button keeps its name in its "command" property.
std::optional<Command> commandOf(const QString& toolbar, const QString& imageKey);

} // namespace lv
