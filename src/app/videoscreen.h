#pragma once

#include "app/recordingabort.h"
#include "base/devicerecords.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace lv {

class LiveView;
class MainWindow;
class MovieRecording;

// The child window that shows the live picture. It owns the capture window
// of the one connected device and carries out every device-level step the
// rest of the program asks for. UI thread only.
class VideoScreen final : public QWidget {
    Q_OBJECT

public:
    explicit VideoScreen(MainWindow& master, QWidget* parent = nullptr);
    ~VideoScreen() override;

    // "vfw" while a device is selected or connected, "0" after a failed connect, empty after Disconnect.
    QString ConnectionTag;

    void Initialize();
    void Disconnect();
    void RefreshWindow();
    void VideoSource();
    void VideoDisplay();
    void VideoFormat();
    void VideoCompressionDialog();
    void Overlay();
    void Preview(int16_t rate);
    void Record();
    void StopCapture();
    // Grabs the current frame from the capture session; `done` gets it at
    // once or when the device's first frame arrives, and the marker's picture
    // when there is none.
    void ImageOnClipboard(std::function<void(const QImage&)> done);
    void SetFilename(const QString& name);
    QString GetFilename();
    void OpenMultipleImage();
    void SetCaptureParameters();
    void CaptureSingle();

    LiveView* captureWindow() const { return m_window; }
    // The connected device's records as last read from it (kept by the model).
    CaptureStatus& status();
    const CaptureDriverCaps& driverCaps() const;
    // The movie recording now running or last run; null before the first.
    MovieRecording* recording() const { return m_recording; }
    QLabel* mira() const { return m_mira; }

    // The device file is read and written through these (the parameters file layer).
    std::function<void(const QString& path)> readDeviceFile;
    std::function<void(const QString& path)> writeDeviceFile;


    // Set once the main window holds the session's settings; until then a
    // disconnect must not write its blank controls over a saved device file.
    void setSettingsLoaded() { m_settingsLoaded = true; }

    QString deviceFilePath() const;

    // The picture's own size: what the window wants when the area has room.
    QSize sizeHint() const override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool connected() const { return ConnectionTag == QLatin1String("vfw"); }
    void resizeToVideo();
    void movieSettingsToDevice();
    void placeChildren();
    void viewButtons();

    MainWindow& m_master;
    LiveView* m_window = nullptr; // the connected device's; null when none
    QLabel* m_mira = nullptr;
    bool m_settingsLoaded = false;
    void endRecording();

    // The main window's mouse abort and input hold while recording.
    RecordingAbort m_recordingAbort;
    // Its reports drive the main window's panels and record button.
    QPointer<MovieRecording> m_recording;
};

} // namespace lv
