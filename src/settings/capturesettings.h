#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace lv {

// The capture mode: which band of the main window's mode bar is visible.
enum class CaptureKind { Movie, SingleImage, MultipleImage };

// The pressed button of the series trigger toolbar.
enum class TriggerKind { Manual, Timer, Motion };

// The sound sample rates of the movie panel's list, in its order; the
// parameters file writes only these.
inline constexpr int32_t kAudioRates[] = {8000, 11025, 22050, 44100};

// The entry of kAudioRates for a rate in Hz; -1 for another rate.
constexpr int audioRateEntry(int64_t hz)
{
    for (int i = 0; i < 4; ++i)
        if (kAudioRates[i] == hz)
            return i;
    return -1;
}

// The preview rates of the device band's list: 1 to 40 frames per second,
// the entry being the rate - 1.
inline constexpr int kPreviewRates = 40;
// The series movie's frame rates (its list and the "AVI Rate" key): 1 to 30,
// the entry being the rate - 1.
inline constexpr int kSeriesMovieRates = 30;

// The three stamps of an image panel.
enum class StampItem { Time, Date, Text };

// Which of the three files of the parameters format is written or read. The
// device file has no "Advanced Settings" block, in either direction.
enum class ParameterFileKind { User, LastSession, Device };

// The stamps of one image panel (the single-image panel or the series panel).
struct PanelStamps {
    bool InsertTime = false;
    int16_t TimePosition = 0;
    bool InsertDate = false;
    int16_t DatePosition = 0;
    bool InsertText = false;
    int16_t TextPosition = 0;
    QString Text;

    bool operator==(const PanelStamps&) const = default;
};

// The capture settings, one field per key of the capture parameters file,
// named after the key, and the live panels they are taken from. The live
// model (CaptureModel) holds one; the writer gets a copy with the keyed fields
// filled from the panels of the current mode. Fields that belong to another
// mode than Capture are not written.
struct CaptureSettings {
    // Video Capture Device
    int32_t DeviceIndex = 0;
    QString DeviceDescription;             // the video window's caption
    bool ViewModeOverlay = false;          // fOverlayWindow of the device status
    int16_t PreviewRate = 10;              // preview-rate list entry + 1

    // Autostart
    int16_t Hours = 0;
    int16_t Minutes = 0;
    int16_t Seconds = 10;

    // Filename
    QString Filename;

    // Capture Type; none = no mode band visible, the file ends after the block header
    std::optional<CaptureKind> Capture = CaptureKind::Movie;

    // Movie: Audio Settings
    bool Audio = true;                     // toolbar button "audio" pressed
    int32_t AudioChannels = 1;             // channels list entry + 1
    int32_t AudioBits = 8;                 // (bits list entry + 1) * 8
    int32_t AudioRate = 8000;              // Hz; only 8000, 11025, 22050, 44100 are written

    // AVI Other Information (movie toolbar, or series toolbar in Multiple ImageEditor mode)
    bool AviInfo = true;                   // button "writeinfo" pressed
    QString Copyright, Artist, Subject, Product, Source, Comments;

    // Movie Options
    double FrameRate = 12.0;               // MovieFrameRate, four decimals
    bool Limit = true;                     // "No Limit" box cleared
    int32_t DurationSeconds = 30;          // TotalSeconds of the movie duration controls

    // Advanced Settings (not in the device file)
    bool CaptureOperationBackground = true; // fYield = 1
    uint32_t VideoBuffers = 0;
    uint32_t AudioBuffers = 0;
    bool DOSBuffers = false;
    bool WriteCache = true;                // fDisableWriteCache = 0
    uint32_t MaxIndexSize = 324000;
    uint32_t ChunkGranularity = 0;
    uint32_t DropError = 10;

    // Multiple Image
    int16_t MultipleImageType = 0;         // MultipleImageMode entry
    int16_t AVIRate = 11;                  // MultipleImageFrameRate entry + 1

    // Image Options: the stamps of the panel of the current mode
    bool InsertTime = true;
    uint32_t TimeColor = 0;
    int16_t TimePosition = 0;
    bool InsertDate = true;
    uint32_t DateColor = 0;
    int16_t DatePosition = 0;
    bool InsertText = true;
    uint32_t TextColor = 0;
    int16_t TextPosition = 0;
    QString Text;

    // Trigger Type; none = no trigger button pressed, no line
    std::optional<TriggerKind> Trigger = TriggerKind::Manual;
    int32_t Interval = 10;                 // TotalSeconds of the series interval controls

    // Internet Settings
    bool SendToFTPServer = false;          // series toolbar button "ftp" pressed
    QString URL;
    int32_t Port = 21;
    QString Username;
    QString Password;
    QString Directory;

    // --- The live panels, not keys of the file themselves ---
    // Each image panel has its own stamps; the file keeps the current mode's.
    PanelStamps ImageStamps;
    PanelStamps SeriesStamps;
    // The "writeinfo" buttons of the movie and the series toolbars.
    bool MovieAviInfo = false;
    bool SeriesAviInfo = false;

    bool operator==(const CaptureSettings&) const = default;
};

} // namespace lv
