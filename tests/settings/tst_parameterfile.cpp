#include "base/clock.h"
#include "base/programdirectory.h"
#include "recordingtarget.h"
#include "settings/parameterfile.h"
#include "settings/parameterreader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {

const QByteArray kSeparator = "; " + QByteArray(93, '-');

QByteArray crlf(const QList<QByteArray>& lines)
{
    QByteArray out;
    for (const QByteArray& l : lines)
        out += l + "\r\n";
    return out;
}

QByteArray blockHeader(const QByteArray& title) { return ";\r\n; " + title + "\r\n" + kSeparator + "\r\n"; }

CaptureSettings movieSettings()
{
    CaptureSettings s;
    s.DeviceIndex = 1;
    s.DeviceDescription = QStringLiteral("Test Pattern");
    s.ViewModeOverlay = false;
    s.PreviewRate = 25;
    s.Hours = 1;
    s.Minutes = 2;
    s.Seconds = 3;
    s.Filename = QStringLiteral("/home/u/Videos/m\u00e4rz.avi");
    s.Capture = CaptureKind::Movie;
    s.Audio = false;
    s.AudioChannels = 2;
    s.AudioBits = 16;
    s.AudioRate = 22050;
    s.AviInfo = false;
    s.Copyright = QStringLiteral("(c) me");
    s.Artist = QStringLiteral("Ann");
    s.Subject = QStringLiteral("Birds");
    s.Product = QStringLiteral("P");
    s.Source = QStringLiteral("S");
    s.Comments = QStringLiteral("none");
    s.FrameRate = 29.97;
    s.Limit = false;
    s.DurationSeconds = 3725;
    s.CaptureOperationBackground = false;
    s.VideoBuffers = 7;
    s.AudioBuffers = 4;
    s.DOSBuffers = true;
    s.WriteCache = false;
    s.MaxIndexSize = 100000;
    s.ChunkGranularity = 512;
    s.DropError = 25;
    return s;
}

CaptureSettings imageSettings(CaptureKind kind)
{
    CaptureSettings s;
    s.DeviceDescription = QStringLiteral("Cam");
    s.ViewModeOverlay = true;
    s.Filename = QStringLiteral("/tmp/series");
    s.Capture = kind;
    s.InsertTime = false;
    s.TimeColor = 255;
    s.TimePosition = 3;
    s.InsertDate = true;
    s.DateColor = 65280;
    s.DatePosition = 5;
    s.InsertText = true;
    s.TextColor = 16711680;
    s.TextPosition = 1;
    s.Text = QStringLiteral("Gate &DATE &FRM&");
    s.MultipleImageType = 2;
    s.AVIRate = 30;
    s.Trigger = TriggerKind::Timer;
    s.Interval = 3661;
    s.AviInfo = true;
    s.Artist = QStringLiteral("Bob");
    s.SendToFTPServer = true;
    s.URL = QStringLiteral("127.0.0.1");
    s.Port = 2121;
    s.Username = QStringLiteral("user");
    s.Password = QStringLiteral("s3cret");
    s.Directory = QStringLiteral("up/load");
    return s;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestParameterFile : public QObject {
    Q_OBJECT

    FixedClock m_clock{QDateTime(QDate(2026, 3, 7), QTime(9, 5, 4))};
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setClock(&m_clock);
        qputenv("LUMIVARK_HOME", m_dir.path().toUtf8());
    }
    void cleanupTestCase() { setClock(nullptr); }

    void getParameter_data();
    void getParameter();
    void getParameterWithoutFile();
    void movieFileAsTextEditorSeesIt();
    void imageFilesEndWhereTheirModeEnds_data();
    void imageFilesEndWhereTheirModeEnds();
    void fileWithoutModeEndsAfterCaptureHeader();
    void roundTrip_data();
    void roundTrip();
    void missingFileAppliesDefaults();
    void readerAppliesKeysInFileOrder_data();
    void readerAppliesKeysInFileOrder();
    void frameRate_data();
    void frameRate();
    void frameRateText_data();
    void frameRateText();
    void singleImageTextStamp_data();
    void singleImageTextStamp();
    void valueWithCommaReadsUpToComma();
    void firstOfTwoLinesCounts();
    void writeCache_data();
    void writeCache();
    void deviceFileLeavesAdvancedSettingsAlone();
    void numbersBeyondTheirFields_data();
    void numbersBeyondTheirFields();
    void rangesLeaveControlsUnchanged_data();
    void rangesLeaveControlsUnchanged();
    void unknownModeStopsReading();
    void valuesCannotPlantKeys();
    void binaryGarbage();
    void hugeFileWithoutLineEnd();
    void unwritablePath_data();
    void unwritablePath();
    void fullDiskKeepsTheOldFile();
    void passwordFileIsOwnerOnly();
    void fileWithoutPasswordKeepsUsualMode();
    void sessionFilesLiveInProgramDirectory();
    void unsafeFieldsAreRefused_data();
    void unsafeFieldsAreRefused();
    void pathsRoundTrip_data();
    void pathsRoundTrip();
};

