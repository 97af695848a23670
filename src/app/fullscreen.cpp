#include "app/fullscreen.h"
#include "capture/ui/liveview.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include <cmath>

namespace lv {

Fullscreen::Fullscreen(int deviceIndex, int previewRate, const QString& tag, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , m_deviceIndex(deviceIndex)
    , m_previewRate(previewRate)
    , m_tag(tag)
{
    setObjectName(QStringLiteral("Fullscreen"));
    setWindowTitle(QStringLiteral("FullScreen"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    // The text box takes the keyboard; it sits out of sight.
    m_keyy = new QLineEdit(this);
    m_keyy->setObjectName(QStringLiteral("Keyy"));
    m_keyy->setGeometry(-100, -100, 10, 10);
    m_keyy->installEventFilter(this);
    m_mira = new QLabel(this);
    m_mira->setObjectName(QStringLiteral("mira"));
    m_mira->setAutoFillBackground(true);
    m_mira->setPalette(p);
    const QRect screen = this->screen() ? this->screen()->geometry() : QRect(0, 0, 1024, 768);
    m_mira->move(screen.width(), screen.height());
    setGeometry(screen);
}

Fullscreen::~Fullscreen() { releaseDevice(); }

QPoint Fullscreen::centredPosition(QSize screen, QSize image)
{
    return {static_cast<int>(std::lround((screen.width() - image.width()) / 2.0)),
            static_cast<int>(std::lround((screen.height() - image.height()) / 2.0))};
}

void Fullscreen::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!m_connected)
        connectDevice();
    m_keyy->setFocus();
}

void Fullscreen::connectDevice()
{
    m_capture = LiveView::CreateCaptureWindow(this);
    m_capture->installEventFilter(this);
    if (!m_capture->ConnectDriver(m_deviceIndex)) {
        LiveView::DisconnectDriver(m_capture);
        m_capture = nullptr;
        return;
    }
    m_connected = true;
    CaptureDriverCaps caps;
    m_capture->GetDriverCaps(caps);
    m_capture->StartPreview(m_previewRate);
    CaptureStatus st;
    m_capture->GetStatus(st);
    const QSize image(static_cast<int>(st.uiImageWidth), static_cast<int>(st.uiImageHeight));
    // A picture larger than the screen is fitted to it rather than cut off.
    if (st.fScale == 1 && image.width() <= width() && image.height() <= height()) {
        m_capture->move(centredPosition(size(), image));
        m_capture->FitWindow(0, 0, 0, 0);
    } else {
        m_capture->SetScale(true);
        m_capture->setGeometry(rect());
    }
    if (m_tag == QLatin1String("overlay"))
        m_capture->StartOverlay();
}

void Fullscreen::releaseDevice()
{
    if (m_capture) {
        LiveView::DisconnectDriver(m_capture);
        m_capture = nullptr;
    }
    m_connected = false;
}

void Fullscreen::keyPressEvent(QKeyEvent*) { accept(); }

bool Fullscreen::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_keyy || watched == m_capture)) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Fullscreen::done(int result)
{
    releaseDevice();
    QDialog::done(result);
}

} // namespace lv
