#pragma once

#include <QImage>
#include <QWidget>

class QLabel;
class QPrinter;

namespace lv {

// The hidden window that carries one picture to the printer for the editor.
class PrintTarget final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PrintTarget)

public:
    explicit PrintTarget(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }

    // Prints the picture on `printer` at the size it has on screen, scaled down
    // to the page when larger. False when the printer cannot be started.
    bool printOn(QPrinter& printer) const;
    // The same on the system's default printer; false when there is none.
    bool printOnDefaultPrinter() const;

private:
    QLabel* m_printImage = nullptr; // "PrintImage"
    QImage m_picture;
};

} // namespace lv
