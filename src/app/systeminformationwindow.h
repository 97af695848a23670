#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace lv {

// "System Information": the gathered text, a Copy button that puts it on
// the clipboard, and Close. UI thread only.
class SystemInformationWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SystemInformationWindow)

public:
    SystemInformationWindow(const QString& text, QWidget* parent = nullptr);

    QString text() const;

private:
    QPlainTextEdit* m_text = nullptr;
};

} // namespace lv
