#include "capture/recorder.h"

#include "movie/containerwriter.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numeric>
#include <thread>

Q_LOGGING_CATEGORY(lcRecord, "lumivark.capture.record")

namespace lv {

namespace {

// Frames waiting for the encoder; a frame that finds the queue full is
// dropped instead of holding up the capture thread.
constexpr size_t kMaxQueuedFrames = 16;

// The frame in the form it came in: the device's JPEG or YUV as it is, an
// RGB picture only from a device that delivered one.
bool writeFrame(MovieWriter& writer, const VideoFrame& frame, int64_t index)
{
    if (frame.jpeg.isEmpty() && !frame.yuv.isNull() && writer.takesYuv())
        return writer.writeVideo(frame.yuv.view(), index);
    return writer.writeVideo(frame.picture(), frame.jpeg, index);
}

} // namespace

struct Recorder::Impl {
    struct Item {
        enum Kind { Video, Audio, End } kind = Video;
        FramePtr frame;
        int64_t index = 0; // Video: slot; End: the total number of slotCount
        QByteArray pcm;
    };

    // UI thread
    QObject context; // queued calls onto the UI thread die with it
    Setup setup;
    std::unique_ptr<AudioSource> ownAudio;
    AudioSource* audio = nullptr;
    QTimer limitTimer;
    bool endReported = true;
    QString noSound; // why a recording asked with sound runs without it

    // shared, under mutex
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Item> queue;
    size_t queuedFrames = 0;
    bool accepting = false;
    int64_t t0Us = 0;
    double periodUs = 66667;
    int64_t limitSlots = -1;
    int64_t nextSlot = 0;
    bool haveSequence = false;
    uint64_t lastSequence = 0;
    QString error;

    std::atomic<bool> capturing{false};
    std::atomic<uint32_t> frames{0};
    std::atomic<uint32_t> dropped{0};
    std::atomic<uint32_t> samples{0};

    // encoder thread
    MovieWriter writer;
    std::thread encoder;
    std::atomic<bool> writeFailed{false};

    // frame-by-frame files (UI thread)
    MovieWriter single;
    bool singleOpen = false;
    MovieWriter::Setup singleSetup;
    int singleFrames = 0;

    void runEncoder();
    void finish(bool limitReached = false);
    void queueStop();
};

void Recorder::frameRateOf(uint32_t us, int* num, int* den)
{
    *num = 15;
    *den = 1;
    if (us == 0)
        return;
    const double rate = 1e6 / us;
    const long whole = std::lround(rate);
    if (whole >= 1 && std::abs(1e6 / double(whole) - us) < 1.0) {
        *num = int(whole);
        return;
    }
    // The broadcast rates 23.976, 29.97 and 59.94 are N*1000/1001.
    const long ntsc = std::lround(rate * 1.001);
    if (ntsc >= 1 && std::abs(1e6 * 1001.0 / (double(ntsc) * 1000.0) - us) < 1.0) {
        *num = int(ntsc * 1000);
        *den = 1001;
        return;
    }
    const uint32_t g = std::gcd(1000000u, us);
    *num = int(1000000u / g);
    *den = int(us / g);
}

Recorder::Recorder() : d(std::make_shared<Impl>())
{
    d->limitTimer.setSingleShot(true);
    d->limitTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&d->limitTimer, &QTimer::timeout, &d->context, [impl = d.get()] { impl->finish(true); });
}

Recorder::~Recorder()
{
    stop();
    closeSingle();
}

bool Recorder::capturing() const { return d->capturing; }
uint32_t Recorder::framesCaptured() const { return d->frames; }
uint32_t Recorder::framesDropped() const { return d->dropped; }
uint32_t Recorder::audioSamples() const { return d->samples; }
QString Recorder::withoutSoundReason() const { return d->noSound; }

QString Recorder::errorText() const
{
    std::lock_guard l(d->mutex);
    return d->error;
}

