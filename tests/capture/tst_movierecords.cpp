// The movie panel's settings and a device's records, converted both ways,
// without a window: this test links no Qt Widgets.
#include "capture/movierecords.h"

#include <QTest>

using namespace lv;

class TestMovieRecords : public QObject {
    Q_OBJECT

private slots:
    // The panel's frame rate, as a frame period and back: 29.97 stays itself,
    // a period of nought or one is no rate at all.
    void frameRate_data()
    {
        QTest::addColumn<uint>("period");
        QTest::addColumn<double>("rate");
        QTest::newRow("12") << 83333u << 12.0;
        QTest::newRow("15") << 66667u << 15.0;
        QTest::newRow("29.97") << 33367u << 29.97;
        QTest::newRow("30") << 33333u << 30.0;
        QTest::newRow("1") << 1000000u << 1.0;
        QTest::newRow("period 0") << 0u << 12.0;
        QTest::newRow("period 1") << 1u << 12.0;
    }
    void frameRate()
    {
        QFETCH(uint, period);
        QFETCH(double, rate);
        CaptureParms parms;
        parms.dwRequestMicroSecPerFrame = period;
        CaptureSettings c;
        c.FrameRate = 99;
        movieSettingsFromRecords(parms, AudioFormat{}, c);
        QCOMPARE(c.FrameRate, rate);
        if (period > 1) {
            CaptureParms back;
            AudioFormat a;
            movieSettingsToRecords(c, back, a);
            QCOMPARE(back.dwRequestMicroSecPerFrame, period);
        }
    }

    // Sound, limit and length, and the sound format: to the records and back.
    void roundTrip_data()
    {
        QTest::addColumn<bool>("sound");
        QTest::addColumn<bool>("limit");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("rate");
        QTest::addColumn<uint>("bytesPerSecond");
        QTest::newRow("8 kHz 8-bit mono, limited") << true << true << 30 << 1 << 8 << 8000 << 8000u;
        QTest::newRow("44.1 kHz 16-bit stereo") << true << true << 3600 << 2 << 16 << 44100 << 176400u;
        // The length is kept while "No Limit" is ticked.
        QTest::newRow("no limit keeps the length") << false << false << 90 << 1 << 16 << 22050 << 44100u;
    }
    void roundTrip()
    {
        QFETCH(bool, sound);
        QFETCH(bool, limit);
        QFETCH(int, seconds);
        QFETCH(int, channels);
        QFETCH(int, bits);
        QFETCH(int, rate);
        QFETCH(uint, bytesPerSecond);
        CaptureSettings c;
        c.Audio = sound;
        c.Limit = limit;
        c.DurationSeconds = seconds;
        c.AudioChannels = channels;
        c.AudioBits = bits;
        c.AudioRate = rate;
        CaptureParms parms;
        AudioFormat a;
        a.wFormatTag = 1;
        movieSettingsToRecords(c, parms, a);
        QCOMPARE(parms.fCaptureAudio, sound ? 1u : 0u);
        QCOMPARE(parms.fLimitEnabled, limit ? 1u : 0u);
        QCOMPARE(parms.wTimeLimit, uint(seconds));
        QCOMPARE(a.nSamplesPerSec, uint(rate));
        QCOMPARE(a.nAvgBytesPerSec, bytesPerSecond);
        QCOMPARE(int(a.nBlockAlign), channels * bits / 8);
        QCOMPARE(int(a.wFormatTag), 1); // not the panel's to say

        CaptureSettings back;
        movieSettingsFromRecords(parms, a, back);
        QCOMPARE(back.Audio, sound);
        QCOMPARE(back.Limit, limit);
        QCOMPARE(back.DurationSeconds, seconds);
        QCOMPARE(back.AudioChannels, channels);
        QCOMPARE(back.AudioBits, bits);
        QCOMPARE(back.AudioRate, rate);
    }

    // What a device brings that the panel cannot show: an unlisted sound
    // rate leaves the panel's, a length of nought becomes one second.
    void deviceOddities()
    {
        CaptureParms parms;
        parms.wTimeLimit = 0;
        AudioFormat a;
        a.nSamplesPerSec = 48000;
        a.nChannels = 2;
        a.wBitsPerSample = 16;
        CaptureSettings c;
        c.AudioRate = 11025;
        movieSettingsFromRecords(parms, a, c);
        QCOMPARE(c.AudioRate, 11025);
        QCOMPARE(c.DurationSeconds, 1);
    }
};

QTEST_GUILESS_MAIN(TestMovieRecords)
#include "tst_movierecords.moc"
