#pragma once

// The main window's controls as a test reaches them: by the object names they
// carry (the names the keyed toolbars and the accessibility tree use), never
// through pointers the window would have to make public.

#include "app/keyedtoolbar.h"
#include "app/panels/devicemenu.h"
#include "app/panels/moviepanel.h"
#include "app/panels/panelparts.h"
#include "app/panels/seriespanel.h"
#include "app/panels/stamppanel.h"
#include "app/panels/statuspanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtGlobal>

#include <memory>

namespace lv::test {

// The control of that name and type inside window; a missing one ends the test program.
template <class T = QWidget>
T* part(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("the main window has no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

template <class T = QWidget>
T* part(const QObject* window, const char* name)
{
    return part<T>(*window, name);
}

template <class T = QWidget, class W>
T* part(const std::unique_ptr<W>& window, const char* name)
{
    return part<T>(*window, name);
}

// The trigger of a trigger button's key ("manual", "timer", "motion").
inline TriggerKind triggerKind(const QString& key)
{
    return key == QLatin1String("timer")    ? TriggerKind::Timer
         : key == QLatin1String("motion") ? TriggerKind::Motion
                                            : TriggerKind::Manual;
}

} // namespace lv::test
