#include "movie/movieplayer.h"

#include "movie/moviereader.h"
#include "movie/avisoundreader.h"
#include "movie/soundoutput.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace lv {

namespace {

QString twoDigits(int64_t v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

} // namespace

QString movieInfoText(int displayMode, double position, double duration)
{
    if (displayMode == MoviePlayer::Frames)
        return QStringLiteral("%1 / %2")
            .arg(std::llround(position), 8, 10, QLatin1Char('0'))
            .arg(std::llround(duration), 7, 10, QLatin1Char('0'));
    // Whole seconds, counted in integers: splitting a floating hour into
    // minutes and seconds would show 3725 s as 01:02:04.
    const auto hms = [](double seconds) {
        const int64_t s = seconds > 0 ? int64_t(std::floor(seconds + 1e-6)) : 0;
        return twoDigits(s / 3600) + QLatin1Char(':') + twoDigits(s % 3600 / 60) + QLatin1Char(':')
            + twoDigits(s % 60);
    };
    return hms(position) + QStringLiteral(" / ") + hms(duration);
}

// Decodes on the player's thread. Commands arrive as queued calls; a command
// whose generation is older than the player's latest is stale and skipped.
class PlayerWorker final : public QObject {
    Q_OBJECT

public:
    explicit PlayerWorker(std::shared_ptr<std::atomic<quint64>> latest)
        : m_latest(std::move(latest))
        , m_timer(new QTimer(this))
    {
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
        connect(m_timer, &QTimer::timeout, this, &PlayerWorker::tick);
    }

    // Pictures handed out and not yet taken by the UI thread; playback skips
    // drawing while two are waiting, so a slow screen never piles up frames.
    std::atomic<int> inFlight{0};

    void open(const QString& fileName, quint64 generation)
    {
        m_timer->stop();
        m_out.close();
        m_sound.close();
        m_reader.close();
        m_gen = generation;
        if (fileName.isEmpty())
            return;
        if (!m_reader.open(fileName)) {
            emit opened(false, 0, 0, {}, false, m_reader.errorText(), generation);
            return;
        }
        if (m_reader.videoStream() < 0 || !m_reader.openDecoder()) {
            const QString why = m_reader.videoStream() < 0 ? QStringLiteral("The file has no video stream")
                                                           : m_reader.errorText();
            emit opened(false, 0, 0, {}, m_reader.audioStream() >= 0, why, generation);
            m_reader.close();
            return;
        }
        m_fps = m_reader.framesPerSecond() > 0 ? m_reader.framesPerSecond() : 25;
        if (m_reader.audioStream() >= 0)
            m_sound.open(fileName); // a sound track that cannot be decoded plays as silence
        emit opened(true, m_reader.frameCount(), m_fps, m_reader.frameRect().size(), m_reader.audioStream() >= 0, {},
                    generation);
    }

    void show(qint64 n, quint64 generation)
    {
        if (generation != m_latest->load())
            return; // a newer request is on its way
        m_timer->stop();
        m_out.drop();
        m_gen = generation;
        deliver(n);
    }

    void play(qint64 from, quint64 generation)
    {
        if (generation != m_latest->load())
            return;
        m_gen = generation;
        m_from = from;
        m_shown = -1;
        startSound(double(from) / m_fps);
        m_clock.start();
        tick();
    }

    void halt(quint64 generation)
    {
        m_gen = generation;
        m_timer->stop();
        m_out.drop();
    }

signals:
    void opened(bool ok, qint64 count, double fps, QSize size, bool sound, const QString& error,
                quint64 generation);
    void frame(const QImage& image, qint64 n, quint64 generation);
    void ended(quint64 generation);
    void soundPlaying(bool audible, quint64 generation);

private:
    // The sound track from the given time, when the machine has a sound output.
    void startSound(double seconds)
    {
        m_soundLeft.clear();
        m_soundWritten = 0;
        bool audible = false;
        if (m_sound.isOpen()) {
            if (!m_out.isOpen())
                m_out.open(m_sound.sampleRate(), m_sound.channels());
            m_out.drop();
            audible = m_out.isOpen() && m_sound.seekSeconds(seconds);
        }
        m_soundOn = audible;
        emit soundPlaying(audible, m_gen);
    }