bool Recorder::start(const Setup& setup)
{
    if (d->capturing)
        return false;
    Impl& s = *d;
    s.setup = setup;
    {
        std::lock_guard l(s.mutex);
        s.error.clear();
    }
    s.frames = 0;
    s.dropped = 0;
    s.samples = 0;
    s.writeFailed = false;

    QSize size = setup.frameSize;
    if (!size.isValid() && setup.driver)
        size = setup.driver->frameSize();
    const CodecChoice codec = setup.codec.value_or(savedCodecChoice(containerForFile(setup.fileName)));

    MovieWriter::Setup ws;
    ws.fileName = setup.fileName;
    ws.frameSize = size;
    frameRateOf(setup.parms.dwRequestMicroSecPerFrame, &ws.rateNum, &ws.rateDen);
    ws.encoder = codec.encoder;
    ws.quality = codec.quality;
    ws.flushIntervalMs = setup.flushIntervalMs;
    ws.syncIntervalMs = setup.syncIntervalMs;
    ws.tags = setup.tags;
    if (!setup.audioEncoder.isEmpty())
        ws.audioEncoder = setup.audioEncoder;

    // Sound first: the file gets a sound stream only when there is sound.
    s.audio = nullptr;
    s.ownAudio.reset();
    s.noSound.clear();
    const AudioFormat& af = setup.audio;
    if (setup.parms.fCaptureAudio == 1) {
        AudioSource* src = setup.audioSource;
        if (!src && setup.driver) {
            s.ownAudio = setup.driver->createAudioSource();
            src = s.ownAudio.get();
        }
        const bool formatOk = (af.nChannels == 1 || af.nChannels == 2)
                              && (af.wBitsPerSample == 8 || af.wBitsPerSample == 16)
                              && af.nSamplesPerSec >= 8000 && af.nSamplesPerSec <= 48000;
        if (!formatOk) {
            s.noSound = QStringLiteral("unsupported sound format");
            qCWarning(lcRecord) << "unsupported sound format; recording without sound";
        } else if (!src) {
            s.noSound = QStringLiteral("the device has no sound input");
            qCWarning(lcRecord) << "the device has no sound; recording without sound";
        } else {
            std::weak_ptr<Impl> weak = d;
            const bool started = src->start(af, [weak](const QByteArray& pcm, int64_t) {
                auto self = weak.lock();
                if (!self)
                    return;
                std::lock_guard l(self->mutex);
                if (!self->accepting)
                    return;
                self->queue.push_back({Impl::Item::Audio, {}, 0, pcm});
                self->wake.notify_one();
            });
            if (started) {
                s.audio = src;
                ws.audioChannels = af.nChannels;
                ws.audioBits = af.wBitsPerSample;
                ws.audioSampleRate = int(af.nSamplesPerSec);
            } else {
                s.noSound = src->errorText().isEmpty() ? QStringLiteral("no sound input") : src->errorText();
                qCWarning(lcRecord) << "cannot start the sound:" << src->errorText()
                                    << "- recording without sound";
            }
        }
    }

    if (!s.writer.open(ws)) {
        if (s.audio)
            s.audio->stop();
        s.audio = nullptr;
        s.ownAudio.reset();
        std::lock_guard l(s.mutex);
        s.error = s.writer.errorText();
        return false;
    }

    {
        std::lock_guard l(s.mutex);
        s.queue.clear();
        s.queuedFrames = 0;
        s.periodUs = 1e6 * ws.rateDen / ws.rateNum;
        s.limitSlots = -1;
        if (setup.parms.fLimitEnabled == 1 && setup.parms.wTimeLimit > 0)
            s.limitSlots = std::llround(double(setup.parms.wTimeLimit) * ws.rateNum / ws.rateDen);
        s.nextSlot = 0;
        s.haveSequence = false;
        s.t0Us = steadyMicros();
        s.accepting = true;
    }
    s.capturing = true;
    s.endReported = false;
    s.encoder = std::thread([impl = d.get()] { impl->runEncoder(); });

    if (s.limitSlots >= 0)
        s.limitTimer.start(int(std::min<int64_t>(int64_t(setup.parms.wTimeLimit) * 1000, INT32_MAX)));

    qCInfo(lcRecord).noquote() << "recording" << setup.fileName << size << ws.rateNum << "/" << ws.rateDen
                               << ws.encoder << (s.audio ? "with sound" : "");
    if (setup.status)
        setup.status(kStatusCaptureStart);
    return true;
}

