#include "capture/ui/v4l2dialogs.h"
#include "capture/v4l2/v4l2devices.h"
#include "capture/v4l2/v4l2driver.h"
#include "v4l2_replayio.h"

#include <QTest>
#include <QWidget>
#include <linux/videodev2.h>

using namespace lv;
using namespace lv::v4l2;

// The V4L2 format and source dialogs over a recorded camera.
class V4l2DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_replay = std::make_unique<ReplayIo>(qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR")
                                              + QStringLiteral("/tests/capture/data/v4l2/replaycam.json"));
        setIo(m_replay.get());
    }
    void cleanup()
    {
        setIo(nullptr);
        QCOMPARE(m_replay->openDescriptors(), 0);
        m_replay.reset();
    }

    void formatDialogStartsOnTheCurrentChoice()
    {
        V4l2Driver driver(listDevices().front());
        QVERIFY(driver.open());
        FormatDialog dlg(driver.formatChoices(), driver.currentFormat());
        QCOMPARE(dlg.choice().fourcc, uint32_t(V4L2_PIX_FMT_YUYV));
        QCOMPARE(dlg.choice().size, QSize(160, 120));
        QCOMPARE(dlg.choice().interval, (Interval{1, 30}));
    }

    void sourceDialogIsBuiltFromTheControls()
    {
        V4l2Driver driver(listDevices().front());
        QVERIFY(driver.open());
        SourceDialog dlg(driver);
        QCOMPARE(dlg.findChildren<QWidget*>().size() > 4, true);
    }

private:
    std::unique_ptr<ReplayIo> m_replay;
};

QTEST_MAIN(V4l2DialogsTest)
#include "v4l2dialogs_test.moc"
