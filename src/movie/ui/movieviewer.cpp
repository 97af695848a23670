#include "movie/ui/movieviewer.h"

#include "base/dialogs.h"
#include "base/ui/subwindowfit.h"
#include "movie/moviereader.h"
#include "movie/ui/compressiondialog.h"
#include "movie/ui/movieplayerview.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace lv {

namespace {

// The main window's file dialog remembers the last name it returned.
QString& lastDialogName()
{
    static QString name;
    return name;
}

QAction* toolButton(QToolBar* bar, const char* key, const QString& text, const char* theme, QStyle::StandardPixmap fallback)
{
    QAction* a = bar->addAction(movieWindowIcon(theme, fallback), text);
    a->setObjectName(QString::fromLatin1(key));
    a->setToolTip(text);
    a->setIconText(text); // as written, "..." included
    // A toolbar's buttons take no focus by default; keyboard users reach these with Tab.
    if (QWidget* w = bar->widgetForAction(a))
        w->setFocusPolicy(Qt::TabFocus);
    return a;
}

} // namespace

MovieViewer::MovieViewer(MovieViewerHost host, const QString& autoplay, QWidget* parent)
    : QWidget(parent)
    , m_host(std::move(host))
{
    setObjectName(QStringLiteral("MovieViewer"));
    setWindowTitle(QStringLiteral("Movie Window"));
    setFocusPolicy(Qt::StrongFocus);

    m_coolBar = new QWidget(this);
    m_coolBar->setObjectName(QStringLiteral("CoolBar1"));
    auto* bands = new QVBoxLayout(m_coolBar);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);
    m_toolbar = new QToolBar(m_coolBar);
    m_toolbar->setObjectName(QStringLiteral("Mastertoolbar"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setFocusPolicy(Qt::NoFocus);
    toolButton(m_toolbar, "recompress", QStringLiteral("Recompress"), "document-save-as", QStyle::SP_DialogSaveButton);
    toolButton(m_toolbar, "extractimg", QStringLiteral("Extract Image"), "image-x-generic", QStyle::SP_FileIcon);
    toolButton(m_toolbar, "extractall", QStringLiteral("Extract All..."), "folder-pictures", QStyle::SP_DirIcon);
    connect(m_toolbar, &QToolBar::actionTriggered, this, [this](QAction* a) { toolbarClicked(a->objectName()); });
    bands->addWidget(m_toolbar);

    m_topPic = new QWidget(m_coolBar);
    m_topPic->setObjectName(QStringLiteral("TopPic"));
    m_displayType[0] = new QRadioButton(QStringLiteral("Time"), m_topPic);
    m_displayType[1] = new QRadioButton(QStringLiteral("Frames"), m_topPic);
    for (int i = 0; i < 2; ++i) {
        m_displayType[i]->setObjectName(QStringLiteral("DisplayType%1").arg(i));
        m_displayType[i]->setFocusPolicy(Qt::TabFocus); // a click leaves the keys (Space plays) with the movie
        m_displayType[i]->adjustSize();
        // On the change itself, so an accessibility client's toggle switches the display too.
        connect(m_displayType[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (!on)
                return;
            m_player.setDisplayMode(i);
            refreshPosition();
            layoutTopStrip();
        });
    }
    m_movieInfo = new QLabel(QStringLiteral("00:00:00.00 / 00:00:00.00"), m_topPic);
    m_movieInfo->setObjectName(QStringLiteral("MovieInfo"));
    m_movieInfo->adjustSize();
    m_topPic->setFixedHeight(std::max(m_displayType[0]->height(), m_movieInfo->height()) + 6);
    bands->addWidget(m_topPic);

    m_movie = new MoviePlayerView(m_player, this);

    m_timer1.setInterval(10);
    connect(&m_timer1, &QTimer::timeout, this, &MovieViewer::refreshPosition);

    connect(&m_player, &MoviePlayer::openingStarted, this, [this] {
        m_movieInfo->setText(QStringLiteral("Openning..."));
        layoutTopStrip();
    });
    connect(&m_player, &MoviePlayer::newStreamReady, this, &MovieViewer::FitToMovie);
    connect(&m_player, &MoviePlayer::readyStateChanged, this, [this](int state) {
        if (state == MoviePlayer::Complete)
            FitToMovie();
    });
    connect(&m_player, &MoviePlayer::openFailed, this, [this](const QString& why) {
        m_movieInfo->setText(QStringLiteral("00:00:00 / 00:00:00"));
        layoutTopStrip();
        if (m_host.status)
            m_host.status(QStringLiteral("Cannot play ") + m_player.fileName() + QStringLiteral(": ") + why);
    });

    connect(&m_extractor, &FrameExtractor::progress, this, [this](qint64 i, qint64 last) {
        if (m_host.status)
            m_host.status(savingFramesText(i, last));
    });
    connect(&m_extractor, &FrameExtractor::jpegFailed, this, [this](const QString& name, const QString&) {
        if (m_host.status)
            m_host.status(QStringLiteral("Error writing ") + name + QStringLiteral("JPEG File."));
        // One box per extraction, not one per frame.
        if (!m_jpegFailureShown) {
            m_jpegFailureShown = true;
            dialogs().message(QStringLiteral("Failed to save to JPG"), Dialogs::Icon::Warning, Dialogs::Buttons::Ok, {},
                              this);
        }
    });
    connect(&m_extractor, &FrameExtractor::frameExtracted, this, &MovieViewer::onExtracted);
    connect(&m_extractor, &FrameExtractor::finished, this, [this](ExtractOutcome outcome) { endWork(outcome); });
    connect(&m_recompression, &Recompression::progress, this, [this](int percent) {
        if (m_host.status)
            m_host.status(QStringLiteral("Compressing... ") + QString::number(percent) + QLatin1Char('%'));
    });
    connect(&m_recompression, &Recompression::finished, this, &MovieViewer::finishRecompression);

    // Window load: the player shows time, stands still, and starts by itself
    // only when the preference says so.
    if (m_host.viewerShown)
        m_host.viewerShown();
    m_displayType[0]->setChecked(true);
    m_player.setDisplayMode(MoviePlayer::Time);
    m_player.stop();
    m_player.setAutoStart(autoplay == QLatin1String("1"));
    m_timer1.start();
    FitToMovie();
}

MovieViewer::~MovieViewer()
{
    m_timer1.stop();
}

void MovieViewer::openMovie(const QString& fileName, const QString& caption)
{
    m_player.stop();
    m_player.setFileName(fileName);
    setWindowTitle(caption);
    if (QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->show();
    show();
    setFocus();
}

void MovieViewer::toolbarClicked(const QString& key)
{
    if (key == QLatin1String("recompress"))
        RecompressFile();
    else if (key == QLatin1String("extractimg"))
        ExtractImage();
    else if (key == QLatin1String("extractall"))
        ExtractAllImages();
}

void MovieViewer::refreshPosition()
{
    // While a file opens the label keeps saying so.
    if (m_player.readyState() != MoviePlayer::Complete)
        return;
    const QString text = movieInfoText(m_player.displayMode(), m_player.currentPosition(), m_player.duration());
    if (text == m_movieInfo->text())
        return;
    m_movieInfo->setText(text);
    layoutTopStrip();
}

void MovieViewer::layoutTopStrip()
{
    m_movieInfo->adjustSize();
    const int h = m_topPic->height();
    QRadioButton* time = m_displayType[0];
    QRadioButton* frames = m_displayType[1];
    time->move(0, (h - time->height()) / 2);
    frames->move(time->x() + time->width() + 2, time->y());
    m_movieInfo->move(m_topPic->width() - m_movieInfo->width() - 20, (h - m_movieInfo->height()) / 2);
}

QSize MovieViewer::sizeHint() const
{
    const QSize player = m_movie->sizeHint();
    const int coolHeight = m_coolBar->sizeHint().height();
    // Wide enough for the tool bar, and for the strip's buttons beside its label.
    const int strip = m_displayType[0]->width() + m_displayType[1]->width() + 2
        + std::max(m_movieInfo->sizeHint().width(), QFontMetrics(m_movieInfo->font())
                                                         .horizontalAdvance(QStringLiteral("00000000 / 0000000")))
        + 30;
    int width = player.width() + 30;
    if (width < m_toolbar->sizeHint().width())
        width = m_toolbar->sizeHint().width() + 20;
    return QSize(std::max(width, strip), player.height() + coolHeight + 20);
}

void MovieViewer::FitToMovie()
{
    const QSize wanted = sizeHint();
    updateGeometry();
    // The frame asks for the movie's whole size; where the area (even grown to
    // the screen) has less, the window is smaller and the picture scales, so
    // the controls below it stay in sight.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        SubWindowFit::resizeWithin(frame, frame->size() - frame->contentsRect().size() + wanted);
    else
        resize(wanted);
    placeChildren();
}

void MovieViewer::resizeEvent(QResizeEvent*)
{
    placeChildren();
}

void MovieViewer::placeChildren()
{
    const int coolHeight = m_coolBar->sizeHint().height();
    m_coolBar->setGeometry(0, 0, width(), coolHeight);
    const QSize want = m_movie->sizeHint();
    const int top = coolHeight + 8;
    // The player keeps the movie's size while it fits, and shrinks with the window otherwise.
    const QSize size(std::min(want.width(), std::max(0, width() - 4)), std::min(want.height(), std::max(0, height() - top - 4)));
    m_movie->setGeometry((width() - size.width()) / 2, top, size.width(), size.height());
    layoutTopStrip();
}

void MovieViewer::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        m_player.togglePlay();
        break;
    case Qt::Key_Left:
        m_player.step(-1);
        break;
    case Qt::Key_Right:
        m_player.step(1);
        break;
    case Qt::Key_Home:
        m_player.pause();
        m_player.toStart();
        break;
    case Qt::Key_End:
        m_player.toEnd();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void MovieViewer::closeEvent(QCloseEvent* event)
{
    m_timer1.stop();
    m_player.stop();
    if (!isEnabled() || m_busy) {
        // Refused: the window stays, and so does its position display.
        event->ignore();
        m_timer1.start();
        return;
    }
    m_player.setFileName({});
    event->accept();
}

// Common opening of both extractions: busy pointers, this window and the main
// window's controls disabled, the player paused.
void MovieViewer::beginWork()
{
    m_busy = true;
    setCursor(Qt::WaitCursor);
    if (m_host.busy)
        m_host.busy(true);
    setEnabled(false);
    if (m_host.allControls)
        m_host.allControls(false);
    m_player.pause();
}

void MovieViewer::endWork(ExtractOutcome outcome)
{
    if (m_host.offerCancel && m_extractingAll)
        m_host.offerCancel({});
    if (outcome == ExtractOutcome::Error && m_host.status)
        m_host.status(QStringLiteral("Error Extracting Image"));
    else if (outcome == ExtractOutcome::Done && m_extractingAll && m_host.status)
        m_host.status(QStringLiteral("Done"));
    else if (outcome == ExtractOutcome::Cancelled && m_host.status)
        m_host.status(QStringLiteral("Cancelled."));
    m_extractingAll = false;
    endBusy();
}

// Common end of the long tools: this window and the main window's controls
// enabled again, normal pointers.
void MovieViewer::endBusy()
{
    setEnabled(true);
    if (m_host.allControls)
        m_host.allControls(true);
    unsetCursor();
    if (m_host.busy)
        m_host.busy(false);
    m_busy = false;
    setFocus();
}

void MovieViewer::ExtractImage()
{
    if (m_busy)
        return;
    beginWork();
    // The frame on screen; standing at the very end means the last frame.
    int64_t n = m_player.currentFrame();
    if (n >= m_player.frameCount())
        n = m_player.frameCount() - 1;
    m_extractCaption = windowTitle();
    if (m_player.fileName().isEmpty() || n < 0 || !m_extractor.extractOne(m_player.fileName(), n))
        endWork(ExtractOutcome::Quiet);
}

void MovieViewer::onExtracted(const QByteArray& dib, qint64 frame)
{
    const QImage picture = imageFromPackedDib(dib);
    if (picture.isNull())
        return;
    if (m_host.openInEditor)
        m_host.openInEditor(picture, extractedImageCaption(m_extractCaption, frame));
    if (m_host.status)
        m_host.status(QStringLiteral("Image Extracted"));
}

void MovieViewer::ExtractAllImages()
{
    if (m_busy)
        return;
    beginWork();
    const QString previous = lastDialogName();
    const QString target = dialogs().saveFile(QStringLiteral("Location to save images..."),
                                              QStringLiteral("Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|"),
                                              previous.left(std::max<qsizetype>(0, previous.size() - 4)), this);
    if (target.isEmpty() || m_player.fileName().isEmpty()) {
        endWork(ExtractOutcome::Quiet);
        return;
    }
    lastDialogName() = target;
    m_extractingAll = true;
    m_jpegFailureShown = false;
    const int quality = m_host.jpegQuality ? m_host.jpegQuality() : 100;
    if (!m_extractor.extractAll(m_player.fileName(), target, quality)) {
        endWork(ExtractOutcome::Quiet);
        return;
    }
    if (m_host.offerCancel)
        m_host.offerCancel([this] { m_extractor.cancel(); });
}

void MovieViewer::RecompressFile()
{
    if (m_busy)
        return;
    m_player.stop();
    const QString source = m_player.fileName();
    {
        // Nothing is asked, and nothing written, for a movie that cannot be read.
        MovieReader reader;
        if (source.isEmpty() || !reader.open(source) || reader.videoStream() < 0) {
            if (m_host.status)
                m_host.status(QStringLiteral("Error Recompressing "));
            return;
        }
    }
    const QString output = dialogs().saveFile(QStringLiteral("Save Recompressed AVI..."),
                                              QStringLiteral("Movie File (*.avi)|*.avi|Matroska Movie (*.mkv)|*.mkv|"
                                                             "MP4 Movie (*.mp4)|*.mp4"),
                                              source.left(std::max<qsizetype>(0, source.size() - 4)), this);
    if (output.isEmpty())
        return;
    lastDialogName() = output;
    const MovieContainer container = containerForFile(output);
    CompressionDialog options(this, savedCodecChoice(container), CompressionDialog::Purpose::Recompression,
                              container);
    if (options.exec() != QDialog::Accepted)
        return;
    m_recompressOutput = output;
    beginWork();
    if (!m_recompression.start(source, output, options.recompressOptions())) {
        finishRecompression({RecompressResult::Status::Failed, QStringLiteral("busy"), {}, {}});
        return;
    }
    if (m_host.offerCancel)
        m_host.offerCancel([this] { m_recompression.cancel(); });
}

void MovieViewer::finishRecompression(const RecompressResult& result)
{
    if (m_host.offerCancel)
        m_host.offerCancel({});
    switch (result.status) {
    case RecompressResult::Status::Recompressed:
        if (m_host.status)
            m_host.status(QStringLiteral("Recompressed"));
        endBusy();
        openMovie(result.output, QFileInfo(result.output).fileName());
        return;
    case RecompressResult::Status::Cancelled:
        if (m_host.status)
            m_host.status(QStringLiteral("Cancelled."));
        break;
    case RecompressResult::Status::Failed:
        // The reason follows the name, so a full disk or a refused name says why.
        if (m_host.status)
            m_host.status(QStringLiteral("Error Recompressing ") + m_recompressOutput
                          + (result.error.isEmpty() ? QString() : QStringLiteral(": ") + result.error));
        break;
    }
    endBusy();
}

} // namespace lv