    // Keeps the sound a little ahead of the video clock.
    void feedSound(double elapsed)
    {
        if (!m_soundOn)
            return;
        const int bpf = m_sound.bytesPerFrame();
        int64_t room = std::min<int64_t>(int64_t((elapsed + 0.3) * m_sound.sampleRate()) - m_soundWritten,
                                         m_out.writable());
        while (room > 0) {
            if (m_soundLeft.isEmpty()) {
                m_soundLeft = m_sound.read(int(std::min<int64_t>(room, 4096)));
                if (m_soundLeft.isEmpty())
                    return; // the sound track has ended
            }
            const int64_t wrote = m_out.write(m_soundLeft.left(qsizetype(room) * bpf));
            if (wrote <= 0)
                return;
            m_soundLeft.remove(0, qsizetype(wrote) * bpf);
            m_soundWritten += wrote;
            room -= wrote;
        }
    }

    void deliver(int64_t n)
    {
        QImage img = m_reader.image(n, QImage::Format_RGB32);
        if (img.isNull())
            return;
        ++inFlight;
        m_shown = n;
        emit frame(img, n, m_gen);
    }

    // The video clock: frame from + elapsed x rate is due now.
    void tick()
    {
        if (m_gen != m_latest->load())
            return;
        const int64_t count = m_reader.frameCount();
        const double elapsed = double(m_clock.nsecsElapsed()) / 1e9;
        const int64_t due = m_from + int64_t(elapsed * m_fps);
        if (due >= count) {
            m_out.drop();
            emit ended(m_gen);
            return;
        }
        feedSound(elapsed);
        if (due != m_shown && inFlight.load() < 2)
            deliver(due);
        // Sleep until the next frame is due, and never so long that the sound runs dry.
        const double next = double(due + 1 - m_from) / m_fps - double(m_clock.nsecsElapsed()) / 1e9;
        m_timer->start(std::clamp(int(std::ceil(next * 1000)), 1, m_soundOn ? 100 : 1000000));
    }

