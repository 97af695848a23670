#pragma once

#include "app/keyedtoolbar.h"
#include "base/command.h"
#include "modes/movierecording.h"
#include "modes/runrecord.h"
#include "settings/capturemodel.h"

#include <QLabel>
#include <QKeySequence>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <functional>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPushButton;
class QSpinBox;
class QStatusBar;

namespace lv {

class CommandDispatcher;
struct MenuRow;
class VideoScreen;

// A label that reports clicks (the frame-rate display, the status panel).
class ClickLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
protected:
    void mousePressEvent(QMouseEvent* e) override;
};

// A colour swatch showing one stamp colour.
class ColorSwatch final : public QLabel {
    Q_OBJECT
public:
    explicit ColorSwatch(const QString& name, QWidget* parent = nullptr);
    void setPackedColor(uint32_t packed);
    uint32_t packedColor() const { return m_packed; }
private:
    uint32_t m_packed = 0;
};

// The main window: menus, the left toolbar, the cool bar with the device and
// operation bands and one band per capture mode, the status bar, the
// multiple-document area with the video window, and the housekeeping timers.
class Master final : public QMainWindow {
    Q_OBJECT

public:
    // The model and the run record are the application's and outlive the window.
    Master(CaptureModel& model, RunRecord& run, QWidget* parent = nullptr);
    ~Master() override;

    // Start-up: the load steps, then the command-line file (may be empty).
    void load(const QString& commandLine);

    // --- Mode selection ---
    void SelectMovieMode();
    void SelectImageMode();
    void SelectMultipleMode();
    void UpdateFilenameExtension();
    QString visibleBand() const;

    // The stamp controls of the single-image panel, or of the series panel.
    struct StampPanel {
        KeyedToolBar* toolbar;
        QComboBox* timePosition;
        QComboBox* datePosition;
        QComboBox* textPosition;
        QLineEdit* text;
    };
    StampPanel stampPanel(bool series) const; // "movie", "image", "multiple" or empty
    void AllControls(bool enabled);

    // --- Device menu ---
    void FillDeviceMenu();
    void devicesChanged();
    void DeviceMenuCommand(int index, const QString& key);
    void TakeFilenameFromVideoWindow();

    // --- Timers ---
    void masterTimerTick();
    void masterTimer2Tick();

    // --- A movie recording ---
    // The status panels and the record button follow the recording's own
    // reports (see MovieRecording); VideoScreen::Record binds them.
    void watchRecording(MovieRecording& recording);
    void recordingStarted(const QString& fileName, const QString& withoutSound);
    void recordingProgress(uint32_t frames, uint32_t dropped, int64_t freeBytes);
    void recordingEnded(const MovieRecordingResult& result);

    void FullScreen(bool fromButton);
    void PreviewRateClicked(int index);
    void RecordButtonClicked();

    // Control handlers, run as a user's change of that control would run them.
    void SetAudioCapture(bool on);
    void setMovieFrameRateFromControl(int value);
    void frameRateDisplayClicked();
    void triggerClicked(const QString& key);
    void multipleImageModeChanged(int index);
    // The "Edit Other Information" buttons work from now on (the series one for movie files only).
    void enableOtherInfo();
    // Window > Arrange Icons: lines the minimised child windows up along the bottom.
    void arrangeIcons();
    void refreshSwatches();
    void viewMode(bool overlay);
    void updateViewButtons();

    // Text of a status bar panel by key ("filename", "resolution", "filesize", "diskcap").
    QString panelText(const QString& key) const;
    void setPanelText(const QString& key, const QString& text);
    void setStatusString(const QString& text);

    // The live settings and the run state the panels show.
    CaptureModel& model() { return m_model; }
    const CaptureModel& model() const { return m_model; }
    // What the capture running now has counted.
    RunRecord& run() { return m_run; }
    VideoScreen* videoScreen() const { return m_videoScreen; }
    QMdiArea* mdiArea() const { return m_mdi; }

