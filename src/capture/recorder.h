#pragma once

#include "capture/capturedriver.h"
#include "capture/capturetypes.h"
#include "movie/videocodecs.h"

#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QWidget;

namespace lv {

// Streaming and frame-by-frame recording of one capture window into a movie
// file: AVI, or MKV / MP4 when the file name ends so.
//
// Frames are placed in the file by their capture time at the requested rate:
// a frame that arrives early for its slot is skipped, a late one leaves its
// slots filled with the picture before it, so the movie lasts as long as the
// recording did. Encoding runs on a thread of its own behind a bounded queue;
// a frame that finds the queue full, and frames lost in gaps of the device's
// buffer sequence, count as dropped.
//
// Threads: start/stop/openSingle/captureOne/closeSingle are called on the
// UI thread; the counters on any
// thread; pushFrame() on the device's capture thread for every frame while
// the device streams; deviceLost() on any thread. The status callback is
// always called on the UI thread, once with 300 and once with 301 per
// recording.
class Recorder {
public:
    struct Setup {
        QString fileName;
        CaptureParms parms;
        AudioFormat audio;
        CaptureDriver* driver = nullptr;      // the connected device (frame size, sound)
        std::function<void(int code)> status; // receives 300 at the start and 301 at the end
        // Frame size of the file; empty = the driver's frame size.
        QSize frameSize;
        // Codec; unset = the choice kept in the settings store.
        std::optional<CodecChoice> codec;
        // Sound source instead of the driver's own (tests); not owned.
        AudioSource* audioSource = nullptr;
        // How often the file is brought up to date on disk, so a crash loses
        // little (see AviWriter::Setup and ContainerWriter); 0 turns it off, for comparisons.
        int flushIntervalMs = 500;
        int syncIntervalMs = 5000;
        // MKV and MP4 only: the sound codec ("aac", "pcm" for MKV; empty =
        // AAC) and the container's metadata tags, written with its header.
        QString audioEncoder;
        std::vector<std::pair<QByteArray, QString>> tags;
    };

    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts a streaming capture and returns at once; the end comes by the
    // status callback (301). parms.fYield and the mouse abort flags are the
    // window's business: it holds back input or stops on a press. False (and
    // no status) when the file cannot be written.
    bool start(const Setup& setup);
    // Ends a running capture; false when none runs, so safe to call twice.
    bool stop();
    bool capturing() const;
    uint32_t framesCaptured() const;
    uint32_t framesDropped() const;
    uint32_t audioSamples() const;
    // Why the running or last recording, asked with sound, has none (no sound
    // input, a format the input cannot take); empty when it has sound or none
    // was asked. UI thread.
    QString withoutSoundReason() const;
    // Why the last start or recording failed (a file it could not write, a
    // recording that got no picture at all); empty when it did not.
    QString errorText() const;

    void pushFrame(const FramePtr& frame);
    // The device stopped delivering for good: ends a running capture.
    void deviceLost();

    // Frame-by-frame file at the rate of parms.dwRequestMicroSecPerFrame.
    // Without a frame size the file is made when the first frame arrives.
    bool openSingle(const QString& fileName, const CaptureParms& parms, QSize frameSize = {},
                    std::optional<CodecChoice> codec = {});
    bool captureOne(const FramePtr& frame);
    bool closeSingle();
    int singleFramesWritten() const;

    // requested microseconds per frame -> frames per second as a fraction
    // (33367 -> 30000/1001, 66667 -> 15/1).
    static void frameRateOf(uint32_t microSecPerFrame, int* num, int* den);

private:
    struct Impl;
    std::shared_ptr<Impl> d;
};

} // namespace lv
