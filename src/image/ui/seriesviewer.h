#pragma once

#include "image/drawnpicture.h"

#include <QWidget>

class QLabel;

namespace lv {

struct StampSettings;

// Shows the latest picture of a series, or frames taken from a movie. The
// caption is set by its users ("Untitled ", "Clipboard", a file name).
class SeriesViewer final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SeriesViewer)

public:
    explicit SeriesViewer(QWidget* parent = nullptr);

    DrawnPicture& MasterImage() { return m_picture; }
    // A new picture (drawing cleared), shown at once.
    void setPicture(const QImage& picture);
    // Stamps the picture and shows it.
    void stamp(const StampSettings& settings, int imageNumber);
    // Shows what MasterImage now holds, after drawing on it directly.
    void refresh();

    // The picture 10 pixels from the top and 8 from the left; the window's
    // inside 20 pixels wider and taller than the picture.
    static QSize clientSizeFor(QSize picture) { return picture + QSize(20, 20); }
    QSize sizeHint() const override;
    void layoutWindow();

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void placePicture();

    DrawnPicture m_picture;
    QLabel* m_label = nullptr; // "MasterImage"
};

} // namespace lv