void TestParameterFile::getParameter_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString def = QStringLiteral("<default>");
    QTest::newRow("plain") << QByteArray("Filename=a.avi\r\n") << "Filename" << "a.avi";
    QTest::newRow("key case ignored") << QByteArray("FILENAME=a.avi\r\n") << "filename" << "a.avi";
    QTest::newRow("value case kept") << QByteArray("View Mode=OverLay\r\n") << "View Mode" << "OverLay";
    QTest::newRow("blank before = does not match") << QByteArray("Filename =a\r\n") << "Filename" << def;
    QTest::newRow("blanks around = do not match") << QByteArray("Filename = a\r\n") << "Filename" << def;
    QTest::newRow("blank after = stays in value") << QByteArray("Filename= a \r\n") << "Filename" << " a ";
    QTest::newRow("blanks before field skipped") << QByteArray("  \tFilename=a\r\n") << "Filename" << "a";
    QTest::newRow("comma ends value") << QByteArray("Text=one, two\r\n") << "Text" << "one";
    QTest::newRow("field after comma") << QByteArray("Text=one, Port=21\r\n") << "Port" << "21";
    QTest::newRow("quoted field keeps comma") << QByteArray("\"Text=one, two\"\r\n") << "Text" << "one, two";
    QTest::newRow("quoted field spans lines") << QByteArray("\"Text=a\r\nb\"\r\n") << "Text" << "a\r\nb";
    QTest::newRow("rest after quote ignored") << QByteArray("\"Text=a\"junk=x,Port=1\r\n") << "Port" << "1";
    QTest::newRow("rest after quote not a field") << QByteArray("\"Text=a\"junk=x\r\n") << "junk" << def;
    QTest::newRow("unclosed quote runs to end") << QByteArray("\"Text=abc\r\nPort=1") << "Port" << def;
    QTest::newRow("quote inside value kept") << QByteArray("Text=say \"hi\"\r\n") << "Text" << "say \"hi\"";
    QTest::newRow("second = belongs to value") << QByteArray("A=B=C\r\n") << "A" << "B=C";
    QTest::newRow("key holding =") << QByteArray("A=B=C\r\n") << "A=B" << "C";
    QTest::newRow("first match wins") << QByteArray("Port=1\r\nPort=2\r\n") << "Port" << "1";
    QTest::newRow("longer key no match") << QByteArray("Ports=1\r\n") << "Port" << def;
    QTest::newRow("shorter key no match") << QByteArray("Audio Bits=16\r\n") << "Audio" << def;
    QTest::newRow("comment matches nothing") << QByteArray("; Port\r\n;\r\n") << "Port" << def;
    QTest::newRow("empty value is a value") << QByteArray("Text=\r\n") << "Text" << "";
    QTest::newRow("empty file") << QByteArray() << "Text" << def;
    QTest::newRow("no line end at end") << QByteArray("Port=99") << "Port" << "99";
    QTest::newRow("LF line ends") << QByteArray("a=1\nPort=2\n") << "Port" << "2";
    QTest::newRow("CR line ends") << QByteArray("a=1\rPort=2\r") << "Port" << "2";
    QTest::newRow("empty fields skipped") << QByteArray(",,\r\n\r\n , ,Port=3") << "Port" << "3";
    QTest::newRow("latin-1 value") << QByteArray("Text=\xe9t\xe9\r\n") << "Text" << QStringLiteral("\u00e9t\u00e9");
    QTest::newRow("latin-1 key case") << QByteArray("\xc9T\xc9=1\r\n") << QStringLiteral("\u00e9t\u00e9") << "1";
    QTest::newRow("NUL bytes are text") << QByteArray("Text=a\0b\r\n", 10) << "Text" << QString::fromLatin1("a\0b", 3);
    QTest::newRow("key missing") << QByteArray("Filename=a\r\n") << "Port" << def;
}

void TestParameterFile::getParameter()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString def = QStringLiteral("<default>");

    const QString file = path(QStringLiteral("get.lvp"));
    QVERIFY(writeFile(file, content));
    QCOMPARE(GetParameter(file, key, def), expected);

    // The one-pass lookup answers the same, also among other keys.
    ParameterLookup lookup({QStringLiteral("A"), key, QStringLiteral("Text"), QStringLiteral("Port")});
    lookup.load(file);
    QCOMPARE(lookup.value(key, def), expected);
}

void TestParameterFile::getParameterWithoutFile()
{
    const QString def = QStringLiteral("d");
    QCOMPARE(GetParameter(path(QStringLiteral("nothing-here.lvp")), QStringLiteral("Port"), def), def);
    // A folder where the file is expected cannot be read as one.
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder.lvp")));
    QCOMPARE(GetParameter(path(QStringLiteral("folder.lvp")), QStringLiteral("Port"), def), def);
}

void TestParameterFile::movieFileAsTextEditorSeesIt()
{
    const QString file = path(QStringLiteral("movie.lvp"));
    QVERIFY(WriteParameters(file, movieSettings(), ParameterFileKind::User));

    const QByteArray expected =
        crlf({"; Video Capture Parameters File", "; Video Lumivark 2000 Version 3.80  Build:0174", kSeparator,
              "; Created 03-07-2026  09:05:04", kSeparator})
        + readAll(file).split('\n').at(5) + "\n" // the copyright line: free text, checked below
        + crlf({kSeparator})
        + blockHeader("Video Capture Device")
        + crlf({"Device Index=1", "Device Description=Test Pattern", "View Mode=Preview", "Preview Rate=25"})
        + blockHeader("Autostart") + crlf({"Hours=1", "Minutes=2", "Seconds=3"})
        + blockHeader("Filename") + crlf({"Filename=/home/u/Videos/m\xe4rz.avi"})
        + blockHeader("Capture Type") + crlf({"Capture=Movie"})
        + blockHeader("Audio Settings")
        + crlf({"Audio=No", "Audio Channels=2", "Audio Bits=16", "Audio Rate=22050"})
        + blockHeader("AVI Other Information")
        + crlf({"AVI Info=No", "Copyright=(c) me", "Artist=Ann", "Subject=Birds", "Product=P", "Source=S",
                "Comments=none"})
        + blockHeader("Movie Options") + crlf({"Frame Rate=29.97", "Limit=No", "Duration(Seconds)=3725"})
        + blockHeader("Advanced Settings")
        + crlf({"Capture Operation=Exclusive Task", "Video Buffers=7", "Audio Buffers=4", "DOS Buffers=Yes",
                "Write Cache=No", "Max Index Size=100000", "Chunk Granularity=512", "Drop Error=25"});
    const QByteArray actual = readAll(file);
    QCOMPARE(actual, expected);

    const QByteArray copyright = actual.split('\n').at(5);
    QVERIFY(copyright.startsWith("; "));
    QVERIFY(!copyright.contains('='));
    QCOMPARE(kSeparator.size(), 95);
    // Every line ends in CR LF; no bare LF or CR anywhere.
    QCOMPARE(actual.count("\r\n"), actual.count('\n'));
    QCOMPARE(actual.count("\r\n"), actual.count('\r'));
}

