#include "base/settingsstore.h"
#include "settings/ui/otherinfo.h"
#include "settings/ui/preferences.h"
#include "settings/ui/videoinfo.h"
#include "settings/ui/videosettings.h"
#include "settings/ui/windowdragger.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {
const QString kApp = QStringLiteral("LV");
const QString kUnset = QStringLiteral("<unset>");

template <typename T>
T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList out;
    for (const char* t : texts)
        out << QLatin1String(t);
    return out;
}

QString stored(const char* section, const char* key)
{
    return settings::get(kApp, QLatin1String(section), QLatin1String(key), kUnset);
}
} // namespace

class TestSettingsWindows : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }
    void init() { QFile::remove(settings::storeDirectory() + QStringLiteral("/LV.ini")); }

    void preferencesWithNothingStored();
    void preferencesLoadStoredValues_data();
    void preferencesLoadStoredValues();
    void preferencesOkSavesStoreKeysButNotSwitches();
    void preferencesCancelChangesNothing();

    void otherInfoEditsOnlySelectedField();

    void videoInfoLines_data();
    void videoInfoLines();
    void videoInfoWindowPrintsLines();

    void videoSettingsShowsParms();
    void videoSettingsOkReadsNumbersLeniently_data();
    void videoSettingsOkReadsNumbersLeniently();
    void videoSettingsDefaultsThenCancel();
    void videoSettingsDefaultsThenOk();
    void videoSettingsValuesOutsideLists();
    void videoSettingsIsBorderlessAndDraggable();
};

void TestSettingsWindows::preferencesWithNothingStored()
{
    PreferenceValues v;
    v.PopUpMovieViewer.clear();
    v.Autoplay.clear();
    v.SystemSounds = QStringLiteral("1");
    Preferences w(v);
    QVERIFY(!child<QCheckBox>(&w, "PopUpViewer")->isChecked());
    QVERIFY(!child<QCheckBox>(&w, "Autoplay")->isChecked());
    QVERIFY(child<QCheckBox>(&w, "ESounds")->isChecked());
    // Nothing stored: pictures are written at the start-up default, and the window says so.
    QCOMPARE(child<QSlider>(&w, "JpegCompression")->value(), 100);
    QCOMPARE(child<QSlider>(&w, "JpegCompression")->maximum(), 100);
    QCOMPARE(child<QSlider>(&w, "Motion")->value(), 5);
    QCOMPARE(child<QSlider>(&w, "Motion")->maximum(), 15);
    QVERIFY(child<QCheckBox>(&w, "OverwriteQuestion")->isChecked());
    QVERIFY(child<QCheckBox>(&w, "HangUp")->isChecked());
    QCOMPARE(child<QCheckBox>(&w, "Autoplay")->text(), QStringLiteral("Autoplay  "));
}

void TestSettingsWindows::preferencesLoadStoredValues_data()
{
    QTest::addColumn<QString>("jpeg");
    QTest::addColumn<int>("jpegInEffect");
    QTest::addColumn<QString>("sense");
    QTest::addColumn<QString>("oq");
    QTest::addColumn<int>("jpegShown");
    QTest::addColumn<int>("senseShown");
    QTest::addColumn<bool>("oqShown");
    // The JPEG slider shows the quality pictures are written with, whatever the store holds.
    QTest::newRow("plain") << "75" << 75 << "9" << "0" << 75 << 9 << false;
    QTest::newRow("fraction rounds") << "74.6" << 75 << "2.4" << "1" << 75 << 2 << true;
    QTest::newRow("store differs from what is in effect") << "90" << 100 << "5" << "1" << 100 << 5 << true;
    QTest::newRow("beyond the sliders") << "250" << 250 << "99" << "1" << 100 << 15 << true;
    QTest::newRow("not numbers") << "best" << 0 << "x" << "no" << 1 << 1 << false;
}

void TestSettingsWindows::preferencesLoadStoredValues()
{
    QFETCH(QString, jpeg);
    QFETCH(QString, sense);
    QFETCH(QString, oq);
    settings::save(kApp, QStringLiteral("JPEG"), QStringLiteral("Compression"), jpeg);
    settings::save(kApp, QStringLiteral("MD"), QStringLiteral("SENSE"), sense);
    settings::save(kApp, QStringLiteral("MD"), QStringLiteral("OQ"), oq);
    PreferenceValues v;
    QFETCH(int, jpegInEffect);
    v.JpegQuality = jpegInEffect;
    Preferences w(v);
    QTEST(child<QSlider>(&w, "JpegCompression")->value(), "jpegShown");
    QTEST(child<QSlider>(&w, "Motion")->value(), "senseShown");
    QTEST(child<QCheckBox>(&w, "OverwriteQuestion")->isChecked(), "oqShown");
}

