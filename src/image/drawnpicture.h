#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

namespace lv {

// A picture that keeps its frame apart from what is drawn on it, as the
// editor's and the series viewer's `MasterImage` need: stamps go onto a
// transparent layer over the frame, and clearing the drawing leaves the frame.
class DrawnPicture final {
public:
    DrawnPicture();

    // A new frame; earlier drawing is cleared. Stored as RGB32.
    void setFrame(const QImage& frame);
    const QImage& frame() const { return m_frame; }
    bool isNull() const { return m_frame.isNull(); }
    QSize size() const { return m_frame.size(); }
    int width() const { return m_frame.width(); }
    int height() const { return m_frame.height(); }

    // Frame plus drawing, as one picture (what is saved, printed and copied).
    QImage drawnImage() const;
    // Makes the drawn image the new frame ("the drawing becomes the picture").
    void flatten();
    void clearDrawing();

    const QFont& font() const { return m_font; }
    void setFont(const QFont& font) { m_font = font; }
    // Text size in pixels in the picture's font.
    QSize textSize(const QString& text) const;
    // Draws text with its top-left corner at `at`, transparent background, and
    // moves the drawing position to the start of the next line.
    void drawText(QPoint at, const QString& text, const QColor& colour);
    QPoint drawingPosition() const { return m_position; }
    void setDrawingPosition(QPoint p) { m_position = p; }

private:
    QImage m_frame;
    QImage m_drawing; // ARGB32 premultiplied, transparent where nothing is drawn
    QFont m_font;
    QPoint m_position;
};

} // namespace lv