void TestParameterFile::imageFilesEndWhereTheirModeEnds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("single image") << int(CaptureKind::SingleImage)
                                  << ("Capture=Single Image\r\n" + blockHeader("Image Options - Time Insertion")
                                      + crlf({"Insert Time=No", "Time Color=255", "Time Position=3"})
                                      + blockHeader("Image Options - Date Insertion")
                                      + crlf({"Insert Date=Yes", "Date Color=65280", "Date Position=5"})
                                      + blockHeader("Image Options - Text Insertion")
                                      + crlf({"Intert Text=Yes", "Text Color=16711680", "Text Position=1",
                                              "Text=Gate &DATE &FRM&"}));
    QTest::newRow("multiple image")
        << int(CaptureKind::MultipleImage)
        << ("Capture=Multiple Image\r\nMultiple Image Type=2\r\nAVI Rate=30\r\n"
            + blockHeader("Image Options - Time Insertion")
            + crlf({"Insert Time=No", "Time Color=255", "Time Position=3"})
            + blockHeader("Image Options - Date Insertion")
            + crlf({"Insert Date=Yes", "Date Color=65280", "Date Position=5"})
            + blockHeader("Image Options - Text Insertion")
            + crlf({"Insert Text=Yes", "Text Color=16711680", "Text Position=1", "Text=Gate &DATE &FRM&"})
            + blockHeader("Trigger Type") + crlf({"Trigger=Timer", "Interval=3661"})
            + blockHeader("AVI Other Information")
            + crlf({"AVI Info=Yes", "Copyright=", "Artist=Bob", "Subject=", "Product=", "Source=", "Comments="})
            + blockHeader("Internet Settings")
            + crlf({"Send to FTP Server=Yes", "URL=127.0.0.1", "Port=2121", "Username=user", "Password=s3cret",
                    "Directory=up/load"})
            + blockHeader("Image Effects "));
}

void TestParameterFile::imageFilesEndWhereTheirModeEnds()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, tail);
    const QByteArray bytes = parameterFileBytes(imageSettings(CaptureKind(kind)), ParameterFileKind::User);
    QVERIFY2(bytes.endsWith(blockHeader("Capture Type") + tail), bytes.constData());
}

void TestParameterFile::fileWithoutModeEndsAfterCaptureHeader()
{
    CaptureSettings s = movieSettings();
    s.Capture.reset();
    QVERIFY(parameterFileBytes(s, ParameterFileKind::User).endsWith("Filename=/home/u/Videos/m\xe4rz.avi\r\n"
                                                                    + blockHeader("Capture Type")));
}

void TestParameterFile::roundTrip_data()
{
    QTest::addColumn<int>("fileKind");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("trigger"); // -1: none pressed

    QTest::newRow("movie, user file") << int(ParameterFileKind::User) << int(CaptureKind::Movie) << 0;
    QTest::newRow("movie, last session") << int(ParameterFileKind::LastSession) << int(CaptureKind::Movie) << 0;
    QTest::newRow("movie, device file") << int(ParameterFileKind::Device) << int(CaptureKind::Movie) << 0;
    QTest::newRow("single image") << int(ParameterFileKind::User) << int(CaptureKind::SingleImage) << 0;
    QTest::newRow("multiple, timer") << int(ParameterFileKind::User) << int(CaptureKind::MultipleImage)
                                     << int(TriggerKind::Timer);
    QTest::newRow("multiple, motion") << int(ParameterFileKind::Device) << int(CaptureKind::MultipleImage)
                                      << int(TriggerKind::Motion);
    QTest::newRow("multiple, manual") << int(ParameterFileKind::LastSession) << int(CaptureKind::MultipleImage)
                                      << int(TriggerKind::Manual);
}

void TestParameterFile::roundTrip()
{
    QFETCH(int, fileKind);
    QFETCH(int, mode);
    QFETCH(int, trigger);
    const auto kind = ParameterFileKind(fileKind);

    RecordingTarget original;
    original.state = CaptureKind(mode) == CaptureKind::Movie ? movieSettings() : imageSettings(CaptureKind(mode));
    original.state.Trigger = TriggerKind(trigger);
    original.parms.fYield = 0;
    original.parms.wNumVideoRequested = 9;
    original.parms.fDisableWriteCache = 1;
    original.parms.dwIndexSize = 5000;

    const QString file = path(QStringLiteral("round.lvp"));
    QVERIFY(WriteParameters(file, original, kind));

    RecordingTarget restored;
    ReadParameters(file, restored, kind);
    QCOMPARE(restored.state.Capture, original.state.Capture);

    // Written again, the restored settings give the same file, line for line.
    // The device lines are written for the reader's eyes only, never read.
    restored.state.DeviceIndex = original.state.DeviceIndex;
    restored.state.DeviceDescription = original.state.DeviceDescription;
    QCOMPARE(parameterFileBytes(restored.captureSettings(), kind).split('\n'), readAll(file).split('\n'));

    if (CaptureKind(mode) == CaptureKind::Movie && kind != ParameterFileKind::Device) {
        QCOMPARE(restored.parms.fYield, 0u);
        QCOMPARE(restored.parms.wNumVideoRequested, 9u);
        QCOMPARE(restored.parms.fDisableWriteCache, 1u);
        QCOMPARE(restored.parms.dwIndexSize, 5000u);
    }
    if (CaptureKind(mode) == CaptureKind::MultipleImage) {
        QCOMPARE(restored.state.Password, QStringLiteral("s3cret"));
        QCOMPARE(restored.state.Port, 2121);
        QCOMPARE(restored.called(QStringLiteral("interval")), TriggerKind(trigger) == TriggerKind::Timer);
    }
}

