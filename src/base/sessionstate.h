#pragma once

#include "base/devicerecords.h"

#include <QString>
#include <array>
#include <cstdint>

namespace lv {

class CaptureWindow;

// The shared run-time state of the capture session. One instance, owned by
// the application and handed to whoever needs it. UI thread only.
struct SessionState {
    QString ProgramDirectory;          // ends in "/"
    QString CurrentFileName;           // the current capture file
    int16_t PreviewRate = 10;          // preview frames per second
    int16_t MotionSensitivity = 5;
    int32_t JpegQuality = 100;
    int16_t AutostartHours = 0;
    int16_t AutostartMinutes = 0;
    int16_t AutostartSeconds = 10;
    QString PopUpMovieViewer;          // "1" on, "0" off
    QString Autoplay;
    QString SystemSounds = QStringLiteral("1");
    uint32_t TimeColor = 0;            // packed red + 256*green + 65536*blue
    uint32_t DateColor = 0;
    uint32_t TextColor = 0;
    // Copyright, Artist, Subject, Product, Source, Comments
    std::array<QString, 6> AviInfoFields;
    CaptureWindow* CaptureHandle = nullptr;
    int32_t DeviceIndex = 0;
    int16_t LastStatusCode = 0;
    bool CaptureEnded = false;
    bool MotionSeries = false;
    bool MotionInterrupted = false;
    int32_t FrameRate = 0;
    double MovieFrameRate = 0.0;       // four decimals (29.97 exact)
    int32_t ImageCount = 0;
    int32_t TimerTicks = 0;
    int32_t TimerInterval = 0;
    int64_t FreeSpaceAtStart = 0;
    int64_t FreeSpaceNow = 0;
    float EstimatedSize = 0.0f;
    bool ViewerShown = false;

    // The FTP server that series images are sent to.
    QString FtpServer;
    uint16_t FtpPort = 21;
    QString FtpUserName;
    QString FtpPassword;
    QString FtpDirectory;

    // The program's copies of the connected device's records.
    CaptureDriverCaps DriverCaps;
    CaptureStatus Status;
    CaptureParms Parms;
    AudioFormat Audio;
};

} // namespace lv