void TestSettingsWindows::preferencesOkSavesStoreKeysButNotSwitches()
{
    PreferenceValues v;
    v.PopUpMovieViewer = QStringLiteral("0");
    v.Autoplay = QStringLiteral("1");
    v.SystemSounds = QStringLiteral("1");
    Preferences w(v);
    child<QCheckBox>(&w, "PopUpViewer")->setChecked(true);
    child<QCheckBox>(&w, "ESounds")->setChecked(false);
    child<QSlider>(&w, "JpegCompression")->setValue(42);
    child<QSlider>(&w, "Motion")->setValue(12);
    child<QCheckBox>(&w, "OverwriteQuestion")->setChecked(false);
    child<QPushButton>(&w, "ok")->click();

    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(v.PopUpMovieViewer, QStringLiteral("1"));
    QCOMPARE(v.Autoplay, QStringLiteral("1"));
    QCOMPARE(v.SystemSounds, QStringLiteral("0"));
    QCOMPARE(v.JpegQuality, 42);
    QCOMPARE(v.MotionSensitivity, int16_t(12));
    QCOMPARE(stored("JPEG", "Compression"), QStringLiteral("42"));
    QCOMPARE(stored("MD", "SENSE"), QStringLiteral("12"));
    QCOMPARE(stored("MD", "OQ"), QStringLiteral("0"));
    QCOMPARE(stored("NET", "HANGUP"), QStringLiteral("1"));
    // The three switches reach the store only at disconnect and exit.
    QCOMPARE(stored("LV", "PUMV"), kUnset);
    QCOMPARE(stored("LV", "AP"), kUnset);
    QCOMPARE(stored("LV", "ES"), kUnset);
}

void TestSettingsWindows::preferencesCancelChangesNothing()
{
    PreferenceValues v;
    v.JpegQuality = 100;
    Preferences w(v);
    child<QCheckBox>(&w, "PopUpViewer")->setChecked(true);
    child<QSlider>(&w, "JpegCompression")->setValue(10);
    child<QPushButton>(&w, "Cancelar")->click();
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QCOMPARE(v.PopUpMovieViewer, QString());
    QCOMPARE(v.JpegQuality, 100);
    QCOMPARE(stored("JPEG", "Compression"), kUnset);
}

void TestSettingsWindows::otherInfoEditsOnlySelectedField()
{
    AviInfoTexts fields = {QStringLiteral("(c) 2026"), QString(), QString(), QString(), QString(),
                           QStringLiteral("first take")};
    {
        OtherInfo w(fields);
        QCOMPARE(w.windowTitle(), QStringLiteral("Other Information"));
        auto* items = child<QListWidget>(&w, "InfoItems");
        auto* text = child<QLineEdit>(&w, "TextItems");
        QCOMPARE(items->count(), 6);
        QCOMPARE(items->item(5)->text(), QStringLiteral("Comments"));
        QCOMPARE(items->currentRow(), 0);
        QCOMPARE(text->text(), QStringLiteral("(c) 2026"));

        items->setCurrentRow(1);
        QCOMPARE(text->text(), QString());
        QTest::keyClicks(text, QStringLiteral("Ann"));
        QCOMPARE(fields[1], QStringLiteral("Ann"));
        QCOMPARE(fields[0], QStringLiteral("(c) 2026"));

        items->setCurrentRow(5);
        QCOMPARE(text->text(), QStringLiteral("first take"));
        QCOMPARE(fields[1], QStringLiteral("Ann"));
    }
    // Closing keeps the texts.
    QCOMPARE(fields[1], QStringLiteral("Ann"));
    QCOMPARE(fields[5], QStringLiteral("first take"));
}

void TestSettingsWindows::videoInfoLines_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<uint>("flags"); // 1 = all capabilities
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("lastColour");

    QTest::newRow("camera with everything")
        << true << 1u << "uvcvideo 6.1.0" << "V4L2 (uvcvideo 6.1.0)"
        << strings({"Driver:Test Pattern", "Version: uvcvideo 6.1.0", "", "Capture System: V4L2 (uvcvideo 6.1.0)",
                       "Has Source Dialog: Yes", "Has Display Dialog: Yes", "Has Format Dialog: Yes",
                       "Support Overlay"})
        << "#ffffff";
    QTest::newRow("nothing; a version that labels itself is not labelled twice")
        << true << 0u << "Version: 1.2" << ""
        << strings({"Driver:Test Pattern", "Version: 1.2", "", "Capture System: unknown",
                       "Has Source Dialog: No", "Has Display Dialog: No", "Has Format Dialog: No",
                       "Overlay not supported"})
        << "#fa0000";
    QTest::newRow("not connected") << false << 1u << "1.2" << "V4L2" << QStringList() << "";
}

