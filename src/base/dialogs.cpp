#include "base/dialogs.h"
#include "base/version.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace lv {

namespace {
QtDialogs g_qtDialogs;
Dialogs* g_dialogs = &g_qtDialogs;
} // namespace

Dialogs& dialogs() { return *g_dialogs; }
void setDialogs(Dialogs* d) { g_dialogs = d ? d : &g_qtDialogs; }

QString qtFilterFromPipeFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (name.isEmpty() && patterns.isEmpty())
            continue;
        // Qt takes the patterns from the parentheses; keep the visible name as given.
        if (name.contains(QLatin1Char('(')))
            out << QStringLiteral("%1").arg(name).replace(QRegularExpression(QStringLiteral("\\(.*\\)")),
                                                           QStringLiteral("(%1)").arg(patterns));
        else
            out << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return out.join(QStringLiteral(";;"));
}

Dialogs::Answer QtDialogs::message(const QString& text, Icon icon, Buttons buttons,
                                   const QString& caption, QWidget* parent)
{
    QMessageBox box(parent);
    box.setWindowTitle(caption.isEmpty() ? programTitle() : caption);
    box.setText(text);
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::SaveDiscardCancel:
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Save);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Save: return Answer::Save;
    case QMessageBox::Discard: return Answer::Discard;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return Answer::Ok;
    }
}

QString QtDialogs::openFile(const QString& title, const QString& filter, const QString& initialName,
                            QWidget* parent)
{
    return QFileDialog::getOpenFileName(parent, title, initialName, qtFilterFromPipeFilter(filter));
}

QString QtDialogs::saveFile(const QString& title, const QString& filter, const QString& initialName,
                            QWidget* parent)
{
    return QFileDialog::getSaveFileName(parent, title, initialName, qtFilterFromPipeFilter(filter));
}

std::optional<QColor> QtDialogs::chooseColor(const QColor& initial, QWidget* parent)
{
    const QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

} // namespace lv
