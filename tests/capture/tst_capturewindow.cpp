#include "base/scripteddialogs.h"
#include "capture/ui/liveview.h"
#include "capture/devicedialogs.h"
#include "capture/drivercatalogue.h"
#include "capture/recordingstatus.h"
#include "capture/testpatterndriver.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace lv;

namespace {

// A driver that can refuse to open, and reports a chosen rate.
class FakeDriver final : public CaptureDriver {
public:
    FakeDriver(bool opens, double rate, bool overlay) : m_opens(opens), m_rate(rate), m_overlay(overlay) {}
    QString name() const override { return QStringLiteral("Fake"); }
    QString version() const override { return QStringLiteral("1"); }
    bool open() override { return m_opens; }
    void close() override {}
    QSize frameSize() const override { return {160, 120}; }
    double frameRate() const override { return m_rate; }
    bool hasOverlay() const override { return m_overlay; }
    bool hasSourceDialog() const override { return false; }
    bool hasFormatDialog() const override { return false; }
    bool showSourceDialog(QWidget*) override { return false; }
    bool showFormatDialog(QWidget*) override { return false; }
    bool start(FrameSink, ErrorSink) override { return true; }
    void stop() override {}

private:
    bool m_opens;
    double m_rate;
    bool m_overlay;
};

// Drivers at chosen indices; anything else does not answer.
class TableCatalogue final : public DriverCatalogue {
public:
    explicit TableCatalogue(QList<int> present) : m_present(std::move(present)) {}
    bool describe(int index, QString* name, QString* version) const override
    {
        if (!m_present.contains(index))
            return false;
        if (name)
            *name = QStringLiteral("Driver %1").arg(index);
        if (version)
            *version = QStringLiteral("v%1").arg(index);
        return true;
    }
    std::unique_ptr<CaptureDriver> create(int index) const override
    {
        if (!m_present.contains(index))
            return nullptr;
        return std::make_unique<FakeDriver>(opens, rate, overlay);
    }
    bool opens = true;
    double rate = 15;
    bool overlay = false;

private:
    QList<int> m_present;
};

// Device dialogs that answer from what the test set and note what was asked.
class ScriptedDeviceDialogs final : public DeviceDialogs {
public:
    QStringList asked;
    std::optional<TestPatternSettings> pattern;
    std::optional<bool> scale;
    std::optional<CodecChoice> codec;

    std::optional<TestPatternSettings> testPatternSource(const TestPatternSettings&, QWidget*) override
    {
        asked << QStringLiteral("pattern source");
        return pattern;
    }
    std::optional<TestPatternSettings> testPatternFormat(const TestPatternSettings&, QWidget*) override
    {
        asked << QStringLiteral("pattern format");
        return pattern;
    }
    void cameraSource(const std::vector<v4l2::ControlInfo>&, const std::function<bool(uint32_t, int)>&,
                      QWidget*) override
    {
        asked << QStringLiteral("camera source");
    }
    std::optional<CameraFormatChoice> cameraFormat(const std::vector<v4l2::PixelFormatInfo>&,
                                                   const v4l2::CurrentFormat&, QWidget*) override
    {
        asked << QStringLiteral("camera format");
        return std::nullopt;
    }
    std::optional<bool> display(bool current, QWidget*) override
    {
        asked << QStringLiteral("display %1").arg(current);
        return scale;
    }
    std::optional<CodecChoice> compression(QWidget*, MovieContainer) override
    {
        asked << QStringLiteral("compression");
        return codec;
    }
};

struct ScopedDeviceDialogs {
    explicit ScopedDeviceDialogs(DeviceDialogs* d) { setDeviceDialogs(d); }
    ~ScopedDeviceDialogs() { setDeviceDialogs(nullptr); }
};

} // namespace

class TestCaptureWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Devices remember what was set on them in the settings store; start from none.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }
    void enumeration_data()
    {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("count");
        QTest::newRow("none") << QList<int>{} << 0;
        QTest::newRow("one") << QList<int>{0} << 1;
        QTest::newRow("gap hides the rest") << QList<int>{0, 2} << 1;
        QTest::newRow("first missing hides all") << QList<int>{1, 2} << 0;
        QTest::newRow("three") << QList<int>{0, 1, 2} << 3;
    }
    void enumeration()
    {
        QFETCH(QList<int>, present);
        QFETCH(int, count);
        TableCatalogue cat(present);
        ScopedDriverCatalogue scoped(&cat);
        QCOMPARE(LiveView::CountDrivers(), count);
        QCOMPARE(LiveView::HasDrivers(), count > 0);
        QCOMPARE(LiveView::GetDriverName(count), QStringLiteral("Error!"));
        QCOMPARE(LiveView::GetDriverVersion(count), QStringLiteral("Error!"));
        if (count > 0)
            QCOMPARE(LiveView::GetDriverName(0), QStringLiteral("Driver 0"));
    }

    void systemCatalogueListsTestPatternUnlessHidden()
    {
        qputenv("LUMIVARK_TEST_DEVICE", "0");
        {
            SystemDriverCatalogue hidden;
            QVERIFY(!hidden.describe(0, nullptr, nullptr));
        }
        qunsetenv("LUMIVARK_TEST_DEVICE");
        SystemDriverCatalogue shown;
        QString name;
        QVERIFY(shown.describe(0, &name, nullptr));
        QCOMPARE(name, TestPatternDriver::driverName());
    }

    void connectFailsForDeviceThatDoesNotOpen()
    {
        TableCatalogue cat({0});
        cat.opens = false;
        ScopedDriverCatalogue scoped(&cat);
        QWidget parent;
        LiveView* w = LiveView::CreateCaptureWindow(&parent);
        QVERIFY(!w->ConnectDriver(0));
        CaptureStatus st;
        QVERIFY(!w->GetStatus(st));
        QVERIFY(!w->FitWindow(0, 0, 0, 0));
        QCOMPARE(w->GetCaptureFile(), QString());
        QVERIFY(LiveView::DisconnectDriver(w));
        QVERIFY(!LiveView::DisconnectDriver(nullptr));
    }

    void testPatternConnectsWithOverlayAndPreview()
    {
        QWidget parent;
        LiveView* w = LiveView::CreateCaptureWindow(&parent);
        QVERIFY(w->ConnectDriver(0));
        CaptureDriverCaps caps;
        QVERIFY(w->GetDriverCaps(caps));
        QCOMPARE(caps.fHasOverlay, 1u);
        QCOMPARE(caps.fHasDlgVideoSource, 1u);
        QCOMPARE(caps.fHasDlgVideoFormat, 1u);
        CaptureStatus st;
        QVERIFY(w->GetStatus(st));
        QCOMPARE(st.uiImageWidth, 320u);
        QCOMPARE(st.uiImageHeight, 240u);
        QVERIFY(w->FitWindow(0, 0, 0, 0));
        QCOMPARE(w->size(), QSize(320, 240));
        QVERIFY(w->FitWindow(5, 7, 0, 0));
        QCOMPARE(w->pos(), QPoint(7, 5));
        QCOMPARE(w->size(), QSize(320, 240));

        QVERIFY(w->StartOverlay());
        QVERIFY(w->GetStatus(st));
        QCOMPARE(st.fOverlayWindow, 1u);
        QCOMPARE(st.fLiveWindow, 0u);
        QVERIFY(w->StartPreview(10));
        QVERIFY(w->GetStatus(st));
        QCOMPARE(st.fOverlayWindow, 0u);
        QCOMPARE(st.fLiveWindow, 1u);
        QCOMPARE(st.fCapturingNow, 0u);

        // The frame grab hands a real frame over in process, at once or, just
        // after connecting, when the first frame arrives.
        int answers = 0;
        bool grabbed = false;
        FramePtr f;
        w->CopyFrameToClipboard([&](FramePtr frame) {
            ++answers;
            grabbed = frame != nullptr;
            f = std::move(frame);
        });
        QTRY_COMPARE(answers, 1);
        QVERIFY(grabbed);
        QVERIFY(f);
        QCOMPARE(f->picture().size(), QSize(320, 240));
        LiveView::DisconnectDriver(w);
    }

    void deviceWithoutOverlayRefusesOverlay()
    {
        TableCatalogue cat({0});
        cat.overlay = false;
        ScopedDriverCatalogue scoped(&cat);
        QWidget parent;
        LiveView* w = LiveView::CreateCaptureWindow(&parent);
        QVERIFY(w->ConnectDriver(0));
        QVERIFY(!w->StartOverlay());
        CaptureParms parms;
        QVERIFY(w->GetSequenceSetup(parms));
        QCOMPARE(parms.dwRequestMicroSecPerFrame, 66667u);
        LiveView::DisconnectDriver(w);
    }

    void dialogsThatCannotShowSayWhy()
    {
        TableCatalogue cat({0});
        ScopedDriverCatalogue scoped(&cat);
        ScopedScriptedDialogs dlg;
        QWidget parent;
        LiveView* w = LiveView::CreateCaptureWindow(&parent);
        QVERIFY(w->ConnectDriver(0));
        QVERIFY(!w->ShowSourceDialog());
        QVERIFY(!w->ShowFormatDialog());
        QCOMPARE(dlg.d.messages(), (QStringList{QStringLiteral("Orbelstand: Cannot show Video Source Dialog."),
                                               QStringLiteral("Orbelstand: Cannot show Video Format Dialog.")}));
        QCOMPARE(dlg.d.requests.first().icon, Dialogs::Icon::Error);
        QCOMPARE(dlg.d.requests.first().caption, QStringLiteral("Video Lumivark 2000"));
        LiveView::DisconnectDriver(w);
    }

    // Without registered dialogs (the command-line program, a build without
    // widgets) each device dialog says it cannot be shown; with them the
    // choice made reaches the device, and a cancel changes nothing.
    void deviceDialogsComeFromTheRegisteredOnes_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("none registered") << false << false;
        QTest::newRow("chosen") << true << false;
        QTest::newRow("cancelled") << true << true;
    }
    void deviceDialogsComeFromTheRegisteredOnes()
    {
        QFETCH(bool, registered);
        QFETCH(bool, cancel);
        ScriptedDeviceDialogs ui;
        ScopedDeviceDialogs scopedUi(registered ? &ui : nullptr);
        ScopedScriptedDialogs dlg;
        QWidget parent;
        LiveView* w = LiveView::CreateCaptureWindow(&parent);
        QVERIFY(w->ConnectDriver(0)); // the test pattern
        auto* pattern = dynamic_cast<TestPatternDriver*>(w->driver());
        QVERIFY(pattern);
        const TestPatternSettings before = pattern->settings();
        const CodecChoice codecBefore = savedCodecChoice();
        if (!cancel) {
            TestPatternSettings chosen = before;
            chosen.size = QSize(640, 480);
            chosen.still = !before.still;
            ui.pattern = chosen;
            ui.scale = true;
            ui.codec = CodecChoice{QStringLiteral("ffv1"), 40};
        }

        QCOMPARE(w->ShowFormatDialog(), registered);
        QCOMPARE(w->ShowSourceDialog(), registered);
        QCOMPARE(w->ShowDisplayDialog(), registered);
        QCOMPARE(w->ShowCompressionDialog(), registered);
        if (!registered) {
            QCOMPARE(dlg.d.messages(), (QStringList{QStringLiteral("Orbelstand: Cannot show Video Format Dialog."),
                                                   QStringLiteral("Orbelstand: Cannot show Video Source Dialog."),
                                                   QStringLiteral("Orbelstand: Cannot show Video Display Dialog."),
                                                   QStringLiteral("Cannot show Video Compression Dialog.")}));
            for (const auto& r : dlg.d.requests)
                QCOMPARE(r.icon, Dialogs::Icon::Error);
            QVERIFY(ui.asked.isEmpty());
        } else {
            QVERIFY(dlg.d.requests.isEmpty());
            QCOMPARE(ui.asked, (QStringList{QStringLiteral("pattern format"), QStringLiteral("pattern source"),
                                            QStringLiteral("display 0"), QStringLiteral("compression")}));
        }
        CaptureStatus st;
        QVERIFY(w->GetStatus(st));
        const bool changed = registered && !cancel;
        QCOMPARE(pattern->settings().size, changed ? QSize(640, 480) : before.size);
        QCOMPARE(pattern->settings().still, changed ? !before.still : before.still);
        QCOMPARE(st.fScale, changed ? 1u : 0u);
        QCOMPARE(savedCodecChoice().encoder, changed ? QStringLiteral("ffv1") : codecBefore.encoder);
        saveCodecChoice(codecBefore);
        LiveView::DisconnectDriver(w);
    }

    void audioFormatValidation_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("mono 8 8000") << 1 << 8 << 8000 << true;
        QTest::newRow("stereo 16 44100") << 2 << 16 << 44100 << true;
        QTest::newRow("three channels") << 3 << 16 << 44100 << false;
        QTest::newRow("12 bits") << 1 << 12 << 8000 << false;
        QTest::newRow("no rate") << 1 << 8 << 0 << false;
    }
    void audioFormatValidation()
    {
        QFETCH(int, channels);
        QFETCH(int, bits);
        QFETCH(int, rate);
        QFETCH(bool, accepted);
        QWidget parent;
        LiveView* w = LiveView::CreateCaptureWindow(&parent);
        QVERIFY(w->ConnectDriver(0));
        QCOMPARE(w->GetAudioFormatSize(), 22);
        AudioFormat f;
        f.nChannels = static_cast<uint16_t>(channels);
        f.wBitsPerSample = static_cast<uint16_t>(bits);
        f.nSamplesPerSec = static_cast<uint32_t>(rate);
        QCOMPARE(w->SetAudioFormat(f, 22), accepted);
        LiveView::DisconnectDriver(w);
    }

    void statusCallbackIsClearable()
    {
        QWidget parent;
        LiveView* w = LiveView::CreateCaptureWindow(&parent);
        int calls = 0;
        QVERIFY(w->SetStatusCallback([&](LiveView*, int, const QString&) { ++calls; return true; }));
        QVERIFY(w->SetStatusCallback({}));
        LiveView::DisconnectDriver(w);
        QCOMPARE(calls, 0);
    }

    void elapsedText_data()
    {
        QTest::addColumn<uint>("frames");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("25 at 10") << 25u << 10 << "00:00:02.05";
        QTest::newRow("12 at 12") << 12u << 12 << "00:00:01.00";
        QTest::newRow("3600 at 1") << 3600u << 1 << "01:00:00.00";
        QTest::newRow("29.97 shown whole") << 1799u << 30 << "00:00:59.29";
        QTest::newRow("past a day") << 90000u << 1 << "25:00:00.00";
    }
    void elapsedText()
    {
        QFETCH(uint, frames);
        QFETCH(int, rate);
        QFETCH(QString, text);
        QCOMPARE(recordingstatus::elapsedText(frames, rate), text);
    }

    void droppedText_data()
    {
        QTest::addColumn<uint>("frames");
        QTest::addColumn<uint>("dropped");
        QTest::addColumn<uint>("limit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color");
        QTest::newRow("5 of 1000, 10%") << 1000u << 5u << 10u << "5 = %" << recordingstatus::green();
        QTest::newRow("200 of 1000, 10%") << 1000u << 200u << 10u << "200 = 20%" << recordingstatus::red();
        QTest::newRow("none dropped") << 1000u << 0u << 10u << "none" << recordingstatus::green();
        QTest::newRow("exactly at the limit") << 1000u << 100u << 10u << "100 = 10%" << recordingstatus::green();
        QTest::newRow("one over the limit") << 1000u << 101u << 10u << "101 = 10%" << recordingstatus::red();
    }
    void droppedText()
    {
        QFETCH(uint, frames);
        QFETCH(uint, dropped);
        QFETCH(uint, limit);
        QFETCH(QString, text);
        QFETCH(QColor, color);
        const auto d = recordingstatus::droppedText(frames, dropped, limit);
        QCOMPARE(d.text, text);
        QCOMPARE(d.color, color);
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(TestCaptureWindow)
#include "tst_capturewindow.moc"