void TestParameterFile::missingFileAppliesDefaults()
{
    RecordingTarget t;
    t.parms.fYield = 0;
    t.parms.dwIndexSize = 1;
    t.parms.fDisableWriteCache = 1;
    t.parms.wPercentDropForError = 50;
    ReadParameters(path(QStringLiteral("missing.lv2")), t, ParameterFileKind::LastSession);

    const QStringList expected = {
        QStringLiteral("viewMode(1)"), QStringLiteral("previewRateEntry(14)"), QStringLiteral("hours(0)"),
        QStringLiteral("minutes(0)"), QStringLiteral("seconds(10)"),
        QStringLiteral("filename(") + defaultCaptureFileName() + QLatin1Char(')'),
        QStringLiteral("selectMode(0)"), QStringLiteral("audio(1)"), QStringLiteral("channelsEntry(0)"),
        QStringLiteral("bitsEntry(0)"), QStringLiteral("rateEntry(0)"), QStringLiteral("aviInfo(0,1)"),
        QStringLiteral("infoField(0,)"), QStringLiteral("infoField(1,)"), QStringLiteral("infoField(2,)"),
        QStringLiteral("infoField(3,)"), QStringLiteral("infoField(4,)"), QStringLiteral("infoField(5,)"),
        QStringLiteral("frameRate(12)"), QStringLiteral("noLimit(0)"), QStringLiteral("duration(30)")};
    QCOMPARE(t.calls, expected);
    QVERIFY(defaultCaptureFileName().endsWith(QStringLiteral("/lumivark.avi")));

    QCOMPARE(t.parms.fYield, 1u);
    QCOMPARE(t.parms.wNumVideoRequested, 0u);
    QCOMPARE(t.parms.wNumAudioRequested, 0u);
    QCOMPARE(t.parms.fUsingDOSMemory, 0u);
    QCOMPARE(t.parms.fDisableWriteCache, 0u);
    QCOMPARE(t.parms.dwIndexSize, 324000u);
    QCOMPARE(t.parms.wChunkGranularity, 0u);
    QCOMPARE(t.parms.wPercentDropForError, 10u);
}

void TestParameterFile::readerAppliesKeysInFileOrder_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("order");
    const QStringList head = {QStringLiteral("viewMode"), QStringLiteral("previewRateEntry"), QStringLiteral("hours"),
                              QStringLiteral("minutes"), QStringLiteral("seconds"), QStringLiteral("filename"),
                              QStringLiteral("selectMode")};
    const QStringList stamps = {QStringLiteral("stampOn"), QStringLiteral("stampColor"), QStringLiteral("stampPosition"),
                                QStringLiteral("stampOn"), QStringLiteral("stampColor"), QStringLiteral("stampPosition"),
                                QStringLiteral("stampOn"), QStringLiteral("stampColor"), QStringLiteral("stampPosition"),
                                QStringLiteral("stampText")};
    const QStringList info = {QStringLiteral("aviInfo"), QStringLiteral("infoField"), QStringLiteral("infoField"),
                              QStringLiteral("infoField"), QStringLiteral("infoField"), QStringLiteral("infoField"),
                              QStringLiteral("infoField")};
    QTest::newRow("single image") << int(CaptureKind::SingleImage) << head + stamps;
    QTest::newRow("multiple image")
        << int(CaptureKind::MultipleImage)
        << head + QStringList{QStringLiteral("multipleType"), QStringLiteral("aviRateEntry")} + stamps
               + QStringList{QStringLiteral("trigger"), QStringLiteral("interval")} + info
               + QStringList{QStringLiteral("sendToFtp"), QStringLiteral("ftpAddress"), QStringLiteral("ftpPort"),
                             QStringLiteral("ftpUser"), QStringLiteral("ftpPassword"), QStringLiteral("ftpDirectory")};
}

void TestParameterFile::readerAppliesKeysInFileOrder()
{
    QFETCH(int, mode);
    QFETCH(QStringList, order);
    const QString file = path(QStringLiteral("order.lvp"));
    QVERIFY(WriteParameters(file, imageSettings(CaptureKind(mode)), ParameterFileKind::User));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.callNames(), order);
}

