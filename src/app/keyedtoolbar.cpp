#include "app/keyedtoolbar.h"

#include "base/commandicons.h"

#include <QAction>
#include <QActionGroup>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

namespace lv {

KeyedToolBar::KeyedToolBar(const QString& objectName, QWidget* parent)
    : QToolBar(parent)
{
    setObjectName(objectName);
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(20, 20));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

QAction* KeyedToolBar::addButton(const QString& key, const QString& tip, const QString& caption, bool checkable,
                                 const QString& imageKey)
{
    const QString image = imageKey.isEmpty() ? key : imageKey;
    const std::optional<Command> command = commandOf(objectName(), image);
    auto* a = addAction(command ? commandIcon(*command) : QIcon(), caption.isEmpty() ? tip : caption);
    a->setProperty("command", command ? commandName(*command) : QString());
    a->setObjectName(key);
    a->setToolTip(tip);
    a->setCheckable(checkable);
    a->setProperty("imageKey", image);
    if (!caption.isEmpty()) {
        a->setIconText(caption);
        if (QWidget* w = widgetForAction(a))
            if (auto* tb = qobject_cast<QToolButton*>(w))
                tb->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    }
    if (auto* tb = qobject_cast<QToolButton*>(widgetForAction(a))) {
        // Screen readers name the button by its tip; keyboard users reach it with Tab.
        tb->setAccessibleName(tip.isEmpty() ? caption : tip);
        tb->setFocusPolicy(Qt::TabFocus);
        // A button checked other than by a click (an accessibility client's toggle
        // action) carries its action along, so the program sees the change.
        if (checkable)
            connect(tb, &QToolButton::toggled, a, [a](bool on) {
                if (a->isChecked() != on)
                    a->setChecked(on);
            });
    }
    connect(a, &QAction::triggered, this, [this, key] { emit buttonClicked(key); });
    m_buttons.insert(key, a);
    return a;
}

QActionGroup* KeyedToolBar::makeExclusive(const QStringList& keys)
{
    auto* group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (const QString& key : keys) {
        QAction* a = button(key);
        group->addAction(a);
        // One of the group stays pressed: unchecking the pressed one (which only an
        // accessibility client can do) puts it back.
        connect(a, &QAction::toggled, this, [this, group, a, key](bool on) {
            if (on) {
                emit buttonPressed(key);
                return;
            }
            const QList<QAction*> all = group->actions();
            if (std::none_of(all.begin(), all.end(), [](const QAction* x) { return x->isChecked(); }))
                a->setChecked(true);
        });
    }
    return group;
}

QAction* KeyedToolBar::addPlaceholder(const QString& key, int width)
{
    auto* w = new QWidget(this);
    w->setObjectName(key);
    w->setFixedWidth(width);
    QAction* a = addWidget(w);
    a->setObjectName(key);
    m_buttons.insert(key, a);
    return a;
}

bool KeyedToolBar::isPressed(const QString& key) const
{
    const QAction* a = button(key);
    return a && a->isChecked();
}

void KeyedToolBar::setPressed(const QString& key, bool pressed)
{
    if (QAction* a = button(key))
        a->setChecked(pressed);
}

QString KeyedToolBar::imageKey(const QString& key) const
{
    const QAction* a = button(key);
    return a ? a->property("imageKey").toString() : QString();
}

void KeyedToolBar::setImageKey(const QString& key, const QString& image)
{
    QAction* a = button(key);
    if (!a || a->property("imageKey").toString() == image)
        return;
    a->setProperty("imageKey", image);
    const std::optional<Command> command = commandOf(objectName(), image);
    a->setProperty("command", command ? commandName(*command) : QString());
    a->setIcon(command ? commandIcon(*command) : QIcon());
}

std::optional<Command> KeyedToolBar::command(const QString& key) const
{
    const QAction* a = button(key);
    return a ? commandFromName(a->property("command").toString()) : std::nullopt;
}

std::optional<Command> commandOf(const QString& toolbar, const QString& imageKey)
{
    // Where one image key means different commands on different toolbars, the toolbar decides.
    static const QHash<QString, Command> byToolbar = {
        {QStringLiteral("MainToolbar/movie"), Command::MovieMode},
        {QStringLiteral("MainToolbar/image"), Command::ImageMode},
        {QStringLiteral("MainToolbar/multiple"), Command::MultipleMode},
        {QStringLiteral("OperationBar/pause"), Command::Capture},
        {QStringLiteral("OperationBar/motion"), Command::MotionDetector},
        {QStringLiteral("TriggerType/manual"), Command::ManualTrigger},
        {QStringLiteral("TriggerType/timer"), Command::TimerTrigger},
        {QStringLiteral("TriggerType/motion"), Command::MotionTrigger},
        {QStringLiteral("MultipleImageToolbar/save"), Command::SeriesSave},
        {QStringLiteral("MultipleImageToolbar/vidcompression"), Command::Compression},
    };
    static const QHash<QString, Command> stamps = {
        {QStringLiteral("time"), Command::StampTime},      {QStringLiteral("date"), Command::StampDate},
        {QStringLiteral("text"), Command::StampText},      {QStringLiteral("timecolor"), Command::ColorTime},
        {QStringLiteral("datecolor"), Command::ColorDate}, {QStringLiteral("textcolor"), Command::ColorText},
    };
    if (auto it = byToolbar.constFind(toolbar + QLatin1Char('/') + imageKey); it != byToolbar.constEnd())
        return *it;
    if (toolbar == QLatin1String("ImageToolbar") || toolbar == QLatin1String("MultipleImageToolbar2"))
        if (auto it = stamps.constFind(imageKey); it != stamps.constEnd())
            return *it;
    return commandFromName(imageKey);
}

} // namespace lv