    // Grows the window so its document area reaches areaSize, as far as the
    // screen allows; never shrinks it, and leaves a maximised window alone.
    void makeRoomFor(QSize areaSize);

    // Disables the two mixer items unless the mixer program is on PATH.
    static bool mixerAvailable();

    // --- Controls, named as the command tables name them ---
    QMenu* FileMenu = nullptr;
    QMenu* EditMenu = nullptr;
    QMenu* ViewMenu = nullptr;
    QMenu* VideoSettingsMenu = nullptr;
    QMenu* AudioMenu = nullptr;
    QMenu* SampleRateMenu = nullptr;
    QMenu* WindowMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QMenu* DeviceMenu = nullptr;  // drop-down of the "device" button
    QMenu* EffectsMenu = nullptr; // popped up by the series "effects" button

    QWidget* LeftPanel = nullptr;
    KeyedToolBar* MainToolbar = nullptr;
    QWidget* MasterBar = nullptr;
    KeyedToolBar* DeviceToolbar = nullptr;
    QGroupBox* pr_space = nullptr;
    QComboBox* previewrate = nullptr;
    KeyedToolBar* OperationBar = nullptr;
    QWidget* StatusPanel = nullptr;
    QLabel* StatusTime = nullptr;
    QLabel* DroppedString = nullptr;
    QLabel* StatusCaption = nullptr;
    QLabel* StatusString = nullptr;

    // Movie band
    QWidget* MoviePanel = nullptr;
    KeyedToolBar* MovieToolbar = nullptr;
    QSpinBox* MovieFrameRateControl = nullptr;
    ClickLabel* MovieFrameRateDisplay = nullptr;
    QSpinBox* MovieHoursControl = nullptr;
    QSpinBox* MovieMinutesControl = nullptr;
    QSpinBox* MovieSecondsControl = nullptr;
    QLabel* MovieHoursDisplay = nullptr;
    QLabel* MovieMinutesDisplay = nullptr;
    QLabel* MovieSecondsDisplay = nullptr;
    QCheckBox* MovieDisableLimit = nullptr;
    QComboBox* AudioChannels = nullptr;
    QComboBox* AudioBits = nullptr;
    QComboBox* AudioRate = nullptr;

    // Single-image band
    QWidget* ImagePanel = nullptr;
    QLineEdit* ImageText = nullptr;
    KeyedToolBar* ImageToolbar = nullptr;
    QComboBox* ImageTimePosition = nullptr;
    QComboBox* ImageDatePosition = nullptr;
    QComboBox* ImageTextPosition = nullptr;
    ColorSwatch* ImageTimeColor = nullptr;
    ColorSwatch* ImageDateColor = nullptr;
    ColorSwatch* ImageTextColor = nullptr;

    // Series band
    QWidget* MultipleImagePanel = nullptr;
    QComboBox* MultipleImageMode = nullptr;
    QComboBox* MultipleImageFrameRate = nullptr;
    QSpinBox* MultipleImageHoursControl = nullptr;
    QSpinBox* MultipleImageMinutesControl = nullptr;
    QSpinBox* MultipleImageSecondsControl = nullptr;
    QLabel* MultipleImageHoursDisplay = nullptr;
    QLabel* MultipleImageMinutesDisplay = nullptr;
    QLabel* MultipleImageSecondsDisplay = nullptr;
    QLineEdit* MultipleImageText = nullptr;
    QComboBox* MultipleImageTimePosition = nullptr;
    QComboBox* MultipleImageDatePosition = nullptr;
    QComboBox* MultipleImageTextPosition = nullptr;
    ColorSwatch* MultipleImageTimeColor = nullptr;
    ColorSwatch* MultipleImageDateColor = nullptr;
    ColorSwatch* MultipleImageTextColor = nullptr;
    KeyedToolBar* MultipleImageToolbar2 = nullptr;
    KeyedToolBar* MultipleImageToolbar = nullptr;
    KeyedToolBar* TriggerType = nullptr;
    QLabel* MotionLabel = nullptr;
    QPushButton* Shooter = nullptr;