void Recorder::pushFrame(const FramePtr& frame)
{
    if (!frame)
        return;
    Impl& s = *d;
    std::lock_guard l(s.mutex);
    if (!s.accepting)
        return;
    if (s.haveSequence && frame->sequence > s.lastSequence + 1)
        s.dropped += uint32_t(frame->sequence - s.lastSequence - 1);
    if (!s.haveSequence || frame->sequence > s.lastSequence)
        s.lastSequence = frame->sequence;
    s.haveSequence = true;

    const double offset = double(frame->timestampUs - s.t0Us) / s.periodUs;
    const int64_t slot = std::max<int64_t>(0, std::llround(offset));
    if (offset < -0.5 || slot < s.nextSlot)
        return; // early for its slot: the requested rate is lower than the device's
    if (s.limitSlots >= 0 && slot >= s.limitSlots)
        return;
    s.nextSlot = slot + 1;
    s.frames = uint32_t(slot + 1);
    if (s.queuedFrames >= kMaxQueuedFrames || s.writeFailed) {
        ++s.dropped; // its slot repeats the picture before it
        if (!s.writeFailed)
            qCDebug(lcRecord) << "the encoder is" << s.queuedFrames << "frames behind; frame" << frame->sequence << "dropped";
        return;
    }
    s.queue.push_back({Impl::Item::Video, frame, slot, {}});
    ++s.queuedFrames;
    s.wake.notify_one();
}

void Recorder::Impl::runEncoder()
{
    int64_t lastSlot = -1;
    const int64_t sampleRate = writer.setup().audioSampleRate;
    const bool sound = writer.setup().audioChannels > 0;
    auto fail = [this] {
        if (writeFailed.exchange(true))
            return;
        {
            std::lock_guard l(mutex);
            error = writer.errorText();
        }
        queueStop();
    };
    for (;;) {
        Item item;
        {
            std::unique_lock l(mutex);
            wake.wait(l, [this] { return !queue.empty(); });
            item = std::move(queue.front());
            queue.pop_front();
            if (item.kind == Item::Video)
                --queuedFrames;
        }
        if (writeFailed && item.kind != Item::End)
            continue;
        bool ok = true;
        switch (item.kind) {
        case Item::Video:
            // Slots the device left empty show the picture before them; a
            // first frame that comes late also stands for the slotCount before it.
            if (lastSlot < 0) {
                ok = writeFrame(writer, *item.frame, 0);
                lastSlot = 0;
            }
            for (int64_t k = lastSlot + 1; ok && k < item.index; ++k)
                ok = writer.repeatVideo(k);
            if (ok && item.index > lastSlot)
                ok = writeFrame(writer, *item.frame, item.index);
            lastSlot = std::max(lastSlot, item.index);
            if (!ok)
                fail();
            break;
        case Item::Audio:
            if (!writer.writeAudio(item.pcm))
                fail();
            samples = uint32_t(writer.audioSampleFramesWritten());
            break;
        case Item::End:
            if (!writeFailed && lastSlot >= 0) {
                for (int64_t k = lastSlot + 1; ok && k < item.index; ++k)
                    ok = writer.repeatVideo(k);
                if (ok && sound) {
                    const int64_t slotCount = writer.videoFramesWritten();
                    const MovieWriter::Setup& ws = writer.setup();
                    ok = writer.padAudio(slotCount * sampleRate * ws.rateDen / ws.rateNum);
                }
                if (!ok)
                    fail();
            }
            if (!writer.close() && !writeFailed) {
                std::lock_guard l(mutex);
                error = writer.errorText();
            }
            return;
        }
    }
}

