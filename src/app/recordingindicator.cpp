#include "app/recordingindicator.h"
#include "app/mainwindow.h"
#include "app/videoscreen.h"
#include "capture/ui/liveview.h"
#include "capture/recordingstatus.h"

#include <QPainter>
#include <QPainterPath>

namespace lv {

RecordingIndicator::RecordingIndicator(MainWindow& master, QWidget* videoScreen)
    : QWidget(videoScreen)
    , m_master(master)
{
    setObjectName(QStringLiteral("RecordingIndicator"));
    // A press on the picture must still reach whatever stops a recording.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    QFont f = font();
    f.setBold(true);
    setFont(f);
    hide();
    m_timer.setInterval(200);
    connect(&m_timer, &QTimer::timeout, this, &RecordingIndicator::refresh);
    m_timer.start();
}

QString RecordingIndicator::textFor(const QString& band, uint32_t frames, int32_t frameRate, int pictures)
{
    if (band == QLatin1String("movie"))
        return recordingstatus::elapsedText(frames, frameRate).left(8); // hh:mm:ss
    if (band == QLatin1String("multiple"))
        return pictures == 1 ? QStringLiteral("1 picture") : QStringLiteral("%1 pictures").arg(pictures);
    return {};
}

void RecordingIndicator::refresh()
{
    LiveView* w = m_master.videoScreen()->captureWindow();
    const bool running = m_master.model().runState() != RunState::Idle;
    QString text;
    if (w && w->isVisible() && running) {
        const QString band = m_master.visibleBand();
        CaptureStatus s;
        const bool recording = w->GetStatus(s) && s.fCapturingNow == 1;
        if (band == QLatin1String("multiple") || recording)
            text = textFor(band, recording ? s.dwCurrentVideoFrame : 0, m_master.run().FrameRate, m_master.run().ImageCount);
    }
    if (text.isEmpty()) {
        m_text.clear();
        hide();
        return;
    }
    if (text != m_text) {
        m_text = text;
        update();
    }
    const QFontMetrics fm(font());
    const int h = fm.height() + 8;
    const QSize size(h + fm.horizontalAdvance(m_text) + 10, h);
    setGeometry(QRect(w->geometry().topLeft() + QPoint(8, 8), size));
    raise();
    show();
}

void RecordingIndicator::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    const qreal d = r.height() * 0.5;
    p.setBrush(QColor(230, 20, 30));
    p.drawEllipse(QRectF(r.left() + (r.height() - d) / 2, r.top() + (r.height() - d) / 2, d, d));
    p.setPen(Qt::white);
    p.drawText(r.adjusted(r.height(), 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}

} // namespace lv