    std::shared_ptr<std::atomic<quint64>> m_latest;
    QTimer* m_timer;
    MovieReader m_reader;
    AviSoundReader m_sound;
    SoundOutput m_out;
    QByteArray m_soundLeft; // decoded sound the device has not taken yet
    int64_t m_soundWritten = 0;
    bool m_soundOn = false;
    QElapsedTimer m_clock;
    double m_fps = 25;
    int64_t m_from = 0;
    int64_t m_shown = -1;
    quint64 m_gen = 0;
};

MoviePlayer::MoviePlayer(QObject* parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_latestShared(std::make_shared<std::atomic<quint64>>(0))
{
    m_worker = new PlayerWorker(m_latestShared);
    m_worker->moveToThread(m_thread.get());
    connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &PlayerWorker::opened, this, &MoviePlayer::onOpened);
    connect(m_worker, &PlayerWorker::frame, this, &MoviePlayer::onFrame);
    connect(m_worker, &PlayerWorker::ended, this, &MoviePlayer::onEnded);
    connect(m_worker, &PlayerWorker::soundPlaying, this, [this](bool audible, quint64 generation) {
        if (generation == m_generation)
            m_soundAudible = audible;
    });
    m_thread->setObjectName(QStringLiteral("movie player"));
    m_thread->start();
}

MoviePlayer::~MoviePlayer()
{
    m_latestShared->store(~quint64(0)); // every queued command is stale now
    m_thread->quit();
    m_thread->wait();
}

quint64 MoviePlayer::bump()
{
    m_latestShared->store(++m_generation);
    return m_generation;
}

void MoviePlayer::setFileName(const QString& fileName)
{
    const quint64 gen = bump();
    const bool wasPlaying = m_playing;
    m_fileName = fileName;
    m_playing = false;
    m_image = QImage();
    m_imageFrame = -1;
    m_position = 0;
    m_frameCount = 0;
    m_fps = 0;
    m_frameSize = {};
    m_hasSound = false;
    m_soundAudible = false;
    m_error.clear();
    m_readyState = fileName.isEmpty() ? Uninitialized : Loading;
    if (wasPlaying)
        emit playingChanged(false);
    PlayerWorker* w = m_worker;
    QMetaObject::invokeMethod(w, [w, fileName, gen] { w->open(fileName, gen); }, Qt::QueuedConnection);
    if (!fileName.isEmpty())
        emit openingStarted();
}

void MoviePlayer::onOpened(bool ok, qint64 count, double fps, QSize size, bool sound, const QString& error,
                           quint64 generation)
{
    if (m_readyState != Loading || generation != m_generation)
        return;
    m_hasSound = sound;
    if (!ok) {
        m_error = error;
        m_readyState = Uninitialized;
        emit openFailed(error);
        return;
    }
    m_frameCount = count;
    m_fps = fps;
    m_frameSize = size;
    m_position = 0;
    emit newStreamReady();
    m_readyState = Complete;
    emit readyStateChanged(Complete);
    if (m_autoStart && count > 0)
        play();
    else
        requestFrame(0);
}

void MoviePlayer::setDisplayMode(int mode)
{
    m_displayMode = mode == Frames ? Frames : Time;
}

double MoviePlayer::currentPosition() const
{
    if (m_displayMode == Frames)
        return double(m_position);
    return m_fps > 0 ? m_position / m_fps : 0;
}

double MoviePlayer::duration() const
{
    if (m_displayMode == Frames)
        return double(m_frameCount);
    return m_fps > 0 ? m_frameCount / m_fps : 0;
}

void MoviePlayer::requestFrame(int64_t n)
{
    const quint64 gen = bump();
    PlayerWorker* w = m_worker;
    QMetaObject::invokeMethod(w, [w, n, gen] { w->show(n, gen); }, Qt::QueuedConnection);
}

void MoviePlayer::play()
{
    if (m_readyState != Complete || m_frameCount <= 0 || m_playing)
        return;
    if (m_position >= m_frameCount - 1)
        m_position = 0; // played to the end: start again
    const quint64 gen = bump();
    m_playing = true;
    const int64_t from = m_position;
    PlayerWorker* w = m_worker;
    QMetaObject::invokeMethod(w, [w, from, gen] { w->play(from, gen); }, Qt::QueuedConnection);
    emit playingChanged(true);
}

void MoviePlayer::pause()
{
    if (!m_playing)
        return;
    const quint64 gen = bump();
    m_playing = false;
    m_soundAudible = false;
    PlayerWorker* w = m_worker;
    QMetaObject::invokeMethod(w, [w, gen] { w->halt(gen); }, Qt::QueuedConnection);
    emit playingChanged(false);
}

void MoviePlayer::stop()
{
    pause();
    if (m_readyState == Complete && m_frameCount > 0)
        seekFrame(0);
}

void MoviePlayer::togglePlay()
{
    if (m_playing)
        pause();
    else
        play();
}

void MoviePlayer::seekFrame(qint64 n)
{
    if (m_readyState != Complete || m_frameCount <= 0)
        return;
    n = std::clamp<qint64>(n, 0, m_frameCount - 1);
    m_position = n;
    if (m_playing) {
        const quint64 gen = bump();
        PlayerWorker* w = m_worker;
        QMetaObject::invokeMethod(w, [w, n, gen] { w->play(n, gen); }, Qt::QueuedConnection);
    } else {
        requestFrame(n);
    }
}

void MoviePlayer::step(int frames)
{
    pause();
    const int64_t from = std::min(m_position, m_frameCount - 1);
    seekFrame(from + frames);
}

void MoviePlayer::toEnd()
{
    pause();
    seekFrame(m_frameCount - 1);
}

void MoviePlayer::onFrame(const QImage& image, qint64 frame, quint64 generation)
{
    --m_worker->inFlight;
    if (generation != m_generation)
        return;
    m_image = image;
    m_imageFrame = frame;
    m_position = frame;
    emit frameShown(image, frame);
}

void MoviePlayer::onEnded(quint64 generation)
{
    if (generation != m_generation || !m_playing)
        return;
    m_playing = false;
    m_soundAudible = false;
    m_position = m_frameCount;
    emit playingChanged(false);
    emit ended();
}

} // namespace lv

#include "movieplayer.moc"