void Recorder::Impl::queueStop()
{
    QMetaObject::invokeMethod(&context, [this] { finish(); }, Qt::QueuedConnection);
}

bool Recorder::stop()
{
    if (!d->capturing)
        return false;
    d->finish();
    return true;
}

// Ends a running recording on the UI thread: the sound stops, the encoder
// writes what is queued, fills the file up to the stop time and closes it.
void Recorder::Impl::finish(bool limitReached)
{
    if (!capturing)
        return;
    capturing = false;
    limitTimer.stop();
    if (audio)
        audio->stop();
    {
        std::lock_guard l(mutex);
        accepting = false;
        int64_t slotCount = std::llround(double(steadyMicros() - t0Us) / periodUs);
        if (limitSlots >= 0)
            slotCount = limitReached ? limitSlots : std::min(slotCount, limitSlots);
        slotCount = std::max(slotCount, nextSlot);
        frames = uint32_t(nextSlot > 0 ? slotCount : 0);
        // A movie without a single picture is no recording, whatever else went right.
        if (nextSlot == 0 && error.isEmpty())
            error = QStringLiteral("the device delivered no picture during the recording");
        queue.push_back({Item::End, {}, slotCount, {}});
        wake.notify_one();
    }
    if (encoder.joinable())
        encoder.join();
    // After a write error the count is what reached the file, not the
    // frames captured: the last ones were lost with the disk's refusal.
    bool failed = writeFailed;
    {
        std::lock_guard l(mutex);
        failed = failed || !error.isEmpty();
    }
    if (failed)
        frames = uint32_t(writer.videoFramesWritten());
    audio = nullptr;
    ownAudio.reset();
    qCInfo(lcRecord).noquote() << "recording ended:" << frames.load() << "frames," << dropped.load()
                               << "dropped" << error;
    if (!endReported) {
        endReported = true;
        if (setup.status)
            setup.status(kStatusCaptureEnd);
    }
}

void Recorder::deviceLost()
{
    d->queueStop();
}

bool Recorder::openSingle(const QString& fileName, const CaptureParms& parms, QSize frameSize,
                                 std::optional<CodecChoice> codec)
{
    closeSingle();
    Impl& s = *d;
    const CodecChoice choice = codec.value_or(savedCodecChoice(containerForFile(fileName)));
    s.singleSetup = {};
    s.singleSetup.fileName = fileName;
    s.singleSetup.frameSize = frameSize;
    s.singleSetup.encoder = choice.encoder;
    s.singleSetup.quality = choice.quality;
    frameRateOf(parms.dwRequestMicroSecPerFrame, &s.singleSetup.rateNum, &s.singleSetup.rateDen);
    s.singleFrames = 0;
    if (frameSize.isValid()) {
        if (!s.single.open(s.singleSetup))
            return false;
    } else {
        // Prove the name is writable now rather than at the first frame.
        QFile probe(fileName);
        const bool existed = probe.exists();
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        probe.close();
        if (!existed)
            probe.remove();
    }
    s.singleOpen = true;
    return true;
}

bool Recorder::captureOne(const FramePtr& frame)
{
    Impl& s = *d;
    if (!s.singleOpen || !frame || frame->size().isEmpty())
        return false;
    if (!s.single.isOpen()) {
        s.singleSetup.frameSize = frame->size();
        if (!s.single.open(s.singleSetup))
            return false;
    }
    if (!writeFrame(s.single, *frame, s.singleFrames))
        return false;
    ++s.singleFrames;
    return true;
}

bool Recorder::closeSingle()
{
    Impl& s = *d;
    if (!s.singleOpen)
        return false;
    s.singleOpen = false;
    const bool closed = s.single.close();
    if (!closed) // what the mended file holds
        s.singleFrames = int(s.single.videoFramesWritten());
    return closed;
}

int Recorder::singleFramesWritten() const { return d->singleFrames; }

} // namespace lv