    QStatusBar* MasterStatus = nullptr;
    QTimer MasterTimer;
    QTimer MasterTimer2;

    // The parameters file layer: read a file into the controls, write the controls to a file.
    std::function<void(const QString& path)> readParameters;
    std::function<void(const QString& path)> writeParameters;

    // The menu bar's item for a command; null for a command no menu carries.
    QAction* action(Command command) const;
    // The Sample Rate menu's item for a rate in Hz (8000, 11025, 22050, 44100); null for another.
    QAction* sampleRateItem(int hz) const;

    // Where every command goes: the menu items, the command buttons and their
    // keys all dispatch through it, and the owners of the work register there.
    CommandDispatcher& commands() const { return *m_commands; }
    // Carries out a command as its menu item or button would.
    bool dispatch(Command command);
    // Enables the menu items and command buttons as the handlers and the run state say.
    void refreshCommandStates();

signals:
    // A request for a command from code that has no dispatcher at hand; it is dispatched.
    void commandRequested(lv::Command command);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QAction* addItem(QMenu* menu, const MenuRow& row);
    void requestButtonCommand(const KeyedToolBar* toolbar, const QString& key);
    void buildMenus();
    void registerOwnCommands();
    void wireCommandStates();
    void buildLeftPanel();
    void buildMasterBar();
    QWidget* newBand(const QString& name, const QString& key);
    QWidget* buildMoviePanel();
    QWidget* buildImagePanel();
    QWidget* buildMultiplePanel();
    void buildStampControls(QWidget* panel, QBoxLayout* row, const QString& prefix, const QString& toolbarName,
                            KeyedToolBar*& toolbar, ColorSwatch*& timeColor, QComboBox*& timePosition,
                            ColorSwatch*& dateColor, QComboBox*& datePosition, ColorSwatch*& textColor,
                            QComboBox*& textPosition, QLineEdit*& text);
    void buildStatusBar();
    void showBand(const QString& key);
    void selectMode(const QString& band, const QString& image, const QString& caption);
    void setRecordButton(const QString& image, const QString& caption = {});
    void refreshResolutionPanel();
    void durationChanged();
    void intervalChanged();
    void chooseStampColor(int which); // 0 time, 1 date, 2 text
    // The binding of the panels to the model: every edit of a control is
    // read into the model; every change of the model is shown in the controls.
    void bindModel();
    void pullSettings();
    void showSettings();
    void showStatus();
    void showRunState();
    void showRecordingEnd();

    CaptureModel& m_model;
    RunRecord& m_run;
    // The rate the movie panel's display shows (29.97 apart from the up-down's whole numbers).
    double m_movieFrameRate = 0.0;
    bool m_showingSettings = false;
    CaptureSettings m_shownPanels; // the model's panel fields as the controls last showed them
    bool m_otherInfoReady = false;
    CommandDispatcher* m_commands = nullptr;
    bool m_mixerFound = false;                      // found when the window loads
    std::array<QAction*, kCommandCount> m_actions{}; // menu items by command
    QList<QAction*> m_sampleRateItems;              // in the order of the AudioRate list
    QMdiArea* m_mdi = nullptr;
    VideoScreen* m_videoScreen = nullptr;
    QMdiSubWindow* m_videoSub = nullptr;
    QHash<QString, QLabel*> m_panels;
    // The idle panels follow the file name; they are worked out again when it
    // changes (and the free space now and then), not on every tick.
    QString m_panelsFileName;
    int m_ticksSinceFreeSpace = 0;
    // A recording ended while another band showed: its end is shown once the
    // movie or series band is back.
    bool m_recordingEndPending = false;
    MovieRecordingResult m_recordingResult;
    QString m_recordingWithoutSound;
    bool m_loaded = false;
    bool m_showingViewMode = false; // the view buttons being set to the device's state
    bool m_closing = false;
    bool m_childrenPlaced = false; // the video window back where it was last time
    QSize m_roomWanted;            // asked for by a child window before the window was shown
};

} // namespace lv