void TestParameterFile::frameRate_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("call"); // empty: the frame rate is left alone

    QTest::newRow("29.97") << QByteArray("29.97") << "frameRate2997(1)";
    QTest::newRow("29.9700") << QByteArray("29.9700") << "frameRate2997(1)";
    QTest::newRow("29.97 with text after") << QByteArray("29.97 fps") << "frameRate2997(1)";
    QTest::newRow("1 leaves it") << QByteArray("1") << "";
    QTest::newRow("0 leaves it") << QByteArray("0") << "";
    QTest::newRow("2 is the lowest") << QByteArray("2") << "frameRate(2)";
    QTest::newRow("30") << QByteArray("30") << "frameRate(30)";
    QTest::newRow("31 leaves it") << QByteArray("31") << "";
    QTest::newRow("29.96 rounds") << QByteArray("29.96") << "frameRate(30)";
    QTest::newRow("12.5 rounds to even") << QByteArray("12.5") << "frameRate(12)";
    QTest::newRow("comma is no decimal point") << QByteArray("29,97") << "frameRate(29)";
    QTest::newRow("text reads as 0") << QByteArray("fast") << "";
    QTest::newRow("huge") << QByteArray("99999999999999999999999") << "";
    QTest::newRow("negative") << QByteArray("-15") << "";
}

void TestParameterFile::frameRate()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, call);
    const QString file = path(QStringLiteral("fps.lvp"));
    QVERIFY(writeFile(file, "Capture=Movie\r\nFrame Rate=" + value + "\r\n"));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QStringList rateCalls;
    for (const QString& c : t.calls) {
        if (c.startsWith(QLatin1String("frameRate")))
            rateCalls << c;
    }
    QCOMPARE(rateCalls, call.isEmpty() ? QStringList() : QStringList{call});
}

void TestParameterFile::frameRateText_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 12.0 << "12";
    QTest::newRow("29.97") << 29.97 << "29.97";
    QTest::newRow("four decimals") << 7.12345 << "7.1235";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("not a number") << qQNaN() << "";
}

void TestParameterFile::frameRateText()
{
    QFETCH(double, fps);
    QFETCH(QString, text);
    QCOMPARE(lv::frameRateText(fps), text);
}

void TestParameterFile::singleImageTextStamp_data()
{
    QTest::addColumn<bool>("on");
    QTest::newRow("on") << true;
    QTest::newRow("off") << false;
}

void TestParameterFile::singleImageTextStamp()
{
    QFETCH(bool, on);
    CaptureSettings s = imageSettings(CaptureKind::SingleImage);
    s.InsertText = on;
    const QString file = path(QStringLiteral("stamp.lvp"));
    QVERIFY(WriteParameters(file, s, ParameterFileKind::User));
    const QByteArray bytes = readAll(file);
    QCOMPARE(bytes.contains("\r\nIntert Text=Yes\r\n"), on);
    QCOMPARE(bytes.contains("\r\nInsert Text=No\r\n"), !on);

    RecordingTarget t;
    t.state.InsertText = !on;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.state.InsertText, on);
    QVERIFY(t.calls.contains(QStringLiteral("stampOn(1,2,%1)").arg(on ? 1 : 0)));
}

void TestParameterFile::valueWithCommaReadsUpToComma()
{
    CaptureSettings s = imageSettings(CaptureKind::MultipleImage);
    s.Text = QStringLiteral("Front door, north side");
    const QString file = path(QStringLiteral("comma.lvp"));
    QVERIFY(WriteParameters(file, s, ParameterFileKind::User));
    QVERIFY(readAll(file).contains("\r\nText=Front door, north side\r\n"));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.state.Text, QStringLiteral("Front door"));
    // The keys after it are not disturbed.
    QCOMPARE(t.state.Trigger, std::optional(TriggerKind::Timer));
    QCOMPARE(t.state.URL, QStringLiteral("127.0.0.1"));
}

void TestParameterFile::firstOfTwoLinesCounts()
{
    const QString file = path(QStringLiteral("twice.lvp"));
    QVERIFY(writeFile(file, "Filename=/first.avi\r\nCapture=Movie\r\nfilename=/second.avi\r\nDuration(Seconds)=5\r\n"
                            "Duration(Seconds)=6\r\n"));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.state.Filename, QStringLiteral("/first.avi"));
    QCOMPARE(t.state.DurationSeconds, 5);
}

void TestParameterFile::writeCache_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<uint>("disabled");
    QTest::newRow("No switches the cache off") << QByteArray("Write Cache=No") << 1u;
    QTest::newRow("Yes switches it on") << QByteArray("Write Cache=Yes") << 0u;
    QTest::newRow("yes in any case") << QByteArray("Write Cache=yES") << 0u;
    QTest::newRow("anything else is off") << QByteArray("Write Cache=maybe") << 1u;
    QTest::newRow("missing is on") << QByteArray("; no cache line") << 0u;
}

void TestParameterFile::writeCache()
{
    QFETCH(QByteArray, line);
    QFETCH(uint, disabled);
    const QString file = path(QStringLiteral("cache.lvp"));
    QVERIFY(writeFile(file, "Capture=Movie\r\n" + line + "\r\n"));
    RecordingTarget t;
    t.parms.fDisableWriteCache = disabled ? 0 : 1;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.parms.fDisableWriteCache, disabled);

    // And written back the same way.
    t.state.Capture = CaptureKind::Movie;
    const QByteArray bytes = parameterFileBytes(t.captureSettings(), ParameterFileKind::User);
    QVERIFY(bytes.contains(disabled ? "\r\nWrite Cache=No\r\n" : "\r\nWrite Cache=Yes\r\n"));
}

