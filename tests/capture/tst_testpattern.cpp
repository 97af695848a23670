#include "capture/testpattern.h"
#include "capture/testpatterndriver.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <cmath>
#include <mutex>
#include <atomic>

using namespace lv;

class TestTestPattern : public QObject {
    Q_OBJECT

private slots:
    void frameIsPureFunctionOfNumberAndSettings_data()
    {
        QTest::addColumn<QSize>("size");
        for (const QSize& s : TestPattern::sizes())
            QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(s.width()).arg(s.height()))) << s;
    }
    void frameIsPureFunctionOfNumberAndSettings()
    {
        QFETCH(QSize, size);
        TestPatternSettings s;
        s.size = size;
        const QImage a = TestPattern::render(17, s);
        QCOMPARE(a.size(), size);
        QCOMPARE(a.format(), QImage::Format_RGB888);
        QCOMPARE(TestPattern::render(17, s), a);
        QVERIFY(TestPattern::render(18, s) != a);
        // Rendering into a used buffer leaves nothing of the old picture behind.
        QImage reused = TestPattern::render(5, s);
        TestPattern::renderInto(reused, 17, s);
        QCOMPARE(reused, a);
    }

    // The I420 picture a recording takes is the RGB one: the bars, the ramp,
    // the block and the digits in their colours, at every size and brightness.
    void yuvPictureIsTheRgbPicture_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("brightness");
        QTest::addColumn<bool>("still");
        for (const QSize& size : TestPattern::sizes())
            QTest::addRow("%dx%d", size.width(), size.height()) << size << 0 << false;
        QTest::newRow("odd size, dimmed") << QSize(161, 121) << -60 << false;
        QTest::newRow("brightened, still") << QSize(320, 240) << 80 << true;
    }
    void yuvPictureIsTheRgbPicture()
    {
        QFETCH(QSize, size);
        QFETCH(int, brightness);
        QFETCH(bool, still);
        TestPatternSettings s;
        s.size = size;
        s.brightness = brightness;
        s.still = still;
        for (const uint64_t n : {0ull, 37ull, 12345678ull}) {
            YuvPicture yuv;
            TestPattern::renderYuvInto(yuv, n, s);
            QCOMPARE(yuv.size, size);
            QVERIFY(yuv.view().isValid());
            const QImage rgb = TestPattern::render(n, s);
            // Back to RGB with the JPEG equations, chroma cell by cell.
            const int w = size.width(), h = size.height(), cw = (w + 1) / 2, ch = (h + 1) / 2;
            const auto* Y = reinterpret_cast<const uint8_t*>(yuv.bytes.constData());
            const uint8_t* U = Y + w * h;
            const uint8_t* V = U + cw * ch;
            double sum = 0;
            int worst = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double l = Y[y * w + x], cb = U[(y / 2) * cw + x / 2] - 128.0, cr = V[(y / 2) * cw + x / 2] - 128.0;
                    const int got[3] = {int(std::lround(l + 1.402 * cr)), int(std::lround(l - 0.344136 * cb - 0.714136 * cr)),
                                        int(std::lround(l + 1.772 * cb))};
                    const uchar* want = rgb.constScanLine(y) + 3 * x;
                    for (int k = 0; k < 3; ++k) {
                        const int d = std::abs(std::clamp(got[k], 0, 255) - int(want[k]));
                        sum += d;
                        if (x % 2 == 0 && y % 2 == 0 && x + 1 < w && y + 1 < h
                            && rgb.pixel(x, y) == rgb.pixel(x + 1, y + 1) && rgb.pixel(x, y) == rgb.pixel(x + 1, y)
                            && rgb.pixel(x, y) == rgb.pixel(x, y + 1))
                            worst = std::max(worst, d); // inside a cell of one colour: exact but for rounding
                    }
                }
            QVERIFY2(worst <= 3, qPrintable(QStringLiteral("frame %1: %2 off in a plain cell").arg(n).arg(worst)));
            QVERIFY2(sum / (3.0 * w * h) < 2.0, qPrintable(QStringLiteral("frame %1: %2 off on average").arg(n).arg(sum / (3.0 * w * h))));
        }
    }

    // Frames drawn over a pooled buffer's last picture are the pictures drawn
    // afresh, whichever buffer comes back, however far the block moved, when
    // the look changes; and a picture still held is never drawn over.
    void pooledFramesAreThePicturesDrawnAfresh_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("held"); // pictures the recorder still holds
        QTest::addColumn<int>("step"); // frame numbers from one picture to the next
        QTest::newRow("one held, every frame") << QSize(320, 240) << 1 << 1;
        QTest::newRow("odd size, five held, skipping") << QSize(161, 121) << 5 << 7;
        QTest::newRow("more held than the pool") << QSize(160, 120) << 11 << 3;
    }
    void pooledFramesAreThePicturesDrawnAfresh()
    {
        QFETCH(QSize, size);
        QFETCH(int, held);
        QFETCH(int, step);
        TestPatternSettings s;
        s.size = size;
        s.rate = 5; // the block crosses in few frames: every position of it
        YuvPatternFrames frames;
        QList<std::pair<YuvPicture, QByteArray>> holding; // a picture and the bytes it had
        const auto fresh = [](uint64_t n, const TestPatternSettings& look) {
            YuvPicture p;
            TestPattern::renderYuvInto(p, n, look);
            return p;
        };
        for (int i = 0; i < 60; ++i) {
            if (i == 20)
                s.brightness = -40; // the bars change under a running stream
            if (i == 35)
                s.size = QSize(size.width() + 2, size.height() + 2);
            if (i == 45)
                s.still = true;
            if (i == 50)
                s.still = false;
            const uint64_t n = uint64_t(i) * uint64_t(step);
            const YuvPicture got = frames.frame(n, s);
            const YuvPicture want = fresh(n, s);
            QCOMPARE(got.size, want.size);
            QVERIFY(got.view().isValid());
            QVERIFY2(got.bytes == want.bytes, qPrintable(QStringLiteral("frame %1 (picture %2) differs").arg(n).arg(i)));
            holding.append({got, QByteArray(got.bytes.constData(), got.bytes.size())});
            while (holding.size() > held)
                holding.removeFirst();
            for (const auto& [picture, bytes] : holding)
                QVERIFY2(picture.bytes == bytes, "a held picture was drawn over");
        }
    }

    // A reader that comes late still gets the frames a device's buffers
    // kept, each stamped with the time it stands for, not the time it came.
    void lateReaderGetsTheFramesDue()
    {
        TestPatternDriver driver;
        TestPatternSettings s;
        s.size = {160, 120};
        s.rate = 30;
        driver.setSettings(s);
        QVERIFY(driver.open());
        constexpr int64_t periodUs = 1000000 / 30;
        std::mutex mutex;
        QList<std::pair<FramePtr, int64_t>> frames; // and when it came
        std::atomic<bool> stalled{false};
        driver.start(
            [&](const FramePtr& f) {
                {
                    std::lock_guard l(mutex);
                    frames.append({f, steadyMicros()});
                }
                if (f->sequence >= 3 && !stalled.exchange(true))
                    QThread::msleep(500); // the reader is busy for fifteen periods
            },
            [](const QString&) {});
        QTRY_VERIFY_WITH_TIMEOUT(([&] { std::lock_guard l(mutex); return frames.size() >= 12; })(), 10000);
        driver.close();
        const FramePtr first = frames.first().first;
        const int64_t startUs = first->timestampUs - int64_t(first->sequence) * periodUs;
        int oldOnArrival = 0;
        for (const auto& [f, came] : frames) {
            QCOMPARE(f->timestampUs, startUs + int64_t(f->sequence) * periodUs);
            if (came - f->timestampUs > 2 * periodUs)
                ++oldOnArrival;
        }
        QVERIFY2(oldOnArrival >= 2, qPrintable(QStringLiteral("%1 frames came late").arg(oldOnArrival)));
        // No more than a device's buffers hold: the frames right after the stall are lost.
        bool lost = false;
        for (qsizetype i = 1; i < frames.size(); ++i) {
            QVERIFY(frames[i].first->sequence > frames[i - 1].first->sequence);
            lost = lost || frames[i].first->sequence > frames[i - 1].first->sequence + 1;
        }
        QVERIFY(lost);
    }

    void driverFramesMakeThePatternsRgbPicture()
    {
        TestPatternDriver driver;
        TestPatternSettings s;
        s.size = {320, 240};
        s.rate = 30;
        driver.setSettings(s);
        driver.open();
        std::mutex mutex;
        QList<FramePtr> frames;
        driver.start(
            [&](const FramePtr& f) {
                std::lock_guard l(mutex);
                frames << f;
            },
            [](const QString&) {});
        QTRY_VERIFY_WITH_TIMEOUT(([&] { std::lock_guard l(mutex); return frames.size() >= 3; })(), 5000);
        driver.close();
        for (const FramePtr& f : frames) {
            QVERIFY(!f->yuv.isNull());
            QCOMPARE(f->size(), s.size);
            QCOMPARE(f->picture(), TestPattern::render(f->sequence, s));
            QCOMPARE(f->picture().constBits(), f->picture().constBits()); // made once
        }
    }

    void stillVariantNeverChanges()
    {
        TestPatternSettings s;
        s.still = true;
        const QImage first = TestPattern::render(0, s);
        for (uint64_t n : {1ull, 29ull, 1000ull, 123456789ull})
            QCOMPARE(TestPattern::render(n, s), first);
    }

    void brightnessLiftsTheBars()
    {
        TestPatternSettings s;
        s.still = true;
        const QImage dark = TestPattern::render(0, s);
        s.brightness = 20;
        const QImage bright = TestPattern::render(0, s);
        QCOMPARE(qRed(bright.pixel(200, 10)), std::min(255, qRed(dark.pixel(200, 10)) + 20));
    }

    void driverDeliversFramesInOrderAndStopsTwice()
    {
        TestPatternDriver d;
        TestPatternSettings s = d.settings();
        s.rate = 60;
        d.setSettings(s);
        QVERIFY(d.open());
        std::atomic<int> frames{0};
        std::atomic<uint64_t> last{0};
        std::atomic<bool> ordered{true};
        QVERIFY(d.start([&](const FramePtr& f) {
            if (frames > 0 && f->sequence <= last)
                ordered = false;
            last = f->sequence;
            ++frames;
        }, {}));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 10, 5000);
        d.stop();
        d.stop();
        const int after = frames;
        QTest::qWait(100);
        QCOMPARE(int(frames), after);
        QVERIFY(ordered);
        d.close();
        d.close();
    }

    void settingsAreKeptInRange()
    {
        TestPatternDriver d;
        TestPatternSettings s;
        s.rate = 500;
        s.size = QSize(333, 222);
        d.setSettings(s);
        QCOMPARE(d.settings().rate, TestPattern::kMaxRate);
        QCOMPARE(d.settings().size, QSize(320, 240));
    }

    void sineStartsAtSilenceAndRepeats_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::newRow("8 mono") << 8 << 1;
        QTest::newRow("16 stereo") << 16 << 2;
    }
    void sineStartsAtSilenceAndRepeats()
    {
        QFETCH(int, bits);
        QFETCH(int, channels);
        AudioFormat f;
        f.wBitsPerSample = static_cast<uint16_t>(bits);
        f.nChannels = static_cast<uint16_t>(channels);
        f.nSamplesPerSec = 44100;
        const QByteArray pcm = SineAudioSource::render(f, 440.0, 0, 441);
        QCOMPARE(pcm.size(), 441 * channels * bits / 8);
        if (bits == 8)
            QCOMPARE(static_cast<uint8_t>(pcm[0]), uint8_t(128)); // unsigned silence
        else
            QCOMPARE(pcm[0], char(0));
        // 440 Hz at 44100 Hz: the wave repeats every 100.227 samples; 441 samples later it is back near zero.
        const QByteArray later = SineAudioSource::render(f, 440.0, 44100, 1);
        QCOMPARE(later.left(bits / 8), pcm.left(bits / 8));
    }
};

QTEST_GUILESS_MAIN(TestTestPattern)
#include "tst_testpattern.moc"
