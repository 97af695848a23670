#pragma once

#include <QWidget>

namespace lv {

// The splash window: the program's name, version and build on a plain card,
// closing itself after a moment.
class Splash final : public QWidget {
    Q_OBJECT

public:
    explicit Splash(QWidget* parent = nullptr, int showMs = 2000);
    static QString versionLine();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
};

} // namespace lv
