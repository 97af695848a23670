#pragma once

#include <QObject>
#include <QPointer>

class QPushButton;

namespace lv {

class MainWindow;
class MovieViewer;

// Opens and closes the movie window for the main window's commands: the file
// menu's "Movie Viewer...", the toolbar's "viewer", an .avi from "Open Capture
// File...", the pop-up after a capture and the close before a recording.
// The window lives in the main window's document area; there is one at a time.
// UI thread only.
class MovieWindows final : public QObject {
    Q_OBJECT

public:
    explicit MovieWindows(MainWindow& master);

    // The "Open AVI" dialog, then the movie window on the chosen file.
    void askAndOpen();
    // The movie window (made when missing) on fileName, captioned `caption`.
    void open(const QString& fileName, const QString& caption);
    // Closes the movie window; a refusal (it is busy) is ignored.
    void close();
    MovieViewer* viewer() const;

private:
    MovieViewer* ensureViewer();

    MainWindow& m_master;
    QPointer<MovieViewer> m_viewer;
    QPointer<QPushButton> m_cancel;
};

} // namespace lv
