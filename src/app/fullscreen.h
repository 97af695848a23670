#pragma once

#include <QDialog>
#include <QPoint>
#include <QSize>

class QLineEdit;
class QLabel;

namespace lv {

class LiveView;

// The live picture over the whole screen, until any key is pressed. It holds
// the device while it is open; the video window lets go of it first.
class Fullscreen final : public QDialog {
    Q_OBJECT

public:
    // tag "overlay" shows the picture in overlay mode; empty for preview.
    Fullscreen(int deviceIndex, int previewRate, const QString& tag, QWidget* parent = nullptr);
    ~Fullscreen() override;

    // Where a picture of the video's own size sits centred on the screen.
    static QPoint centredPosition(QSize screen, QSize image);

    LiveView* captureWindow() const { return m_capture; }

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void connectDevice();
    void releaseDevice();

    int m_deviceIndex;
    int m_previewRate;
    QString m_tag;
    QLineEdit* m_keyy = nullptr;
    QLabel* m_mira = nullptr;
    LiveView* m_capture = nullptr;
    bool m_connected = false;
};

} // namespace lv