void TestSettingsWindows::videoInfoLines()
{
    QFETCH(bool, connected);
    QFETCH(uint, flags);
    QFETCH(QString, version);
    QFETCH(QString, system);
    QFETCH(QStringList, texts);
    QFETCH(QString, lastColour);
    CaptureDriverCaps caps;
    caps.fHasOverlay = caps.fHasDlgVideoSource = caps.fHasDlgVideoDisplay = caps.fHasDlgVideoFormat = flags;
    const auto lines = lv::videoInfoLines(connected, QStringLiteral("Test Pattern"), version, system, caps);
    QStringList actual;
    for (const InfoLine& l : lines)
        actual << l.text;
    QCOMPARE(actual, texts);
    if (!lines.empty()) {
        QCOMPARE(lines.back().colour.name(), lastColour);
        QCOMPARE(lines.front().colour, QColor(255, 255, 255));
        QCOMPARE(lines.at(2).colour, QColor(0, 0, 0));
    }
}

void TestSettingsWindows::videoInfoWindowPrintsLines()
{
    CaptureDriverCaps caps;
    caps.fHasDlgVideoFormat = 1;
    VideoInfo w(true, QStringLiteral("Cam"), QStringLiteral("3"), QStringLiteral("V4L2 (cam 3)"), caps);
    QCOMPARE(w.windowTitle(), QStringLiteral("Device Information"));
    QCOMPARE(w.targetPic()->lines(),
             lv::videoInfoLines(true, QStringLiteral("Cam"), QStringLiteral("3"), QStringLiteral("V4L2 (cam 3)"), caps));
    w.Say(QStringLiteral("extra"), Qt::green);
    QCOMPARE(w.targetPic()->lines().back().text, QStringLiteral("extra"));
    w.show();
    QVERIFY(!w.grab().isNull());

    VideoInfo empty(false, QStringLiteral("Cam"), QString(), QString(), caps);
    QVERIFY(empty.targetPic()->lines().empty());
}

void TestSettingsWindows::videoSettingsShowsParms()
{
    CaptureParms p;
    p.fYield = 0;
    p.wNumVideoRequested = 5;
    p.wNumAudioRequested = 3;
    p.fUsingDOSMemory = 1;
    p.fDisableWriteCache = 0;
    p.dwIndexSize = 27000;
    p.wChunkGranularity = 2048;
    p.wPercentDropForError = 42;
    VideoSettings w(p);
    QCOMPARE(child<QComboBox>(&w, "Yield")->currentText(), QStringLiteral("Exclusive Task (Recommended)"));
    QCOMPARE(child<QLineEdit>(&w, "VideoBuffers")->text(), QStringLiteral("5"));
    QCOMPARE(child<QLineEdit>(&w, "AudioBuffers")->text(), QStringLiteral("3"));
    QVERIFY(child<QCheckBox>(&w, "DOSBuffers")->isChecked());
    QVERIFY(!child<QCheckBox>(&w, "DisableCache")->isChecked());
    QCOMPARE(child<QLineEdit>(&w, "MaxIndexSize")->text(), QStringLiteral("27000"));
    QCOMPARE(child<QLineEdit>(&w, "Chunk")->text(), QStringLiteral("2048"));
    auto* drop = child<QComboBox>(&w, "DroppedFrames");
    QCOMPARE(drop->count(), 101);
    QCOMPARE(drop->itemText(0), QStringLiteral("Warn when drop 0 % of frames"));
    QCOMPARE(drop->itemText(100), QStringLiteral("Warn when drop 100 % of frames"));
    QCOMPARE(drop->currentIndex(), 42);
    // Saved but used by nothing: the tips say so, and promise no frame limit.
    for (const char* name : {"VideoBuffers", "AudioBuffers", "DOSBuffers", "DisableCache", "MaxIndexSize", "Chunk"})
        QVERIFY2(child<QWidget>(&w, name)->toolTip().contains(QStringLiteral("Kept for parameters files only")), name);
    QVERIFY(!child<QLineEdit>(&w, "MaxIndexSize")->toolTip().contains(QStringLiteral("controls the maximum number")));

    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>())
        labels << l->text();
    QVERIFY(labels.contains(QStringLiteral("Memory & Disk:")));
    QVERIFY(labels.contains(QStringLiteral("It is recommend that only advanced users change this parameters.")));
}

void TestSettingsWindows::videoSettingsOkReadsNumbersLeniently_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<uint>("stored");
    QTest::newRow("digits then letters") << "12abc" << 12u;
    QTest::newRow("letters") << "many" << 0u;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("fraction rounds") << "7.6" << 8u;
    QTest::newRow("blank before") << "  9" << 9u;
    QTest::newRow("negative") << "-3" << 0u;
    QTest::newRow("beyond 32 bits") << "99999999999" << 4294967295u;
}

