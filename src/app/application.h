#pragma once

#include "base/command.h"
#include "modes/runrecord.h"
#include "settings/capturemodel.h"

#include <QLockFile>
#include <memory>

class QLocalServer;

namespace lv {

class MainWindow;
class MainWindowParameters;
class MovieWindows;

// The program's entry procedure and the owner of the live settings, the run
// record and the main window. UI thread only.
class Application {
public:
    Application();
    ~Application();

    // Steps before the main window: program directory, defaults, the
    // single-instance check (false, after its message, when another instance
    // runs; where the lock cannot be made at all, the program starts without
    // the check and says so on stderr) and the preferences.
    bool start();

    // Loads and shows the main window; commandLine may name a parameters file.
    MainWindow& showMain(const QString& commandLine);

    // The live settings, and what the capture running now has counted.
    CaptureModel& model() { return m_model; }
    RunRecord& run() { return m_run; }
    MainWindow* master() const { return m_master.get(); }
    MovieWindows* movieWindows() const { return m_movies; }

    // The program's icon on every window, and the desktop entry its windows belong to.
    static void prepareDesktop();

    // The lock that keeps a second instance out (in the user's runtime folder).
    static QString lockFilePath();
    // Where the running instance listens for a second start's call to come forward.
    static QString raiseSocketPath();
    // A lock that tryLock refused is held by a program still running (and not
    // merely impossible to make here).
    static bool heldByLiveProgram(const QLockFile& lock);

private:
    // Registers the work of the commands that live outside the main window.
    void connectCommands();
    void openCaptureFile();
    void saveCaptureFile();
    void fullScreen();
    void editPreferences();
    void showDeviceInfo();
    void editNetSettings();
    void listenForSecondStarts();
    void bringToFront();

    CaptureModel m_model;
    RunRecord m_run;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_raiseServer;
    std::unique_ptr<MainWindow> m_master;
    std::unique_ptr<MainWindowParameters> m_parameters;
    MovieWindows* m_movies = nullptr; // owned by the main window
};

} // namespace lv
