// Feeds arbitrary bytes to the AVI reading layer as a movie file: open it,
// read its facts, and decode frames at the start, the middle and the end,
// in and out of order; then its sound track, from the start and after a seek.
// Every frame handed out must be a whole 24-bit bitmap of the stated frame
// size, and sound comes in whole sample frames.
#include "movie/moviereader.h"
#include "movie/avisoundreader.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdlib>

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString input;
    Fixture()
    {
        av_log_set_level(AV_LOG_QUIET);
        input = dir.filePath(QStringLiteral("in.avi"));
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void checkFrame(lv::MovieReader& r, int64_t n)
{
    const QByteArray dib = r.frame(n);
    if (dib.isEmpty())
        return;
    const QRect rect = r.frameRect();
    if (dib.size() != 40 + qsizetype(lv::MovieReader::rowBytes(rect.width())) * rect.height())
        std::abort();
    if (dib.left(40) != lv::MovieReader::requestHeader(rect.width(), rect.height()))
        std::abort();
    if (r.lastFrameNumber() != n - r.firstFrame())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fixture& f = fixture();
    {
        QFile file(f.input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    {
        lv::AviSoundReader sound;
        if (sound.open(f.input)) {
            if (sound.channels() < 1 || sound.channels() > 2 || sound.sampleRate() <= 0)
                std::abort();
            for (int i = 0; i < 4; ++i)
                if (sound.read(2000).size() % sound.bytesPerFrame() != 0)
                    std::abort();
            sound.seekSeconds(0.5);
            if (sound.read(500).size() % sound.bytesPerFrame() != 0)
                std::abort();
        }
    }
    lv::MovieReader r;
    if (!r.open(f.input)) {
        if (r.errorText().isEmpty() || r.frameCount() != -1)
            std::abort();
        return 0;
    }
    (void)r.streamCount();
    (void)r.audioStream();
    (void)r.durationSeconds();
    const int64_t first = r.firstFrame();
    const int64_t count = r.frameCount();
    if ((r.videoStream() < 0) != (count < 0))
        std::abort();
    if (count <= 0 || !r.openDecoder())
        return 0;
    const QRect rect = r.frameRect();
    if (rect.width() <= 0 || rect.height() <= 0 || rect.width() > lv::MovieReader::kMaxSide
        || rect.height() > lv::MovieReader::kMaxSide)
        std::abort();
    // A handful of frames: enough to cross key frames, few enough to stay quick.
    for (int64_t n : {int64_t(0), int64_t(1), count / 2, count - 1, int64_t(1), count})
        checkFrame(r, first + n);
    if (!r.frame(first + count).isEmpty() || !r.frame(first - 1).isEmpty())
        std::abort();
    (void)r.image(first, QImage::Format_RGB32);
    return 0;
}
