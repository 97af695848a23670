#include "clidevice.h"
#include "tst_capturerig.h"
#include "mainwindowparts.h"

#include <QCheckBox>

using lv::test::part;

using namespace lv;
using namespace captest;

namespace {

// What both programs' movies must agree on: each stream's layout and the information fields.
QStringList layoutOf(const QString& file)
{
    const QByteArray out = run(QStringLiteral("ffprobe"),
                               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_streams"),
                                QStringLiteral("-show_format"), QStringLiteral("-of"), QStringLiteral("json"), file});
    const QJsonObject probe = QJsonDocument::fromJson(out).object();
    QStringList layout;
    for (const auto& v : probe.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject s = v.toObject();
        QStringList parts;
        for (const char* key : {"codec_type", "codec_name", "width", "height", "r_frame_rate", "sample_rate",
                                "channels", "bits_per_sample"}) {
            const QJsonValue x = s.value(QLatin1String(key));
            if (!x.isUndefined())
                parts << QLatin1String(key) + QLatin1Char('=') + x.toVariant().toString();
        }
        layout << parts.join(QLatin1Char(' '));
    }
    const QJsonObject tags = probe.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
    for (const char* key : {"copyright", "artist", "subject", "product", "comment", "title"})
        layout << QLatin1String(key) + QLatin1Char('=') + tags.value(QLatin1String(key)).toString();
    return layout;
}

} // namespace

// The window's record button and `lumivark-cli record`, given the same
// settings, make the same movie.
class TestRecordingPaths : public QObject {
    Q_OBJECT

private slots:
    void windowAndCommandLineRecordAlike_data()
    {
        QTest::addColumn<int>("fps");       // 0: 29.97
        QTest::addColumn<int>("bitsIndex"); // 8, 16 bits
        QTest::addColumn<int>("channelsIndex");
        QTest::addColumn<int>("rateIndex"); // 8000, 11025, 22050, 44100
        QTest::addColumn<QString>("audio"); // lumivark-cli's --audio
        QTest::addColumn<bool>("info");
        QTest::newRow("15 fps, 8-bit mono 11025, information") << 15 << 0 << 0 << 1 << "11025:8:1" << true;
        QTest::newRow("29.97 fps, 16-bit stereo 22050, no information") << 0 << 1 << 1 << 2 << "22050:16:2" << false;
        QTest::newRow("10 fps, no sound, information") << 10 << 0 << 0 << 0 << "" << true;
    }
    void windowAndCommandLineRecordAlike()
    {
        QFETCH(int, fps);
        QFETCH(int, bitsIndex);
        QFETCH(int, channelsIndex);
        QFETCH(int, rateIndex);
        QFETCH(QString, audio);
        QFETCH(bool, info);
        const std::array<QString, 6> fields{QStringLiteral("(c) Feeder Cam"), QStringLiteral("Ana"),
                                           QStringLiteral("Blue tits"), QStringLiteral("Garden"),
                                           QStringLiteral("Camera 2"), QStringLiteral("Morning visit")};
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString windowMovie = out.filePath(QStringLiteral("window.avi"));
        const QString cliMovie = out.filePath(QStringLiteral("cli.avi"));

        // The window program.
        {
            Rig rig(windowMovie);
            rig.master->SelectMovieMode();
            rig.model.setFileName(windowMovie);
            part<QSpinBox>(rig.master, "MovieFrameRateControl")->setValue(fps == 0 ? 30 : fps);
            if (fps == 0)
                emit part<lv::ClickLabel>(rig.master, "MovieFrameRateDisplay")->clicked();
            part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(false);
            part<QSpinBox>(rig.master, "MovieHoursControl")->setValue(0);
            part<QSpinBox>(rig.master, "MovieMinutesControl")->setValue(0);
            part<QSpinBox>(rig.master, "MovieSecondsControl")->setValue(2);
            if (!audio.isEmpty()) {
                rig.master->action(Command::AudioOn)->trigger();
                part<QComboBox>(rig.master, "AudioBits")->setCurrentIndex(bitsIndex);
                part<QComboBox>(rig.master, "AudioChannels")->setCurrentIndex(channelsIndex);
                part<QComboBox>(rig.master, "AudioRate")->setCurrentIndex(rateIndex);
            }
            part<lv::KeyedToolBar>(rig.master, "MovieToolbar")->setPressed(QStringLiteral("writeinfo"), info);
            rig.model.setInfoFields(fields);
            rig.master->RecordButtonClicked();
            QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 15000);
            QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        }

        // lumivark-cli on the same device with the same settings.
        const QString pattern = cliTestPatternDevice(QStringLiteral(LUMIVARK_CLI));
        QVERIFY(!pattern.isEmpty());
        QStringList args{QStringLiteral("record"), cliMovie, QStringLiteral("--duration"), QStringLiteral("2"),
                         QStringLiteral("--rate"), fps == 0 ? QStringLiteral("29.97") : QString::number(fps),
                         QStringLiteral("--size"), QStringLiteral("320x240"), QStringLiteral("--device"), pattern};
        if (!audio.isEmpty())
            args << QStringLiteral("--audio") << audio;
        if (info) {
            const QStringList options{QStringLiteral("--copyright"), QStringLiteral("--artist"),
                                      QStringLiteral("--subject"), QStringLiteral("--product"),
                                      QStringLiteral("--source"), QStringLiteral("--comments")};
            for (int i = 0; i < 6; ++i)
                args << options[i] << fields[size_t(i)];
        }
        QProcess cli;
        cli.start(QStringLiteral(LUMIVARK_CLI), args);
        QVERIFY(cli.waitForFinished(30000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());

        const QStringList window = layoutOf(windowMovie);
        const QStringList command = layoutOf(cliMovie);
        QCOMPARE(window.size(), audio.isEmpty() ? 7 : 8);
        QCOMPARE(window, command);
        QCOMPARE(window.contains(QStringLiteral("artist=Ana")), info);
        // Both ended by the same time limit: the same number of frames.
        QCOMPARE(probeInt(probeStream(windowMovie, QStringLiteral("video")), "nb_read_packets"),
                 probeInt(probeStream(cliMovie, QStringLiteral("video")), "nb_read_packets"));
    }
};

QTEST_MAIN(TestRecordingPaths)
#include "tst_recordingpaths.moc"
