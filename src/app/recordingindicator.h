#pragma once


#include <QTimer>
#include <QWidget>

namespace lv {

class MainWindow;

// A red dot with the elapsed time over the live picture while a movie
// records, or with the count of pictures while a series runs. It is a widget
// of its own above the picture, so it is only ever on the screen and never in
// a recorded frame. It looks at the run state itself (five times a second),
// so the windows need not tell it anything. UI thread only.
class RecordingIndicator final : public QWidget {
    Q_OBJECT

public:
    RecordingIndicator(MainWindow& master, QWidget* videoScreen);

    // What it shows for a capture: the elapsed time of a movie, the pictures of
    // a series. Empty for neither.
    static QString textFor(const QString& band, uint32_t frames, int32_t frameRate, int pictures);

    // What it shows now (empty while hidden).
    QString text() const { return m_text; }

    // Looks at the run state now (the timer does so on its own).
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainWindow& m_master;
    QTimer m_timer;
    QString m_text;
};

} // namespace lv
