#include "movie/ui/movieplayerview.h"

#include "movie/movieplayer.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace lv {

QIcon movieWindowIcon(const char* theme, QStyle::StandardPixmap fallback)
{
    // Made once for the program: a QIcon made anew puts every size it is
    // drawn at into Qt's pixmap cache under a key of its own, so icons made
    // for each opening would fill the cache with pictures of closed windows.
    static QHash<QString, QIcon> made;
    const QString name = QString::fromLatin1(theme);
    auto it = made.constFind(name);
    if (it == made.constEnd())
        it = made.insert(name, QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback)));
    return *it;
}

namespace {

QToolButton* transportButton(QWidget* parent, const char* name, const char* theme, QStyle::StandardPixmap fallback,
                             const QString& tip)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(movieWindowIcon(theme, fallback));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    // The keys belong to the movie window, not to a button that happens to have focus.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

MoviePlayerView::MoviePlayerView(MoviePlayer& player, QWidget* parent)
    : QWidget(parent)
    , m_player(player)
{
    setObjectName(QStringLiteral("movie"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_bar = new QWidget(this);
    m_bar->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(m_bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    m_play = transportButton(m_bar, "play", "media-playback-start", QStyle::SP_MediaPlay, tr("Play"));
    m_stop = transportButton(m_bar, "stop", "media-playback-stop", QStyle::SP_MediaStop, tr("Stop"));
    m_back = transportButton(m_bar, "back", "media-skip-backward", QStyle::SP_MediaSeekBackward, tr("One frame back"));
    m_forward =
        transportButton(m_bar, "forward", "media-skip-forward", QStyle::SP_MediaSeekForward, tr("One frame forward"));
    m_seek = new QSlider(Qt::Horizontal, m_bar);
    m_seek->setObjectName(QStringLiteral("seek"));
    m_seek->setFocusPolicy(Qt::NoFocus);
    m_seek->setRange(0, 0);
    row->addWidget(m_play);
    row->addWidget(m_stop);
    row->addWidget(m_back);
    row->addWidget(m_forward);
    row->addWidget(m_seek, 1);

    connect(m_play, &QToolButton::clicked, &m_player, &MoviePlayer::togglePlay);
    connect(m_stop, &QToolButton::clicked, &m_player, &MoviePlayer::stop);
    connect(m_back, &QToolButton::clicked, &m_player, [this] { m_player.step(-1); });
    connect(m_forward, &QToolButton::clicked, &m_player, [this] { m_player.step(1); });
    // Dragging shows the frames under the handle; a click on the groove jumps.
    connect(m_seek, &QSlider::sliderMoved, &m_player, &MoviePlayer::seekFrame);
    connect(m_seek, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction)
            m_player.seekFrame(m_seek->sliderPosition());
    });
    connect(&m_player, &MoviePlayer::frameShown, this, &MoviePlayerView::showFrame);
    connect(&m_player, &MoviePlayer::playingChanged, this, &MoviePlayerView::updateControls);
    connect(&m_player, &MoviePlayer::readyStateChanged, this, &MoviePlayerView::updateControls);
    connect(&m_player, &MoviePlayer::openingStarted, this, [this] {
        m_image = QImage();
        updateControls();
        updateGeometry();
        update();
    });
    connect(&m_player, &MoviePlayer::ended, this, [this] { m_seek->setValue(m_seek->maximum()); });
    updateControls();
}

int MoviePlayerView::barHeight() const
{
    return m_bar->sizeHint().height();
}

QSize MoviePlayerView::sizeHint() const
{
    QSize picture = m_player.frameSize();
    if (picture.isEmpty())
        picture = QSize(160, 120);
    return QSize(std::max(picture.width(), m_bar->sizeHint().width() + 80), picture.height() + barHeight());
}

QRect MoviePlayerView::pictureRect() const
{
    return QRect(0, 0, width(), std::max(0, height() - barHeight()));
}

void MoviePlayerView::resizeEvent(QResizeEvent*)
{
    m_bar->setGeometry(0, height() - barHeight(), width(), barHeight());
}

void MoviePlayerView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect area = pictureRect();
    if (m_image.isNull()) {
        p.fillRect(area, Qt::black);
        return;
    }
    // The picture at its own size, centred; scaled only when it does not fit.
    QSize size = m_image.size();
    if (size.width() > area.width() || size.height() > area.height())
        size.scale(area.size(), Qt::KeepAspectRatio);
    const QRect target(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2,
                       size.width(), size.height());
    p.fillRect(area, Qt::black);
    p.drawImage(target, m_image);
}

void MoviePlayerView::showFrame(const QImage& image, qint64 frame)
{
    m_image = image;
    if (!m_seek->isSliderDown()) {
        const QSignalBlocker block(m_seek);
        m_seek->setValue(int(frame));
    }
    update(pictureRect());
}

void MoviePlayerView::updateControls()
{
    const bool ready = m_player.readyState() == MoviePlayer::Complete && m_player.frameCount() > 0;
    for (QWidget* w : {static_cast<QWidget*>(m_play), static_cast<QWidget*>(m_stop), static_cast<QWidget*>(m_back),
                       static_cast<QWidget*>(m_forward), static_cast<QWidget*>(m_seek)})
        w->setEnabled(ready);
    {
        const QSignalBlocker block(m_seek);
        m_seek->setRange(0, ready ? int(std::min<qint64>(m_player.frameCount() - 1, INT32_MAX)) : 0);
    }
    const bool playing = m_player.isPlaying();
    m_play->setIcon(playing ? movieWindowIcon("media-playback-pause", QStyle::SP_MediaPause)
                            : movieWindowIcon("media-playback-start", QStyle::SP_MediaPlay));
    m_play->setToolTip(playing ? tr("Pause") : tr("Play"));
}

} // namespace lv
