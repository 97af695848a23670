#pragma once

#include "base/devicerecords.h"
#include "settings/capturesettings.h"

#include <QString>
#include <cstdint>

namespace lv {

// What the capture parameters file is written from and read into: the main
// window implements it. The writer asks for one snapshot; the reader calls
// the apply functions one key at a time, in the order of the file's blocks,
// each right after its key is looked up. Setting a list entry, check box or
// up-down control should run that control's own handler, as a user's change
// would. Values arrive already checked against their ranges: a call that
// would set an entry outside its list is not made. UI thread only.
class ParameterTarget {
public:
    virtual ~ParameterTarget() = default;

    // The current settings, for the writer.
    virtual CaptureSettings captureSettings() const = 0;

    // The device's advanced capture fields, read and set directly (they have
    // no controls in the main window). Not touched when reading the device file.
    virtual CaptureParms& captureParms() = 0;

    // Video Capture Device
    virtual void applyViewMode(bool overlay) = 0;        // false: Preview at PreviewRate
    virtual void applyPreviewRateEntry(int entry) = 0;   // 0..39 of the preview-rate list

    // Autostart
    virtual void applyAutostartHours(int16_t v) = 0;
    virtual void applyAutostartMinutes(int16_t v) = 0;
    virtual void applyAutostartSeconds(int16_t v) = 0;

    // Filename: CurrentFileName and the status panel "Filename: " + name
    virtual void applyFilename(const QString& name) = 0;

    // Capture Type: select the mode as its own command does. Only the keys of
    // that mode follow.
    virtual void selectMode(CaptureKind mode) = 0;

    // Movie mode
    virtual void applyAudio(bool on) = 0;                 // SetAudioCapture
    virtual void applyAudioChannelsEntry(int entry) = 0;  // 0 Mono, 1 Stereo
    virtual void applyAudioBitsEntry(int entry) = 0;      // 0 "8 bit", 1 "16 bit"
    virtual void applyAudioRateEntry(int entry) = 0;      // an index into kAudioRates
    virtual void applyFrameRate2997() = 0;                // as a click on the frame-rate display
    virtual void applyFrameRate(int16_t fps) = 0;         // MovieFrameRateControl, 2..30
    virtual void applyNoLimit(bool checked) = 0;          // the "No Limit" box
    virtual void applyMovieDuration(int32_t totalSeconds) = 0; // controls := HoursOf, MinutesOf, SecondsOf

    // Movie and Multiple Image mode: the "writeinfo" button of the mode's toolbar
    // and the six information fields (0 Copyright .. 5 Comments).
    virtual void applyAviInfo(CaptureKind mode, bool pressed) = 0;
    virtual void applyAviInfoField(int index, const QString& text) = 0;

    // Single and Multiple Image mode: the stamps of that mode's panel. The
    // colours are shared by both panels.
    virtual void applyStampOn(CaptureKind mode, StampItem item, bool pressed) = 0;
    virtual void applyStampColor(StampItem item, uint32_t colour) = 0;
    virtual void applyStampPosition(CaptureKind mode, StampItem item, int entry) = 0; // 0..5
    virtual void applyStampText(CaptureKind mode, const QString& text) = 0;

    // Multiple Image mode
    virtual void applyMultipleImageType(int entry) = 0;   // 0..5
    virtual void applyAviRateEntry(int entry) = 0;        // 0..29 of MultipleImageFrameRate
    // Presses the trigger button and shows/hides "Shoot", the interval
    // controls and the motion label as the trigger asks.
    virtual void applyTrigger(TriggerKind trigger) = 0;
    virtual void applyInterval(int16_t totalSeconds) = 0; // only after Timer
    virtual void applySendToFtp(bool pressed) = 0;
    virtual void applyFtpAddress(const QString& v) = 0;
    virtual void applyFtpPort(uint16_t v) = 0;
    virtual void applyFtpUserName(const QString& v) = 0;
    virtual void applyFtpPassword(const QString& v) = 0;
    virtual void applyFtpDirectory(const QString& v) = 0;
};

} // namespace lv
