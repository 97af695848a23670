#pragma once

#include "app/keyedtoolbar.h"
#include "base/command.h"
#include "modes/movierecording.h"
#include "modes/runrecord.h"
#include "settings/capturemodel.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class QBoxLayout;
class QComboBox;
class QGroupBox;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QStatusBar;

namespace lv {

class CommandDispatcher;
struct MenuRow;
class DeviceMenu;
class MoviePanel;
class PanelBinding;
class SeriesPanel;
class StampPanel;
class StatusPanel;
class VideoScreen;

// The main window: menus, the left toolbar, the cool bar with the device and
// operation bands and one band per capture mode, the status bar, the
// multiple-document area with the video window, and the housekeeping timers.
// The bands are panels of their own (src/app/panels), each bound to the model;
// the window composes them and carries out what they ask for.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // The model and the run record are the application's and outlive the window.
    MainWindow(CaptureModel& model, RunRecord& run, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: the load steps, then the command-line file (may be empty).
    void load(const QString& commandLine);

    // --- Mode selection ---
    void SelectMovieMode();
    void SelectImageMode();
    void SelectMultipleMode();
    void UpdateFilenameExtension();
    QString visibleBand() const;

    void AllControls(bool enabled);

    // --- The panels ---
    MoviePanel& moviePanel() const { return *m_moviePanel; }
    SeriesPanel& seriesPanel() const { return *m_seriesPanel; }
    // The stamp controls of the single-image band, or of the series band.
    StampPanel& stampPanel(bool series) const;
    StatusPanel& statusPanel() const { return *m_statusPanel; }
    DeviceMenu& deviceMenu() const { return *m_deviceMenu; }

    // --- Device menu ---
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
    QMenu* EffectsMenu = nullptr; // popped up by the series "effects" button

    QWidget* LeftPanel = nullptr;
    KeyedToolBar* MainToolbar = nullptr;
    QWidget* MasterBar = nullptr;
    KeyedToolBar* DeviceToolbar = nullptr;
    QGroupBox* pr_space = nullptr;
    QComboBox* previewrate = nullptr;
    KeyedToolBar* OperationBar = nullptr;
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
    void buildBands(QBoxLayout* bar);
    void connectPanels();
    void showBand(const QString& key);
    void selectMode(const QString& band, const QString& image, const QString& caption);
    void setRecordButton(const QString& image, const QString& caption = {});
    void refreshResolutionPanel();
    void chooseStampColor(int which); // 0 time, 1 date, 2 text
    // The window's own fields of the model (the mode, the preview rate); the
    // panels bind their own.
    void bindModel();
    void showRunState();
    void showRecordingEnd();

    CaptureModel& m_model;
    RunRecord& m_run;
    CommandDispatcher* m_commands = nullptr;
    bool m_mixerFound = false; // found when the window loads
    StatusPanel* m_statusPanel = nullptr;
    MoviePanel* m_moviePanel = nullptr;
    QWidget* m_imageBand = nullptr;
    StampPanel* m_imageStamps = nullptr;
    SeriesPanel* m_seriesPanel = nullptr;
    DeviceMenu* m_deviceMenu = nullptr;
    std::unique_ptr<PanelBinding> m_binding;
    std::array<QAction*, kCommandCount> m_actions{}; // menu items by command
    QList<QAction*> m_sampleRateItems;              // in the order of the AudioRate list
    QMdiArea* m_mdi = nullptr;
    VideoScreen* m_videoScreen = nullptr;
    QMdiSubWindow* m_videoSub = nullptr;
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
