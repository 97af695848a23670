#pragma once

#include "apptestenv.h"

#include "app/capturecontroller.h"
#include "app/dispatcher.h"
#include "app/mainwindow.h"
#include "app/videoscreen.h"
#include "base/programdirectory.h"
#include "base/scripteddialogs.h"
#include "base/settingsstore.h"
#include "capture/ui/liveview.h"
#include "capture/testpatterndriver.h"
#include "capture/ui/widgetdevicedialogs.h"
#include "mainwindowparts.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using lv::test::part;

namespace captest {

// The main window with its capture controller, on the test-pattern device,
// as the application wires them.
struct Rig {
    lv::CaptureModel model;
    lv::RunRecord run;
    std::unique_ptr<lv::MainWindow> master;
    lv::CaptureController* ctl = nullptr;
    QList<lv::Command> commands; // every command dispatched

    explicit Rig(const QString& captureFile)
    {
        // The device dialogs, as the application registers them at start-up.
        static lv::WidgetDeviceDialogs deviceDialogs;
        lv::setDeviceDialogs(&deviceDialogs);
        model.setProgramDirectory(lv::programDirectory());
        model.preferences().SystemSounds = QStringLiteral("0");
        model.setFileName(captureFile);
        master = std::make_unique<lv::MainWindow>(model, run);
        ctl = new lv::CaptureController(*master); // registers the capture commands
        QObject::connect(&master->commands(), &lv::CommandDispatcher::dispatched, ctl,
                         [this](lv::Command c) { commands << c; });
        master->load(QString());
        master->show();
        model.setFileName(captureFile);
        // Ready as a user finds it: the device has delivered its first frame.
        if (!QTest::qWaitFor([this] { return window() && window()->latestFrame(); }, 2000))
            qWarning("the test pattern delivered no frame");
    }
    ~Rig()
    {
        master->MasterTimer.stop();
        master->videoScreen()->Disconnect();
    }

    // The connected device's capture window; null when none.
    lv::LiveView* window() const { return master->videoScreen()->captureWindow(); }
    lv::TestPatternDriver* pattern() const
    {
        return window() ? dynamic_cast<lv::TestPatternDriver*>(window()->driver()) : nullptr;
    }
    void setPattern(QSize size, bool still, int rate = 30)
    {
        lv::TestPatternSettings s = pattern()->settings();
        s.size = size;
        s.still = still;
        s.rate = rate;
        pattern()->setSettings(s);
        // Let a frame of the new kind arrive.
        QTest::qWait(150);
    }
    QString status() const { return part<QLabel>(master, "StatusString")->text(); }
    QString recordImage() const { return master->OperationBar->imageKey(QStringLiteral("record")); }
    void multiple(int type, const QString& trigger = QStringLiteral("manual"))
    {
        master->SelectMultipleMode();
        part<QComboBox>(master, "MultipleImageMode")->setCurrentIndex(type);
        emit part<lv::KeyedToolBar>(master, "TriggerType")->buttonClicked(trigger);
        model.setFileName(fileName);
    }
    // Starts the timer series set up with multiple(), every `seconds`, and
    // leaves its ticks to the test; the interval is read at the start.
    void startTimerSeriesTickedByHand(int seconds)
    {
        part<QSpinBox>(master, "MultipleImageHoursControl")->setValue(0);
        part<QSpinBox>(master, "MultipleImageMinutesControl")->setValue(0);
        part<QSpinBox>(master, "MultipleImageSecondsControl")->setValue(seconds);
        master->RecordButtonClicked();
        QVERIFY(ctl->program().seriesTimer().isActive());
        ctl->program().seriesTimer().stop();
    }
    QString fileName;
};

// Runs a peer program and returns its standard output (empty on failure).
inline QByteArray run(const QString& program, const QStringList& args)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return {};
    QProcess p;
    p.start(path, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

// ffprobe's view of a file's first stream of a kind ("video", "audio"); empty when unreadable.
inline QJsonObject probeStream(const QString& file, const QString& kind)
{
    const QByteArray out = run(QStringLiteral("ffprobe"),
                               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                                QStringLiteral("-show_streams"), QStringLiteral("-show_format"),
                                QStringLiteral("-of"), QStringLiteral("json"), file});
    const QJsonArray streams = QJsonDocument::fromJson(out).object().value(QStringLiteral("streams")).toArray();
    for (const auto& s : streams)
        if (s.toObject().value(QStringLiteral("codec_type")).toString() == kind)
            return s.toObject();
    return {};
}

inline int probeInt(const QJsonObject& o, const char* key)
{
    return o.value(QLatin1String(key)).toString().toInt();
}

// A small tmpfs mounted for a test and unmounted when it ends.
class ScopedTmpfs {
public:
    explicit ScopedTmpfs(const QString& options)
    {
        QDir().mkpath(m_dir.path());
        m_mounted = QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                                       QStringLiteral("tmpfs"), m_dir.path()})
            == 0;
    }
    ~ScopedTmpfs()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }
    bool mounted() const { return m_mounted; }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace captest