void TestSettingsWindows::videoSettingsOkReadsNumbersLeniently()
{
    QFETCH(QString, typed);
    QFETCH(uint, stored);
    CaptureParms p;
    VideoSettings w(p);
    for (const char* box : {"VideoBuffers", "AudioBuffers", "MaxIndexSize", "Chunk"})
        child<QLineEdit>(&w, box)->setText(typed);
    child<QPushButton>(&w, "ok")->click();
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(p.wNumVideoRequested, stored);
    QCOMPARE(p.wNumAudioRequested, stored);
    QCOMPARE(p.dwIndexSize, stored);
    QCOMPARE(p.wChunkGranularity, stored);
}

void TestSettingsWindows::videoSettingsDefaultsThenCancel()
{
    CaptureParms p;
    p.fYield = 0;
    p.wNumVideoRequested = 4;
    p.fDisableWriteCache = 0;
    p.dwIndexSize = 1000;
    p.wPercentDropForError = 50;
    const CaptureParms before = p;
    VideoSettings w(p);
    child<QPushButton>(&w, "SetDefaults")->click();
    QCOMPARE(child<QComboBox>(&w, "Yield")->currentIndex(), 1);
    QCOMPARE(child<QLineEdit>(&w, "MaxIndexSize")->text(), QStringLiteral("324000"));
    QVERIFY(child<QCheckBox>(&w, "DisableCache")->isChecked());
    QCOMPARE(child<QComboBox>(&w, "DroppedFrames")->currentText(), QStringLiteral("Warn when drop 10 % of frames"));
    child<QPushButton>(&w, "Command1")->click();
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QCOMPARE(p.fYield, before.fYield);
    QCOMPARE(p.wNumVideoRequested, before.wNumVideoRequested);
    QCOMPARE(p.fDisableWriteCache, before.fDisableWriteCache);
    QCOMPARE(p.dwIndexSize, before.dwIndexSize);
    QCOMPARE(p.wPercentDropForError, before.wPercentDropForError);
}

void TestSettingsWindows::videoSettingsDefaultsThenOk()
{
    CaptureParms p;
    p.fYield = 0;
    p.wNumVideoRequested = 4;
    p.wNumAudioRequested = 4;
    p.fUsingDOSMemory = 1;
    p.dwIndexSize = 1000;
    p.wChunkGranularity = 16;
    p.wPercentDropForError = 50;
    VideoSettings w(p);
    child<QPushButton>(&w, "SetDefaults")->click();
    child<QPushButton>(&w, "ok")->click();
    QCOMPARE(p.fYield, 1u);
    QCOMPARE(p.wNumVideoRequested, 0u);
    QCOMPARE(p.wNumAudioRequested, 0u);
    QCOMPARE(p.fUsingDOSMemory, 0u);
    QCOMPARE(p.fDisableWriteCache, 1u);
    QCOMPARE(p.dwIndexSize, 324000u);
    QCOMPARE(p.wChunkGranularity, 0u);
    QCOMPARE(p.wPercentDropForError, 10u);
}

void TestSettingsWindows::videoSettingsValuesOutsideLists()
{
    CaptureParms p;
    p.fYield = 7;
    p.wPercentDropForError = 250;
    VideoSettings w(p);
    QCOMPARE(child<QComboBox>(&w, "Yield")->currentIndex(), -1);
    QCOMPARE(child<QComboBox>(&w, "DroppedFrames")->currentIndex(), -1);
    child<QPushButton>(&w, "ok")->click();
    // A list without a selection has nothing to give back.
    QCOMPARE(p.fYield, 7u);
    QCOMPARE(p.wPercentDropForError, 250u);
}

void TestSettingsWindows::videoSettingsIsBorderlessAndDraggable()
{
    CaptureParms p;
    VideoSettings w(p);
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy drags(w.dragger(), &WindowDragger::dragStarted);

    QLabel* label = nullptr;
    for (QLabel* l : w.findChildren<QLabel*>()) {
        if (l->text() == QStringLiteral("Dropped Frames:"))
            label = l;
    }
    QVERIFY(label);
    QTest::mousePress(label, Qt::LeftButton);
    QCOMPARE(drags.count(), 1);
    QTest::mouseRelease(label, Qt::LeftButton);

    QTest::mousePress(label, Qt::RightButton);
    QCOMPARE(drags.count(), 1);

    // Edit fields and buttons keep their presses.
    auto* box = child<QLineEdit>(&w, "Chunk");
    QTest::mousePress(box, Qt::LeftButton);
    QTest::mouseRelease(box, Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(&w, "DOSBuffers"), Qt::LeftButton);
    QCOMPARE(drags.count(), 1);
    QVERIFY(child<QCheckBox>(&w, "DOSBuffers")->isChecked());
}

QTEST_MAIN(TestSettingsWindows)
#include "tst_settingswindows.moc"
