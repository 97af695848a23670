#include "app/splash.h"
#include "base/version.h"

#include <QPainter>
#include <QTimer>

namespace lv {

Splash::Splash(QWidget* parent, int showMs)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(360, 160);
    QTimer::singleShot(showMs, this, &QWidget::close);
}

QString Splash::versionLine()
{
    return QStringLiteral("Version %1.%2  Build:%3")
        .arg(kVersionMajor)
        .arg(kVersionMinor, 2, 10, QLatin1Char('0'))
        .arg(kVersionBuild, 4, 10, QLatin1Char('0'));
}

void Splash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(20, 40, 90));
    g.setColorAt(1, QColor(5, 10, 30));
    p.fillRect(rect(), g);
    p.setPen(Qt::white);
    QFont f = font();
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 30, width(), 40), Qt::AlignCenter, programTitle());
    f.setPixelSize(13);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 90, width(), 24), Qt::AlignCenter, versionLine());
}

void Splash::mousePressEvent(QMouseEvent*) { close(); }

} // namespace lv
