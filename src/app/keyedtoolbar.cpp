#include "app/keyedtoolbar.h"

#include <QAction>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
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
    auto* a = addAction(iconFor(image), caption.isEmpty() ? tip : caption);
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
    a->setIcon(iconFor(image));
}

QIcon iconFor(const QString& key)
{
    static QHash<QString, QIcon> cache;
    if (auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(3, 3, 14, 14);
    if (key == QLatin1String("record")) {
        p.setBrush(QColor(210, 0, 0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(r);
    } else if (key == QLatin1String("stop")) {
        p.setBrush(QColor(40, 40, 40));
        p.setPen(Qt::NoPen);
        p.drawRect(r);
    } else if (key == QLatin1String("pause")) {
        // The shutter of a still camera.
        p.setBrush(QColor(60, 60, 60));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(2, 6, 16, 11), 2, 2);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6.5, 8, 7, 7));
    } else {
        // A letter badge: enough to tell the buttons apart; the tip says the rest.
        const uint h = qHash(key);
        p.setBrush(QColor::fromHsv(static_cast<int>(h % 360), 120, 200));
        p.setPen(QColor(60, 60, 60));
        p.drawRoundedRect(QRectF(1.5, 1.5, 17, 17), 3, 3);
        QFont f = p.font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, key.left(2).toUpper());
    }
    p.end();
    QIcon icon(pm);
    cache.insert(key, icon);
    return icon;
}

} // namespace lv
