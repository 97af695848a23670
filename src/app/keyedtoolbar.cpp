#include "app/keyedtoolbar.h"

#include "base/commandicons.h"

#include <QAction>
#include <QToolButton>
#include <QWidget>

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
    const QString command = commandOf(objectName(), image);
    auto* a = addAction(commandIcon(command), caption.isEmpty() ? tip : caption);
    a->setProperty("command", command);
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
    connect(a, &QAction::triggered, this, [this, key] { emit buttonClicked(key); });
    m_buttons.insert(key, a);
    return a;
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
    const QString command = commandOf(objectName(), image);
    a->setProperty("command", command);
    a->setIcon(commandIcon(command));
}

QString commandOf(const QString& toolbar, const QString& imageKey)
{
    // Where one image key means different commands on different toolbars, the toolbar decides.
    static const QHash<QString, QString> byToolbar = {
        {QStringLiteral("MainToolbar/movie"), QStringLiteral("movie-mode")},
        {QStringLiteral("MainToolbar/image"), QStringLiteral("image-mode")},
        {QStringLiteral("MainToolbar/multiple"), QStringLiteral("multiple-mode")},
        {QStringLiteral("OperationBar/pause"), QStringLiteral("capture")},
        {QStringLiteral("OperationBar/motion"), QStringLiteral("motion-detector")},
        {QStringLiteral("TriggerType/manual"), QStringLiteral("manual-trigger")},
        {QStringLiteral("TriggerType/timer"), QStringLiteral("timer-trigger")},
        {QStringLiteral("TriggerType/motion"), QStringLiteral("motion-trigger")},
        {QStringLiteral("MultipleImageToolbar/save"), QStringLiteral("series-save")},
        {QStringLiteral("MultipleImageToolbar/vidcompression"), QStringLiteral("compression")},
    };
    static const QHash<QString, QString> stamps = {
        {QStringLiteral("time"), QStringLiteral("stamp-time")},      {QStringLiteral("date"), QStringLiteral("stamp-date")},
        {QStringLiteral("text"), QStringLiteral("stamp-text")},      {QStringLiteral("timecolor"), QStringLiteral("color-time")},
        {QStringLiteral("datecolor"), QStringLiteral("color-date")}, {QStringLiteral("textcolor"), QStringLiteral("color-text")},
    };
    if (const QString c = byToolbar.value(toolbar + QLatin1Char('/') + imageKey); !c.isEmpty())
        return c;
    if (toolbar == QLatin1String("ImageToolbar") || toolbar == QLatin1String("MultipleImageToolbar2"))
        return stamps.value(imageKey, imageKey);
    return imageKey;
}

} // namespace lv