void TestParameterFile::deviceFileLeavesAdvancedSettingsAlone()
{
    RecordingTarget source;
    source.state = movieSettings();
    source.parms.fYield = 0;
    source.parms.dwIndexSize = 100000;
    QVERIFY(!parameterFileBytes(source.captureSettings(), ParameterFileKind::Device).contains("Advanced Settings"));
    QVERIFY(!parameterFileBytes(source.captureSettings(), ParameterFileKind::Device).contains("Capture Operation"));

    // A device file that holds the block anyway (written as a user file).
    const QString file = path(QStringLiteral("lvsr.lv3"));
    QVERIFY(WriteParameters(file, source, ParameterFileKind::User));
    QVERIFY(readAll(file).contains("Capture Operation=Exclusive Task"));

    RecordingTarget device;
    const CaptureParms before = device.parms;
    device.parms.dwIndexSize = 777;
    ReadParameters(file, device, ParameterFileKind::Device);
    QCOMPARE(device.parms.fYield, before.fYield);
    QCOMPARE(device.parms.dwIndexSize, 777u);
    QCOMPARE(device.parms.wNumVideoRequested, before.wNumVideoRequested);
    QCOMPARE(device.parms.fUsingDOSMemory, before.fUsingDOSMemory);
    QCOMPARE(device.state.DurationSeconds, 3725); // the rest of the movie keys still apply

    RecordingTarget user;
    ReadParameters(file, user, ParameterFileKind::User);
    QCOMPARE(user.parms.fYield, 0u);
    QCOMPARE(user.parms.dwIndexSize, 100000u);
}

void TestParameterFile::numbersBeyondTheirFields_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("args");

    QTest::newRow("hours above 16 bits clamp") << QByteArray("Hours=99999") << "hours" << "32767";
    QTest::newRow("hours below clamp") << QByteArray("Hours=-99999") << "hours" << "-32768";
    QTest::newRow("seconds round") << QByteArray("Seconds=9.5") << "seconds" << "10";
    QTest::newRow("seconds text") << QByteArray("Seconds=ten") << "seconds" << "0";
    QTest::newRow("duration above 32 bits clamps") << QByteArray("Capture=Movie\r\nDuration(Seconds)=9999999999")
                                                   << "duration" << "2147483647";
    QTest::newRow("interval clamps to 16 bits")
        << QByteArray("Capture=Multiple Image\r\nTrigger=Timer\r\nInterval=86400") << "interval" << "32767";
    QTest::newRow("port keeps 16 bits unsigned") << QByteArray("Capture=Multiple Image\r\nPort=60021") << "ftpPort"
                                                 << "60021";
    QTest::newRow("port above 65535 clamps") << QByteArray("Capture=Multiple Image\r\nPort=700000") << "ftpPort"
                                             << "65535";
    QTest::newRow("negative port") << QByteArray("Capture=Multiple Image\r\nPort=-21") << "ftpPort" << "0";
    QTest::newRow("colour above 32 bits clamps") << QByteArray("Capture=Single Image\r\nTime Color=99999999999")
                                                 << "stampColor" << "0,4294967295";
    QTest::newRow("negative colour") << QByteArray("Capture=Single Image\r\nTime Color=-1") << "stampColor" << "0,0";
    QTest::newRow("preview rate 0 mirrors to 1") << QByteArray("Preview Rate=0") << "previewRateEntry" << "1";
    QTest::newRow("preview rate negative") << QByteArray("Preview Rate=-5") << "previewRateEntry" << "6";
}

void TestParameterFile::numbersBeyondTheirFields()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, call);
    QFETCH(QString, args);
    const QString file = path(QStringLiteral("numbers.lvp"));
    QVERIFY(writeFile(file, content + "\r\n"));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.argsOf(call), args);
}

void TestParameterFile::rangesLeaveControlsUnchanged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("applied");

    QTest::newRow("preview rate 40 is the last entry") << QByteArray("Preview Rate=40") << "previewRateEntry" << true;
    QTest::newRow("preview rate 41 has no entry") << QByteArray("Preview Rate=41") << "previewRateEntry" << false;
    QTest::newRow("preview rate far beyond") << QByteArray("Preview Rate=999999") << "previewRateEntry" << false;
    const QByteArray single = "Capture=Single Image\r\n";
    QTest::newRow("position 5") << single + "Time Position=5" << "stampPosition" << true;
    QTest::newRow("position 6") << single + "Time Position=6\r\nDate Position=6\r\nText Position=6"
                                << "stampPosition" << false;
    QTest::newRow("position -1") << single + "Time Position=-1\r\nDate Position=-1\r\nText Position=-1"
                                 << "stampPosition" << false;
    const QByteArray multiple = "Capture=Multiple Image\r\n";
    QTest::newRow("type 5") << multiple + "Multiple Image Type=5" << "multipleType" << true;
    QTest::newRow("type 6") << multiple + "Multiple Image Type=6" << "multipleType" << false;
    QTest::newRow("AVI rate 30") << multiple + "AVI Rate=30" << "aviRateEntry" << true;
    QTest::newRow("AVI rate 31") << multiple + "AVI Rate=31" << "aviRateEntry" << false;
    QTest::newRow("AVI rate 0") << multiple + "AVI Rate=0" << "aviRateEntry" << false;
    QTest::newRow("interval only for the timer") << multiple + "Trigger=Motion\r\nInterval=5" << "interval" << false;
}

void TestParameterFile::rangesLeaveControlsUnchanged()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, call);
    QFETCH(bool, applied);
    const QString file = path(QStringLiteral("ranges.lvp"));
    QVERIFY(writeFile(file, content + "\r\n"));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.called(call), applied);
}

void TestParameterFile::unknownModeStopsReading()
{
    const QString file = path(QStringLiteral("mode.lvp"));
    QVERIFY(writeFile(file, "Filename=/a.avi\r\nCapture=Slideshow\r\nDuration(Seconds)=5\r\n"));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.callNames().last(), QStringLiteral("filename"));
    QVERIFY(!t.called(QStringLiteral("selectMode")));
}

