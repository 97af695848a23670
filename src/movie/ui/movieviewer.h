#pragma once

#include "movie/frameextractor.h"
#include "movie/movieplayer.h"
#include "movie/recompressor.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;
class QToolBar;

namespace lv {

class MoviePlayerView;

// What the movie window uses of the main window, handed in by whoever opens
// it, so this layer never includes the application's windows.
struct MovieViewerHost {
    // The main window's status label (StatusString).
    std::function<void(const QString&)> status;
    // AllControls(enabled) of the main window.
    std::function<void(bool)> allControls;
    // The main window's mouse pointer: busy or normal.
    std::function<void(bool)> busy;
    // Opens a picture in a new image editor with the given caption, without blocking.
    std::function<void(const QImage&, const QString&)> openInEditor;
    // Offers the user a way to stop a long extraction while the windows are
    // disabled (shown with the handler, hidden with an empty one).
    std::function<void(std::function<void()>)> offerCancel;
    // Set when the window loads (RunRecord::ViewerShown).
    std::function<void()> viewerShown;
    // The JPEG quality of the preferences.
    std::function<int()> jpegQuality;
};

// The movie window: plays one AVI file, shows the position, and offers the
// tools of its tool bar (recompress, extract image, extract all). UI thread only.
class MovieViewer final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieViewer)

public:
    // autoplay: the "Autoplay" preference ("1" starts a loaded movie at once).
    MovieViewer(MovieViewerHost host, const QString& autoplay, QWidget* parent = nullptr);
    ~MovieViewer() override;

    // Loads a movie: the player's file name, the caption, and shows the window.
    void openMovie(const QString& fileName, const QString& caption);

    // Tool bar keys: "recompress", "extractimg", "extractall"; others do nothing.
    void toolbarClicked(const QString& key);
    // Asks for an output name and the compression options, then recompresses
    // the loaded movie on a worker thread; the status line follows it.
    void RecompressFile();
    void ExtractImage();
    void ExtractAllImages();
    // Sizes the window around the player at the movie's size, as far as the
    // document area allows.
    void FitToMovie();
    // The size around the player at the movie's own size.
    QSize sizeHint() const override;

    MoviePlayer& player() { return m_player; }
    MoviePlayerView* movie() const { return m_movie; }
    QToolBar* Mastertoolbar() const { return m_toolbar; }
    QLabel* MovieInfo() const { return m_movieInfo; }
    QRadioButton* DisplayType(int index) const { return m_displayType[index == 1]; }
    QTimer& Timer1() { return m_timer1; }
    FrameExtractor& extractor() { return m_extractor; }
    Recompression& recompression() { return m_recompression; }
    bool isBusy() const { return m_busy; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutTopStrip();
    void placeChildren();
    void refreshPosition();
    void beginWork();
    void endWork(ExtractOutcome outcome);
    void endBusy();
    void finishRecompression(const RecompressResult& result);
    void onExtracted(const QByteArray& dib, qint64 frame);

    MovieViewerHost m_host;
    MoviePlayer m_player;
    FrameExtractor m_extractor;
    Recompression m_recompression;
    QString m_recompressOutput;
    QWidget* m_coolBar = nullptr;
    QToolBar* m_toolbar = nullptr;
    QWidget* m_topPic = nullptr;
    QRadioButton* m_displayType[2] = {nullptr, nullptr};
    QLabel* m_movieInfo = nullptr;
    MoviePlayerView* m_movie = nullptr;
    QTimer m_timer1;
    bool m_busy = false;
    bool m_extractingAll = false;
    bool m_jpegFailureShown = false;
    QString m_extractCaption; // the caption at the time Extract Image started
};

} // namespace lv
