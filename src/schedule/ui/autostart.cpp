#include "schedule/ui/autostart.h"
#include "base/clock.h"
#include "base/textnumber.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QVBoxLayout>

namespace lv {

namespace {

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

QSpinBox* spin(const QString& name, int max, QWidget* parent)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(0, max);
    return s;
}

QLabel* label(const QString& name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

} // namespace

Autostart::Autostart(CaptureModel& model, QWidget* parent)
    : QWidget(parent, Qt::Dialog)
    , m_model(model)
{
    setObjectName(QStringLiteral("Autostart"));
    setWindowTitle(QStringLiteral("Autostart"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* v = new QVBoxLayout(this);

    counttag = new QTabBar(this);
    counttag->setObjectName(QStringLiteral("counttag"));
    counttag->addTab(QStringLiteral("by Countdown"));
    counttag->addTab(QStringLiteral("by Date and Time"));
    v->addWidget(counttag);

    countframe2 = new QFrame(this);
    countframe2->setObjectName(QStringLiteral("countframe2"));
    auto* g2 = new QGridLayout(countframe2);
    chor = spin(QStringLiteral("chor"), 10, countframe2);
    cmin = spin(QStringLiteral("cmin"), 59, countframe2);
    csec = spin(QStringLiteral("csec"), 59, countframe2);
    dhor = label(QStringLiteral("dhor"), QStringLiteral("00"), countframe2);
    dmin = label(QStringLiteral("dmin"), QStringLiteral("00"), countframe2);
    dsec = label(QStringLiteral("dsec"), QStringLiteral("00"), countframe2);
    QFont big = dhor->font();
    big.setPointSize(big.pointSize() * 2);
    int col = 0;
    for (auto [l, s] : {std::pair{dhor, chor}, std::pair{dmin, cmin}, std::pair{dsec, csec}}) {
        l->setFont(big);
        g2->addWidget(l, 0, col);
        g2->addWidget(s, 1, col);
        ++col;
    }
    v->addWidget(countframe2);

    countframe1 = new QFrame(this);
    countframe1->setObjectName(QStringLiteral("countframe1"));
    auto* g1 = new QGridLayout(countframe1);
    ano = new QComboBox(countframe1);
    ano->setObjectName(QStringLiteral("ano"));
    mes = new QComboBox(countframe1);
    mes->setObjectName(QStringLiteral("mes"));
    dia = new QComboBox(countframe1);
    dia->setObjectName(QStringLiteral("dia"));
    bh = spin(QStringLiteral("bh"), 23, countframe1);
    bm = spin(QStringLiteral("bm"), 59, countframe1);
    bs = spin(QStringLiteral("bs"), 59, countframe1);
    g1->addWidget(ano, 0, 0);
    g1->addWidget(mes, 0, 1);
    g1->addWidget(dia, 0, 2);
    g1->addWidget(bh, 1, 0);
    g1->addWidget(bm, 1, 1);
    g1->addWidget(bs, 1, 2);
    v->addWidget(countframe1);

    RealDate = label(QStringLiteral("RealDate"), {}, this);
    RealTime = label(QStringLiteral("RealTime"), {}, this);
    v->addWidget(RealDate);
    v->addWidget(RealTime);

    auto* buttons = new QHBoxLayout;
    start = new QPushButton(QStringLiteral("OK"), this);
    start->setObjectName(QStringLiteral("start"));
    cancelbutton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelbutton->setObjectName(QStringLiteral("cancelbutton"));
    buttons->addStretch();
    buttons->addWidget(start);
    buttons->addWidget(cancelbutton);
    v->addLayout(buttons);

    // Opening: the clock, the year, month and day lists on today.
    const QDateTime now = clock().now();
    const QLocale c = QLocale::c();
    for (int y = 0; y <= 10; ++y)
        ano->addItem(QString::number(now.date().year() + y));
    ano->setCurrentIndex(0);
    for (int m = 1; m <= 12; ++m)
        mes->addItem(c.standaloneMonthName(m, QLocale::LongFormat));
    mes->setCurrentIndex(now.date().month() - 1);
    for (int d = 1; d <= 31; ++d)
        dia->addItem(QString::number(d));
    dia->setCurrentIndex(now.date().day() - 1);
    refreshClock();

    for (auto [s, l] : {std::pair{chor, dhor}, std::pair{cmin, dmin}, std::pair{csec, dsec}})
        connect(s, qOverload<int>(&QSpinBox::valueChanged), l, [l](int value) { l->setText(twoDigits(value)); });
    connect(counttag, &QTabBar::currentChanged, this, &Autostart::selectTab);
    connect(start, &QPushButton::clicked, this, &Autostart::arm);
    connect(cancelbutton, &QPushButton::clicked, this, &QWidget::close);

    for (QTimer* t : {&CDTimer, &tcountdown, &tdata})
        t->setInterval(1000);
    connect(&CDTimer, &QTimer::timeout, this, &Autostart::cdTimerTick);
    connect(&tcountdown, &QTimer::timeout, this, &Autostart::countdownTick);
    connect(&tdata, &QTimer::timeout, this, &Autostart::dateTimeTick);
    CDTimer.start();
    selectTab(0);
}

Autostart::~Autostart() = default;

void Autostart::refreshClock()
{
    const QDateTime now = clock().now();
    const QLocale c = QLocale::c();
    RealDate->setText(c.toString(now.date(), QStringLiteral("dddd")) + QStringLiteral(", ")
                      + c.toString(now.date(), QStringLiteral("dd MMMM yyyy")));
    RealTime->setText(QLocale::system().toString(now.time(), QLocale::LongFormat));
}

void Autostart::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Only values the controls can hold are taken over.
    const CaptureSettings& c = m_model.settings();
    if (c.Hours >= chor->minimum() && c.Hours <= chor->maximum())
        chor->setValue(c.Hours);
    if (c.Minutes >= cmin->minimum() && c.Minutes <= cmin->maximum())
        cmin->setValue(c.Minutes);
    if (c.Seconds >= csec->minimum() && c.Seconds <= csec->maximum())
        csec->setValue(c.Seconds);
    showCountdown();
}

void Autostart::closeEvent(QCloseEvent* event)
{
    CDTimer.stop();
    tcountdown.stop();
    tdata.stop();
    QWidget::closeEvent(event);
}

void Autostart::selectTab(int index)
{
    if (counttag->currentIndex() != index)
        counttag->setCurrentIndex(index);
    countframe2->setVisible(index == 0);
    countframe1->setVisible(index == 1);
}

schedule::DateChoice Autostart::dateChoice() const
{
    schedule::DateChoice c;
    c.year = static_cast<int>(leadingNumber(ano->currentText()));
    c.month = mes->currentIndex() + 1;
    c.day = dia->currentIndex() < 0 ? 0 : readInt32(dia->currentText());
    return c;
}

void Autostart::process_date()
{
    schedule::DateChoice c = dateChoice();
    const schedule::DateChoice before = c;
    schedule::processDate(clock().now().date(), c);
    if (c.month != before.month)
        mes->setCurrentIndex(c.month - 1);
    if (c.day != before.day)
        dia->setCurrentIndex(dia->findText(QString::number(c.day)));
}

void Autostart::process_time()
{
    int h = bh->value();
    int m = bm->value();
    int s = bs->value();
    schedule::processTime(clock().now(), dateChoice(), h, m, s);
    bh->setValue(h);
    bm->setValue(m);
    bs->setValue(s);
}

void Autostart::cdTimerTick()
{
    refreshClock();
    process_date();
    process_time();
}

void Autostart::showCountdown()
{
    dhor->setText(twoDigits(chor->value()));
    dmin->setText(twoDigits(cmin->value()));
    dsec->setText(twoDigits(csec->value()));
}

void Autostart::arm()
{
    if (counttag->currentIndex() == 0) {
        m_model.edit([this](CaptureSettings& c) {
            c.Hours = static_cast<int16_t>(chor->value());
            c.Minutes = static_cast<int16_t>(cmin->value());
            c.Seconds = static_cast<int16_t>(csec->value());
        });
        tcountdown.start();
        for (QWidget* w : std::initializer_list<QWidget*>{start, chor, cmin, csec})
            w->hide();
    } else {
        m_wait = schedule::DateTimeWait(dateChoice(), bh->value(), bm->value(), bs->value());
        tdata.start();
        for (QWidget* w : std::initializer_list<QWidget*>{start, bh, bm, bs})
            w->hide();
        for (QWidget* w : std::initializer_list<QWidget*>{ano, mes, dia})
            w->setEnabled(false);
    }
    counttag->setEnabled(false);
}

void Autostart::countdownTick()
{
    schedule::Countdown c{chor->value(), cmin->value(), csec->value()};
    const bool fired = schedule::countdownTick(c);
    chor->setValue(c.hours);
    cmin->setValue(c.minutes);
    csec->setValue(c.seconds);
    showCountdown();
    if (fired) {
        tcountdown.stop();
        emit fire();
    }
}

void Autostart::dateTimeTick()
{
    if (!m_wait.isValid()) {
        // Re-read the controls: a day that does not exist in the month (31 June) never comes.
        m_wait = schedule::DateTimeWait(dateChoice(), bh->value(), bm->value(), bs->value());
    }
    if (m_wait.tick(clock().now())) {
        tdata.stop();
        emit fire();
    }
}

} // namespace lv
