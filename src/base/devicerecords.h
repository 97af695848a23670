#pragma once

#include <cstdint>

namespace lv {

// The program's copies of the four device records. Only the fields the program
// reads or writes are kept; flags hold 1 for on, 0 for off, as the device reports.

struct CaptureDriverCaps {
    uint16_t wDeviceIndex = 0;
    uint32_t fHasOverlay = 0;
    uint32_t fHasDlgVideoSource = 0;
    uint32_t fHasDlgVideoFormat = 0;
    uint32_t fHasDlgVideoDisplay = 0;
    uint32_t fCaptureInitialized = 0;
};

struct CaptureStatus {
    uint32_t uiImageWidth = 0;
    uint32_t uiImageHeight = 0;
    uint32_t fLiveWindow = 0;
    uint32_t fOverlayWindow = 0;
    uint32_t fScale = 0;
    uint32_t dwCurrentVideoFrame = 0;
    uint32_t dwCurrentVideoFramesDropped = 0;
    uint32_t dwCurrentWaveSamples = 0;
    uint32_t dwCurrentTimeElapsedMS = 0;
    uint32_t fCapturingNow = 0;
    uint32_t dwReturn = 0;
};

struct CaptureParms {
    uint32_t dwRequestMicroSecPerFrame = 66667; // 15 frames per second
    uint32_t fMakeUserHitOKToCapture = 0;
    uint32_t wPercentDropForError = 10;
    uint32_t fYield = 1;
    uint32_t dwIndexSize = 324000;
    uint32_t wChunkGranularity = 0;
    uint32_t fUsingDOSMemory = 0;
    uint32_t wNumVideoRequested = 0;
    uint32_t fCaptureAudio = 0;
    uint32_t wNumAudioRequested = 0;
    uint32_t vKeyAbort = 0;
    uint32_t fAbortLeftMouse = 1;
    uint32_t fAbortRightMouse = 1;
    uint32_t fLimitEnabled = 0;
    uint32_t wTimeLimit = 0;
    uint32_t fMCIControl = 0;
    uint32_t fStepMCIDevice = 0;
    uint32_t fStepCaptureAt2x = 0;
    uint32_t fDisableWriteCache = 0;
    uint32_t AVStreamMaster = 0; // 0 = audio is the master stream
};

// PCM sound format of a recording.
struct AudioFormat {
    uint16_t wFormatTag = 1; // PCM
    uint16_t nChannels = 1;
    uint32_t nSamplesPerSec = 11025;
    uint32_t nAvgBytesPerSec = 11025;
    uint16_t nBlockAlign = 1;
    uint16_t wBitsPerSample = 8;
    uint16_t cbSize = 0;
};

// Byte size of the device's audio format record.
inline constexpr int kAudioFormatSize = 22;

} // namespace lv
