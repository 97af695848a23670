#include "base/ui/qtdialogs.h"
#include "base/version.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace lv {

namespace {
// A save dialog that adds the chosen filter's extension to a name typed
// without one. It does so as it accepts, before it asks about replacing a
// file, so the question is about the file really written.
class SaveDialog final : public QFileDialog {
public:
    SaveDialog(QWidget* parent, const QString& title, const QString& initialName, const QString& pipeFilter)
        : QFileDialog(parent, title, initialName, qtFilterFromPipeFilter(pipeFilter)), m_pipeFilter(pipeFilter)
    {
        setObjectName(QStringLiteral("SaveFileDialog"));
        setAcceptMode(QFileDialog::AcceptSave);
    }
    int chosenFilter() const { return std::max<int>(0, int(nameFilters().indexOf(selectedNameFilter()))); }

    void accept() override
    {
        setDefaultSuffix(filterExtension(m_pipeFilter, chosenFilter()));
        QFileDialog::accept();
    }

private:
    QString m_pipeFilter;
};
} // namespace

void installQtDialogs()
{
    static QtDialogs qtDialogs;
    setDefaultDialogs(&qtDialogs);
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
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
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
    SaveDialog dlg(parent, title, initialName, filter);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return withFilterExtension(dlg.selectedFiles().constFirst(), filter, dlg.chosenFilter());
}

std::optional<QColor> QtDialogs::chooseColor(const QColor& initial, QWidget* parent)
{
    const QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

} // namespace lv
