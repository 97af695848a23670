#include "base/clock.h"
#include "image/drawnpicture.h"
#include "image/stamping.h"
#include "imagetesttools.h"

#include <QtTest>

using namespace lv;

namespace {

// Bounding box of the pixels where the stamped picture differs from the frame
// and the colour leans to `channel` (0 red, 1 green, 2 blue; -1 any).
QRect inkBox(const QImage& stamped, const QImage& frame, int channel = -1)
{
    QRect box;
    for (int y = 0; y < stamped.height(); ++y)
        for (int x = 0; x < stamped.width(); ++x) {
            const QRgb p = stamped.pixel(x, y);
            if (p == frame.pixel(x, y))
                continue;
            const int c[3] = {qRed(p), qGreen(p), qBlue(p)};
            if (channel >= 0 && (c[channel] < 60 || c[(channel + 1) % 3] > c[channel] / 2 || c[(channel + 2) % 3] > c[channel] / 2))
                continue;
            box |= QRect(x, y, 1, 1);
        }
    return box;
}

QImage blackFrame(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::black);
    return img;
}

constexpr std::uint32_t kRed = 255, kGreen = 255 << 8, kBlue = 255u << 16, kWhite = 0xffffff;

} // namespace

class TestStamping : public QObject {
    Q_OBJECT

private slots:
    void init() { m_clock.set(QDateTime(QDate(2000, 7, 31), QTime(9, 30, 0))); setClock(&m_clock); }
    void cleanup() { setClock(nullptr); }

    void expandsPlaceholders_data();
    void expandsPlaceholders();
    void positionTable_data();
    void positionTable();
    void sixPositionsOnTheRenderedPicture_data();
    void sixPositionsOnTheRenderedPicture();
    void threeLinesStack_data();
    void threeLinesStack();
    void secondStampingLeavesOnlySecondSet();

private:
    FixedClock m_clock;
};

void TestStamping::expandsPlaceholders_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lower-case placeholders") << "Cam &frm& at &time" << "Cam 12 at 09:30:00";
    QTest::newRow("placeholder ends the text") << "on &DaTe" << "on 07-31-2000";
    QTest::newRow("whole text is a placeholder") << "&TIME" << "09:30:00";
    QTest::newRow("shorter than five") << "&tim" << "&tim";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("ampersand before a placeholder") << "&&FRM&&" << "&12&";
    QTest::newRow("back to back") << "&time&date" << "09:30:0007-31-2000";
    QTest::newRow("near miss kept") << "&TIMX &DAT" << "&TIMX &DAT";
}

void TestStamping::expandsPlaceholders()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ExpandStampText(text, 12), expected);
}

void TestStamping::positionTable_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("position");
    QTest::addColumn<QPoint>("expected");
    // Picture 200 × 100, string 60 × 14, one line L = 15, current position (3, 4).
    const int text = int(StampKind::Text), date = int(StampKind::Date), time = int(StampKind::Time);
    QTest::newRow("text top left") << text << 0 << QPoint(0, 0);
    QTest::newRow("text top right") << text << 1 << QPoint(140, 0);
    QTest::newRow("text top center") << text << 2 << QPoint(70, 0);
    QTest::newRow("text bottom left") << text << 3 << QPoint(0, 100 - 30 - 14);
    QTest::newRow("date top right") << date << 1 << QPoint(140, 15);
    QTest::newRow("date bottom left") << date << 3 << QPoint(0, 70);
    QTest::newRow("date bottom right") << date << 4 << QPoint(140, 100 - 15 - 14);
    QTest::newRow("date bottom center") << date << 5 << QPoint(70, 71);
    QTest::newRow("time top center") << time << 2 << QPoint(70, 30);
    QTest::newRow("time bottom right") << time << 4 << QPoint(140, 86);
    QTest::newRow("outside the list: current position") << time << 6 << QPoint(3, 4);
    QTest::newRow("negative: current position") << date << -1 << QPoint(3, 4);
}

void TestStamping::positionTable()
{
    QFETCH(int, kind);
    QFETCH(int, position);
    QFETCH(QPoint, expected);
    QCOMPARE(stampPosition(StampKind(kind), position, QSize(200, 100), QSize(60, 14), 15, QPoint(3, 4)), expected);
}

void TestStamping::sixPositionsOnTheRenderedPicture_data()
{
    QTest::addColumn<int>("position");
    for (int p = 0; p < 6; ++p)
        QTest::newRow(qPrintable(QStringLiteral("time at %1").arg(p))) << p;
}