void TestParameterFile::valuesCannotPlantKeys()
{
    CaptureSettings s = imageSettings(CaptureKind::MultipleImage);
    s.Text = QStringLiteral("Gate\r\nURL=evil.example\nPort=1");
    s.DeviceDescription = QStringLiteral("Cam, \"Trigger=Motion");
    const QString file = path(QStringLiteral("plant.lvp"));
    QVERIFY(WriteParameters(file, s, ParameterFileKind::User));
    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.state.URL, QStringLiteral("127.0.0.1"));
    QCOMPARE(t.state.Port, 2121);
    QCOMPARE(t.state.Trigger, std::optional(TriggerKind::Timer));
    QCOMPARE(t.state.Text, QStringLiteral("Gate  URL=evil.example Port=1"));
    QCOMPARE(t.state.Password, QStringLiteral("s3cret"));
}

void TestParameterFile::binaryGarbage()
{
    QRandomGenerator rng(20260307);
    const QString file = path(QStringLiteral("garbage.lvp"));
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(rng.bounded(256));
        // Sprinkle the characters the reader treats specially.
        for (int i = 0; i < 2000; ++i)
            bytes[rng.bounded(bytes.size())] = "=,\"\r\n "[rng.bounded(6)];
        QVERIFY(writeFile(file, bytes));
        RecordingTarget t;
        ReadParameters(file, t, ParameterFileKind::User);
        QVERIFY(!t.calls.isEmpty());
        QCOMPARE(t.callNames().first(), QStringLiteral("viewMode"));
    }
}

void TestParameterFile::hugeFileWithoutLineEnd()
{
    const qsizetype size = 50 * 1024 * 1024;
    const QString file = path(QStringLiteral("huge.lvp"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray chunk(1024 * 1024, 'x');
        f.write("Text=");
        for (qsizetype written = 0; written < size; written += chunk.size())
            QCOMPARE(f.write(chunk), chunk.size());
        f.write(",Port=2100");
    }
    QCOMPARE(GetParameter(file, QStringLiteral("Filename"), QStringLiteral("none")), QStringLiteral("none"));
    // The key after the huge field is still found: the file is read to its end.
    QCOMPARE(GetParameter(file, QStringLiteral("Port"), QString()), QStringLiteral("2100"));
    // A value is cut at the field limit instead of filling memory.
    const QString text = GetParameter(file, QStringLiteral("Text"), QString());
    QCOMPARE(text.size(), kMaxFieldBytes - 5);
    QVERIFY(text.startsWith(QStringLiteral("xxxx")));

    RecordingTarget t;
    ReadParameters(file, t, ParameterFileKind::User);
    QCOMPARE(t.argsOf(QStringLiteral("filename")), defaultCaptureFileName());
    QVERIFY(QFile::remove(file));
}

void TestParameterFile::unwritablePath_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("blocker"); // a folder or a file made first
    QTest::addColumn<bool>("blockerIsFolder");
    QTest::newRow("folder where the file should be") << "blocked/settings.lvp" << "blocked/settings.lvp" << true;
    QTest::newRow("file where the folder should be") << "plainfile/settings.lvp" << "plainfile" << false;
    QTest::newRow("folder missing") << "no/such/folder/settings.lvp" << "" << false;
}

void TestParameterFile::unwritablePath()
{
    QFETCH(QString, relative);
    QFETCH(QString, blocker);
    QFETCH(bool, blockerIsFolder);
    if (!blocker.isEmpty()) {
        if (blockerIsFolder)
            QVERIFY(QDir(m_dir.path()).mkpath(blocker));
        else
            QVERIFY(writeFile(path(blocker), "keep me"));
    }
    QVERIFY(!WriteParameters(path(relative), movieSettings(), ParameterFileKind::User));
    if (!blocker.isEmpty() && !blockerIsFolder)
        QCOMPARE(readAll(path(blocker)), QByteArray("keep me"));
    if (blockerIsFolder)
        QVERIFY(QFileInfo(path(blocker)).isDir());
    // No temporary file is left behind.
    const QString folder = QFileInfo(path(relative)).path();
    if (QFileInfo(folder).isDir())
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

void TestParameterFile::fullDiskKeepsTheOldFile()
{
    // A small tmpfs stands for a full disk (tests run as root).
    const QString mountPoint = path(QStringLiteral("small-disk"));
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint})
        != 0)
        QSKIP("cannot mount a small tmpfs here (needs root)");
    struct Unmount {
        QString dir;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {dir}); }
    } unmount{mountPoint};

    const QString file = mountPoint + QStringLiteral("/session.lv2");
    QVERIFY(WriteParameters(file, movieSettings(), ParameterFileKind::LastSession));
    const QByteArray good = readAll(file);
    {
        QFile filler(mountPoint + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    CaptureSettings bigger = movieSettings();
    bigger.Comments = QString(32 * 1024, QLatin1Char('c'));
    QVERIFY(!WriteParameters(file, bigger, ParameterFileKind::LastSession));
    QCOMPARE(readAll(file), good);
    QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary left
}

void TestParameterFile::passwordFileIsOwnerOnly()
{
    const QString file = path(QStringLiteral("ftp.lvp"));
    QVERIFY(writeFile(file, "old"));
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                            | QFileDevice::ReadOther));
    QVERIFY(WriteParameters(file, imageSettings(CaptureKind::MultipleImage), ParameterFileKind::User));
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                        | QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(file) & others, QFileDevice::Permissions());
    QVERIFY(QFile::permissions(file) & QFileDevice::ReadOwner);
    QVERIFY(readAll(file).contains("\r\nPassword=s3cret\r\n"));
}

