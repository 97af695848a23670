#pragma once

#include <QIcon>
#include <QImage>
#include <QStyle>
#include <QWidget>

class QSlider;
class QToolButton;

namespace lv {

class MoviePlayer;

// A picture of the movie window by its theme name, the style's own where the
// theme has none; one QIcon per name for the whole program. UI thread only.
QIcon movieWindowIcon(const char* theme, QStyle::StandardPixmap fallback);

// The player's face: the picture at the movie's own size (scaled when the
// widget is made smaller or larger), and below it the transport bar: play /
// pause, stop, one frame back and forward, and a seek bar. UI thread only.
class MoviePlayerView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoviePlayerView)

public:
    explicit MoviePlayerView(MoviePlayer& player, QWidget* parent = nullptr);

    // The movie's size plus the transport bar (a small picture before a file loads).
    QSize sizeHint() const override;
    QRect pictureRect() const;

    QToolButton* playButton() const { return m_play; }
    QToolButton* stopButton() const { return m_stop; }
    QToolButton* backButton() const { return m_back; }
    QToolButton* forwardButton() const { return m_forward; }
    QSlider* seekBar() const { return m_seek; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showFrame(const QImage& image, qint64 frame);
    void updateControls();
    int barHeight() const;

    MoviePlayer& m_player;
    QImage m_image;
    QWidget* m_bar = nullptr;
    QToolButton* m_play = nullptr;
    QToolButton* m_stop = nullptr;
    QToolButton* m_back = nullptr;
    QToolButton* m_forward = nullptr;
    QSlider* m_seek = nullptr;
};

} // namespace lv
