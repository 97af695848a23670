// The red dot over the live picture: there while a movie records or a series
// runs, gone after, and never in what is written to disk.
#include "tst_capturerig.h"

#include "app/recordingindicator.h"
#include "mainwindowparts.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

using lv::test::part;

using namespace lv;
using namespace captest;

namespace {

// Strongly red pixels: the indicator's dot. The test pattern's red bar lies far
// to the right of where the indicator sits.
int redPixels(const QImage& image, const QRect& area)
{
    int n = 0;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    for (int y = std::max(0, area.top()); y <= std::min(img.height() - 1, area.bottom()); ++y)
        for (int x = std::max(0, area.left()); x <= std::min(img.width() - 1, area.right()); ++x) {
            const QRgb c = img.pixel(x, y);
            if (qRed(c) > 180 && qGreen(c) < 70 && qBlue(c) < 70)
                ++n;
        }
    return n;
}

// Every frame of a movie, decoded by ffmpeg.
QList<QImage> decodeFrames(const QString& movie, QSize size)
{
    const QByteArray raw = run(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"),
                                                          QStringLiteral("-i"), movie, QStringLiteral("-f"),
                                                          QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                                                          QStringLiteral("rgb24"), QStringLiteral("-")});
    QList<QImage> frames;
    const qsizetype frameBytes = qsizetype(size.width()) * size.height() * 3;
    for (qsizetype at = 0; frameBytes > 0 && at + frameBytes <= raw.size(); at += frameBytes)
        frames << QImage(reinterpret_cast<const uchar*>(raw.constData() + at), size.width(), size.height(),
                         size.width() * 3, QImage::Format_RGB888)
                      .copy();
    return frames;
}

} // namespace

class TestRecordingIndicator : public QObject {
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<QString>("band");
        QTest::addColumn<uint>("frames");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("pictures");
        QTest::addColumn<QString>("text");
        QTest::newRow("movie start") << "movie" << 0u << 15 << 0 << "00:00:00";
        QTest::newRow("movie past an hour") << "movie" << 15u * 3725 << 15 << 0 << "01:02:05";
        QTest::newRow("movie of no rate counts frames as seconds") << "movie" << 7u << 0 << 0 << "00:00:07";
        QTest::newRow("series of one") << "multiple" << 0u << 15 << 1 << "1 picture";
        QTest::newRow("series of many") << "multiple" << 99u << 15 << 12 << "12 pictures";
        QTest::newRow("single image shows nothing") << "image" << 0u << 15 << 3 << "";
    }
    void texts()
    {
        QFETCH(QString, band);
        QFETCH(uint, frames);
        QFETCH(int, rate);
        QFETCH(int, pictures);
        QFETCH(QString, text);
        QCOMPARE(RecordingIndicator::textFor(band, frames, rate, pictures), text);
    }

    void movie()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("movie.avi"));
        Rig rig(movie);
        rig.setPattern({320, 240}, false, 15);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QSpinBox>(rig.master, "MovieFrameRateControl")->setValue(15);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(false);
        part<QSpinBox>(rig.master, "MovieSecondsControl")->setValue(2);
        auto* indicator = rig.master->videoScreen()->findChild<RecordingIndicator*>();
        QVERIFY(indicator);
        QVERIFY(!indicator->isVisible());

        rig.master->RecordButtonClicked();
        QTRY_VERIFY_WITH_TIMEOUT(indicator->isVisible(), 5000);
        QVERIFY2(indicator->text().startsWith(QStringLiteral("00:00:0")), qPrintable(indicator->text()));
        const QRect onPicture(rig.master->videoScreen()->captureWindow()->mapFrom(indicator->parentWidget(), indicator->pos()),
                              indicator->size());
        const QImage screen = rig.master->videoScreen()->grab().toImage();
        const qreal dpr = screen.devicePixelRatio();
        const QRect onScreen(indicator->geometry().topLeft() * dpr, indicator->size() * dpr);
        QVERIFY2(redPixels(screen, onScreen) > 10, "no red dot on the screen");

        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 15000);
        QTRY_VERIFY(!indicator->isVisible());

        const QList<QImage> frames = decodeFrames(movie, {320, 240});
        QVERIFY2(frames.size() >= 20, qPrintable(QString::number(frames.size())));
        for (int i = 0; i < frames.size(); ++i)
            QVERIFY2(redPixels(frames[i], onPicture) == 0, qPrintable(QStringLiteral("frame %1 carries the dot").arg(i)));
    }

    void series()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        rig.setPattern({320, 240}, true);
        rig.multiple(1);
        auto* indicator = rig.master->videoScreen()->findChild<RecordingIndicator*>();
        QVERIFY(indicator);
        rig.master->RecordButtonClicked();
        QTRY_VERIFY(indicator->isVisible());
        QCOMPARE(indicator->text(), QStringLiteral("0 pictures"));
        part<QPushButton>(rig.master, "Shooter")->click();
        part<QPushButton>(rig.master, "Shooter")->click();
        QTRY_COMPARE(indicator->text(), QStringLiteral("2 pictures"));
        const QRect onPicture(rig.master->videoScreen()->captureWindow()->mapFrom(indicator->parentWidget(), indicator->pos()),
                              indicator->size());
        rig.master->RecordButtonClicked();
        QTRY_VERIFY(!indicator->isVisible());

        const QStringList files = QDir(out.path()).entryList({QStringLiteral("*.bmp")}, QDir::Files);
        QCOMPARE(files.size(), 2);
        for (const QString& f : files) {
            const QImage saved(out.filePath(f));
            QCOMPARE(saved.size(), QSize(320, 240));
            QCOMPARE(redPixels(saved, onPicture), 0);
        }
    }
};

QTEST_MAIN(TestRecordingIndicator)
#include "tst_recordingindicator.moc"
