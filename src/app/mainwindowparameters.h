#pragma once

#include "base/fileresult.h"
#include "settings/settingstarget.h"

namespace lv {

class MainWindow;

// The main window as the source and target of capture parameters files: a
// file is read into the live model's settings, and where a control's own
// handler does more than show a value (the mode, the trigger, the view, the
// sound button...) that handler runs as a user's change would run it.
class MainWindowParameters final : public SettingsTarget {
public:
    explicit MainWindowParameters(MainWindow& master) : m_master(master) {}

    // Writes or reads path; the kind follows from the name (last-session, device or user file).
    // A failed write carries the reason.
    FileResult write(const QString& path, ParameterFileKind kind) const;
    void read(const QString& path, ParameterFileKind kind);

    CaptureSettings captureSettings() const override;
    CaptureParms& captureParms() override;
    void applyViewMode(bool overlay) override;
    void applyPreviewRateEntry(int entry) override;
    void applyFilename(const QString& name) override;
    void selectMode(CaptureKind mode) override;
    void applyAudio(bool on) override;
    void applyFrameRate2997() override;
    void applyFrameRate(int16_t fps) override;
    void applyStampColor(StampItem item, uint32_t colour) override;
    void applyMultipleImageType(int entry) override;
    void applyTrigger(TriggerKind trigger) override;

protected:
    void change(const std::function<void(CaptureSettings&)>& edit) override;

private:
    MainWindow& m_master;
};

} // namespace lv