void TestStamping::sixPositionsOnTheRenderedPicture()
{
    QFETCH(int, position);
    DrawnPicture pic;
    const QImage frame = blackFrame(240, 160);
    pic.setFrame(frame);
    StampSettings s;
    s.timeOn = true;
    s.timeColor = kWhite;
    s.timePosition = position;
    StampImage(pic, s, 1);
    const QRect ink = inkBox(pic.drawnImage(), frame);
    QVERIFY(!ink.isEmpty());

    const QSize ts = pic.textSize(QStringLiteral("09:30:00"));
    const int lineH = pic.textSize(QStringLiteral("AAA")).height();
    const QRect box(stampPosition(StampKind::Time, position, frame.size(), ts, lineH, {}), ts);
    QVERIFY2(box.contains(ink), qPrintable(QStringLiteral("ink %1,%2 %3x%4 outside box %5,%6 %7x%8")
                                               .arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())
                                               .arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
    // Measured on the picture: left stamps start at the left edge, right ones end
    // at the right edge, centred ones sit in the middle; bottom ones reach down to
    // the last line, top ones sit on the third line (time is the third stamp).
    const int col = position % 3;
    if (col == 0) QVERIFY(ink.left() <= 2);
    if (col == 1) QVERIFY2(ink.right() >= 240 - 4, qPrintable(QString::number(ink.right())));
    if (col == 2) QVERIFY(std::abs((ink.left() + ink.right()) / 2 - 120) <= 3);
    if (position >= 3) {
        QCOMPARE(box.bottom(), 159); // the string's box touches the bottom edge
        QVERIFY(ink.bottom() >= 159 - lineH / 2);
    } else {
        QVERIFY(ink.top() >= 2 * lineH && ink.bottom() < 3 * lineH);
    }
}

void TestStamping::threeLinesStack_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("all top left") << 0;
    QTest::newRow("all top right") << 1;
    QTest::newRow("all bottom left") << 3;
    QTest::newRow("all bottom center") << 5;
}

void TestStamping::threeLinesStack()
{
    QFETCH(int, position);
    DrawnPicture pic;
    const QImage frame = blackFrame(260, 150);
    pic.setFrame(frame);
    StampSettings s{true, kBlue, position, true, kGreen, position, true, kRed, position, QStringLiteral("Cam &FRM&")};
    StampImage(pic, s, 4);
    const QImage out = pic.drawnImage();
    const int L = pic.textSize(QStringLiteral("AAA")).height();
    const QRect text = inkBox(out, frame, 0), date = inkBox(out, frame, 1), time = inkBox(out, frame, 2);
    QVERIFY(!text.isEmpty() && !date.isEmpty() && !time.isEmpty());
    // Lines run text, date, time from the top down, each within its own line.
    const int first = position < 3 ? 0 : 150 - 3 * L;
    QVERIFY2(text.top() >= first && text.bottom() < first + L, qPrintable(QString::number(text.top())));
    QVERIFY(date.top() >= first + L && date.bottom() < first + 2 * L);
    QVERIFY(time.top() >= first + 2 * L && time.bottom() < first + 3 * L);
}

void TestStamping::secondStampingLeavesOnlySecondSet()
{
    DrawnPicture pic;
    const QImage frame = lvtest::blockImage(200, 120);
    pic.setFrame(frame);
    StampSettings first;
    first.textOn = true;
    first.textColor = kWhite;
    first.text = QStringLiteral("FIRST FIRST FIRST");
    StampImage(pic, first, 1);
    const QRect firstInk = inkBox(pic.drawnImage(), frame);
    QVERIFY(!firstInk.isEmpty());

    StampSettings second;
    second.timeOn = true;
    second.timeColor = kWhite;
    second.timePosition = 4;
    StampImage(pic, second, 2);
    const QRect secondInk = inkBox(pic.drawnImage(), frame);
    QVERIFY(!secondInk.isEmpty());
    QVERIFY(!secondInk.intersects(firstInk)); // only the bottom-right time is left
    QCOMPARE(pic.frame(), frame);             // the frame itself was never drawn on

    StampImage(pic, StampSettings{}, 3);      // nothing on: a clean frame
    QCOMPARE(pic.drawnImage(), frame);
}

QTEST_MAIN(TestStamping)
#include "tst_stamping.moc"
