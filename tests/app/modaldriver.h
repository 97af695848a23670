#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Drives the next modal dialog the program opens: waits until it is up,
// lets the test fill it in, then presses OK (or Cancel when fill returns false).
inline void onNextModal(std::function<bool(QDialog*)> fill)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, fill] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        if (fill(dlg))
            dlg->accept();
        else
            dlg->reject();
    });
    poll->start();
}