void TestParameterFile::fileWithoutPasswordKeepsUsualMode()
{
    const QString file = path(QStringLiteral("nopass.lvp"));
    CaptureSettings s = imageSettings(CaptureKind::MultipleImage);
    s.Password.clear();
    QVERIFY(WriteParameters(file, s, ParameterFileKind::User));
    // The same mode as any new file the user makes.
    const QString plain = path(QStringLiteral("plain.txt"));
    QVERIFY(writeFile(plain, "x"));
    QCOMPARE(QFile::permissions(file), QFile::permissions(plain));
    QVERIFY(readAll(file).contains("\r\nPassword=\r\n"));
}

void TestParameterFile::sessionFilesLiveInProgramDirectory()
{
    QCOMPARE(lastSessionFilePath(), programDirectory() + QStringLiteral("lvsr.lv2"));
    QCOMPARE(deviceFilePath(), programDirectory() + QStringLiteral("lvsr.lv3"));
    QVERIFY(lastSessionFilePath().startsWith(m_dir.path()));
}

void TestParameterFile::unsafeFieldsAreRefused_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("refused"); // empty: accepted
    const QByteArray longName = "/tmp/" + QByteArray(4091 - 4, 'n') + ".avi"; // 4096 bytes in all
    QTest::newRow("NUL in the file name") << QByteArray("Filename=/tmp/victim\0.avi", 25) << "Filename";
    QTest::newRow("control character in the file name") << QByteArray("Filename=/tmp/a\x01b.avi") << "Filename";
    QTest::newRow("line break in a quoted file name") << QByteArray("\"Filename=/tmp/a\r\nb.avi\"") << "Filename";
    QTest::newRow("file name of 4097 bytes") << QByteArray("Filename=" + longName + "x") << "Filename";
    QTest::newRow("file name of 4096 bytes") << QByteArray("Filename=" + longName) << "";
    QTest::newRow("CR LF in a quoted user name") << QByteArray("\"Username=lumi\r\nDELE important.txt\"") << "Username";
    QTest::newRow("NUL in the password") << QByteArray("Password=pw\0x", 13) << "Password";
    QTest::newRow("LF in the directory") << QByteArray("\"Directory=up\nDELE x\"") << "Directory";
    QTest::newRow("DEL in the server") << QByteArray("URL=ftp.example\x7f") << "URL";
    QTest::newRow("plain values") << QByteArray("Username=lumi") << "";
}

void TestParameterFile::unsafeFieldsAreRefused()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, refused);
    const QString file = path(QStringLiteral("unsafe.lvp"));
    QVERIFY(writeFile(file, "Capture=Multiple Image\r\nURL=127.0.0.1\r\nUsername=anon\r\nPassword=pw\r\nDirectory=up\r\n"
                            "Filename=/tmp/plain.avi\r\n"));
    // The line under test comes first, so it is the one that counts.
    QVERIFY(writeFile(file, line + "\r\n" + readAll(file)));
    RecordingTarget t;
    const QString said = ReadParameters(file, t, ParameterFileKind::User);
    if (refused.isEmpty()) {
        QVERIFY2(said.isEmpty(), qPrintable(said));
        return;
    }
    QVERIFY2(said.startsWith(QStringLiteral("Ignored ") + refused + QStringLiteral(" in ") + file), qPrintable(said));
    const QString value = refused == QLatin1String("Filename") ? t.state.Filename
                          : refused == QLatin1String("Username") ? t.state.Username
                          : refused == QLatin1String("Password") ? t.state.Password
                          : refused == QLatin1String("Directory") ? t.state.Directory
                                                                  : t.state.URL;
    // Refused reads as missing: the default name, an empty FTP field.
    QCOMPARE(value, refused == QLatin1String("Filename") ? defaultCaptureFileName() : QString());
    for (QChar c : value)
        QVERIFY(c.unicode() >= 0x20);
}

void TestParameterFile::pathsRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("latin1"); // written as Latin-1, as older programs read it
    QTest::newRow("ASCII") << QStringLiteral("/home/u/Videos/a.avi") << true;
    QTest::newRow("Latin-1") << QStringLiteral("/home/u/Vid\u00e9os/m\u00e4rz.avi") << true;
    QTest::newRow("Cyrillic") << QStringLiteral("/home/u/\u0412\u0438\u0434\u0435\u043e/\u0444\u0438\u043b\u044c\u043c.avi") << false;
    QTest::newRow("CJK and emoji") << QStringLiteral("/home/u/\u30d3\u30c7\u30aa/\U0001F3A5.avi") << false;
    QTest::newRow("Latin-1 that looks like UTF-8") << QStringLiteral("/home/u/\u00c3\u00a9t.avi") << false;
}

void TestParameterFile::pathsRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(bool, latin1);
    CaptureSettings s = imageSettings(CaptureKind::MultipleImage);
    s.Filename = name;
    s.Directory = name;
    const QString file = path(QStringLiteral("names.lvp"));
    QVERIFY(WriteParameters(file, s, ParameterFileKind::User));
    const QByteArray bytes = readAll(file);
    QCOMPARE(bytes.contains("Filename=" + name.toLatin1() + "\r\n"), latin1);
    if (!latin1)
        QVERIFY(bytes.contains("Filename=" + name.toUtf8() + "\r\n"));
    RecordingTarget t;
    QVERIFY(ReadParameters(file, t, ParameterFileKind::User).isEmpty());
    QCOMPARE(t.state.Filename, name);
    QCOMPARE(t.state.Directory, name);
    QCOMPARE(GetParameter(file, QStringLiteral("Filename"), {}), name);
}

QTEST_GUILESS_MAIN(TestParameterFile)
#include "tst_parameterfile.moc"
