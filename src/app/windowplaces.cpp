#include "app/windowplaces.h"

#include "base/settingsstore.h"
#include "base/ui/subwindowfit.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRect>
#include <QSignalBlocker>

namespace lv::windowplaces {

namespace {

const QString kApp = QStringLiteral("LV");
const QString kSection = QStringLiteral("Windows");

QString keyOf(const QMdiSubWindow& w)
{
    return w.widget() && !w.widget()->objectName().isEmpty() ? w.widget()->objectName() : QString();
}

QString rectText(const QRect& r)
{
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// "x,y,w,h"; an empty rectangle when the text is not one.
QRect rectFrom(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return {};
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return {};
    }
    return QRect(v[0], v[1], v[2], v[3]).normalized();
}

} // namespace

void saveMain(const QMainWindow& window)
{
    settings::save(kApp, kSection, QStringLiteral("Master"), QString::fromLatin1(window.saveGeometry().toBase64()));
}

bool restoreMain(QMainWindow& window)
{
    const QString kept = settings::get(kApp, kSection, QStringLiteral("Master"));
    // Qt's own record also knows the screens: a place on a screen now gone is moved onto one that is there.
    return !kept.isEmpty() && window.restoreGeometry(QByteArray::fromBase64(kept.toLatin1()));
}

void saveChildren(const QMdiArea& area)
{
    for (QMdiSubWindow* w : area.subWindowList()) {
        const QString key = keyOf(*w);
        if (!key.isEmpty() && !w->isMinimized() && !w->isMaximized())
            settings::save(kApp, kSection, key, rectText(w->geometry()));
    }
}

bool restoreChild(QMdiSubWindow& window, bool withSize)
{
    const QString key = keyOf(window);
    const QRect kept = key.isEmpty() ? QRect() : rectFrom(settings::get(kApp, kSection, key));
    if (kept.isEmpty())
        return false;
    // The place kept is put back within the main window as it is now; it is
    // no reason to change the main window's own kept size.
    const QSignalBlocker keepMainSize(SubWindowFit::of(window.mdiArea()));
    if (withSize)
        SubWindowFit::resizeWithin(&window, kept.size());
    window.move(kept.topLeft());
    SubWindowFit::fit(&window); // still inside the area, whatever its size now
    return true;
}

} // namespace lv::windowplaces
