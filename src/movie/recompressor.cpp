#include "movie/recompressor.h"

#include "movie/moviereader.h"
#include "movie/ffmpegptr.h"
#include "movie/pendingfiles.h"
#include "movie/recompressstage.h"
#include "movie/videocodecs.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

Q_LOGGING_CATEGORY(lcRecompress, "lumivark.movie.recompress")

namespace lv {

namespace {

using recompress::avErrorText;
using recompress::EncodeStage;
using recompress::encodeAndWrite;
using recompress::errorText;

// The path a name stands for, through links, also for a file not yet there.
QString resolvedPath(const QString& name)
{
    const QFileInfo fi(name);
    if (fi.exists())
        return fi.canonicalFilePath();
    const QString dir = QFileInfo(fi.absolutePath()).canonicalFilePath();
    return (dir.isEmpty() ? fi.absolutePath() : dir) + QLatin1Char('/') + fi.fileName();
}

// The pixel format the encoder gets: what keeps the source's pictures best.
AVPixelFormat encoderFormat(const AVCodec* codec, AVPixelFormat source)
{
    if (codec->id == AV_CODEC_ID_RAWVIDEO)
        return AV_PIX_FMT_BGR24; // uncompressed AVI frames are 24-bit bitmaps
    if (codec->id == AV_CODEC_ID_MJPEG) {
        // Motion JPEG in AVI is full-range YUV; keep the source's chroma detail.
        switch (source) {
        case AV_PIX_FMT_YUV422P:
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUVJ422P;
        case AV_PIX_FMT_YUV444P:
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUVJ444P;
        default:
            return AV_PIX_FMT_YUVJ420P;
        }
    }
    if (!codec->pix_fmts)
        return source;
    return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, source, 0, nullptr);
}

bool usesQuantiser(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_MJPEG:
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_MSMPEG4V2:
    case AV_CODEC_ID_MSMPEG4V3:
    case AV_CODEC_ID_H263:
    case AV_CODEC_ID_H263P:
    case AV_CODEC_ID_FLV1:
    case AV_CODEC_ID_WMV1:
    case AV_CODEC_ID_WMV2:
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
        return true;
    default:
        return false;
    }
}

class Job {
public:
    Job(const RecompressOptions& options, const std::atomic_bool& cancel, const std::function<void(int)>& progress)
        : m_options(options), m_cancel(cancel), m_progress(progress)
    {
    }

    RecompressResult run(const QString& source, const QString& output);

private:
    bool fail(const QString& what, int averror = 0);
    bool openSource(const QString& source);
    bool openEncoder(AVPixelFormat sourceFormat);
    bool openVideoOutput(const QString& file);
    bool openSoundOutput(const QString& file);
    bool finishOutput(ff::OutputPtr& out, const char* what);
    bool decodePacket(const AVPacket* pkt);
    bool takeFrame(AVFrame* frame);
    bool hand(const AVFrame* picture, int64_t number);
    bool stageStopped();
    bool writeSound(AVPacket* pkt);

    RecompressOptions m_options;
    const std::atomic_bool& m_cancel;
    const std::function<void(int)>& m_progress;
    QString m_error;
    bool m_cancelled = false;

    MovieReader m_reader;
    MovieContainer m_container = MovieContainer::Avi; // of the output
    AVFormatContext* m_in = nullptr; // owned by m_reader
    AVStream* m_videoIn = nullptr;
    AVStream* m_soundIn = nullptr;
    int64_t m_total = 0;      // frames of the source's video stream
    int64_t m_firstPts = AV_NOPTS_VALUE;
    int64_t m_written = 0;    // frames handed to the encoder

    ff::CodecContextPtr m_dec;
    ff::CodecContextPtr m_enc;
    const AVCodec* m_codec = nullptr;
    ff::FramePtr m_decoded;
    // Converted pictures, taken in turn: the queue, the encoder and m_last
    // may still hold the ones before, and a fresh buffer per frame costs
    // page faults.
    std::array<ff::FramePtr, 8> m_converted;
    size_t m_nextConverted = 0;
    ff::FramePtr m_last; // the last picture encoded, for frames the source repeats
    ff::PacketPtr m_packet;
    ff::PacketPtr m_encoded;
    ff::SwsPtr m_sws;
    int m_swsWidth = 0, m_swsHeight = 0;
    AVPixelFormat m_swsFormat = AV_PIX_FMT_NONE;

    ff::OutputPtr m_videoOut;
    AVStream* m_videoStream = nullptr;
    ff::OutputPtr m_soundOut;
    AVStream* m_soundStream = nullptr;
    std::unique_ptr<EncodeStage> m_stage; // after the first picture is decoded
};

bool Job::fail(const QString& what, int averror)
{
    m_error = errorText(what, averror);
    return false;
}

bool Job::openSource(const QString& source)
{
    if (!m_reader.open(source))
        return fail(QStringLiteral("Cannot open the movie (%1)").arg(m_reader.errorText()));
    m_in = m_reader.formatContext();
    if (!m_in || m_reader.videoStream() < 0)
        return fail(QStringLiteral("The movie has no video stream"));
    m_videoIn = m_in->streams[m_reader.videoStream()];
    const AVCodecParameters* par = m_videoIn->codecpar;
    // A hostile header must not make us allocate gigabytes.
    if (par->width <= 0 || par->height <= 0 || par->width > MovieReader::kMaxSide || par->height > MovieReader::kMaxSide
        || int64_t(par->width) * par->height > MovieReader::kMaxPixels)
        return fail(QStringLiteral("The movie's frame size %1x%2 is unusable").arg(par->width).arg(par->height));
    if (m_reader.audioStream() >= 0)
        m_soundIn = m_in->streams[m_reader.audioStream()];
    m_total = std::max<int64_t>(0, m_reader.frameCount());

    const AVCodec* decoder = avcodec_find_decoder(m_videoIn->codecpar->codec_id);
    if (!decoder)
        return fail(QStringLiteral("This FFmpeg cannot decode the movie's video"));
    m_dec.reset(avcodec_alloc_context3(decoder));
    if (!m_dec)
        return fail(QStringLiteral("Out of memory"));
    int err = avcodec_parameters_to_context(m_dec.get(), m_videoIn->codecpar);
    if (err < 0)
        return fail(QStringLiteral("Cannot set up the video decoder"), err);
    m_dec->pkt_timebase = m_videoIn->time_base;
    m_dec->thread_count = std::max(0, m_options.threads);
    m_dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    err = avcodec_open2(m_dec.get(), decoder, nullptr);
    if (err < 0)
        return fail(QStringLiteral("Cannot open the video decoder"), err);
    // The reader has read no packet for us yet: the demuxer stands at the start.
    m_firstPts = m_videoIn->start_time;
    return true;
}

bool Job::openEncoder(AVPixelFormat sourceFormat)
{
    const QByteArray name = m_options.encoder.toLatin1();
    m_codec = avcodec_find_encoder_by_name(name.constData());
    if (!m_codec || m_codec->type != AVMEDIA_TYPE_VIDEO)
        return fail(QStringLiteral("No video encoder named %1").arg(m_options.encoder));
    m_enc.reset(avcodec_alloc_context3(m_codec));
    if (!m_enc)
        return fail(QStringLiteral("Out of memory"));
    AVCodecContext* enc = m_enc.get();
    enc->width = m_dec->width;
    enc->height = m_dec->height;
    enc->sample_aspect_ratio = m_dec->sample_aspect_ratio;
    // One tick of the source's clock is one frame in AVI: keep the rate exactly.
    // Other sources are numbered frame by frame at their guessed rate.
    enc->time_base = m_videoIn->time_base;
    if (!m_reader.isAvi()) {
        AVRational rate = av_guess_frame_rate(m_in, m_videoIn, nullptr);
        if (rate.num <= 0 || rate.den <= 0)
            rate = AVRational{25, 1};
        enc->time_base = av_inv_q(rate);
    }
    enc->framerate = av_inv_q(enc->time_base);
    enc->pix_fmt = encoderFormat(m_codec, sourceFormat);
    if (m_container == MovieContainer::Avi)
        enc->max_b_frames = 0; // AVI has no room for reordered frames
    const int perSecond = std::max(1, int(av_q2d(enc->framerate) + 0.5));
    enc->gop_size = m_options.keyFrameEvery > 0 ? m_options.keyFrameEvery : perSecond;
    enc->thread_count = std::max(0, m_options.threads);
    if (m_codec->id == AV_CODEC_ID_MJPEG)
        enc->color_range = AVCOL_RANGE_JPEG;

    AVDictionary* opts = nullptr;
    const int quality = std::clamp(m_options.quality, 1, 100);
    const int64_t bitsPerSecond = int64_t(std::max(0, m_options.dataRate)) * 1024 * 8;
    if (bitsPerSecond > 0) {
        // A data rate overrides the quality, as a rate-controlled encoder needs.
        enc->bit_rate = bitsPerSecond;
        enc->rc_max_rate = bitsPerSecond;
        enc->rc_buffer_size = int(std::min<int64_t>(INT32_MAX, bitsPerSecond));
    } else if (usesQuantiser(m_codec->id)) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = FF_QP2LAMBDA * qscaleForQuality(quality);
    } else if (m_codec->id == AV_CODEC_ID_H264) {
        av_dict_set_int(&opts, "crf", 18 + (100 - quality) * 33 / 100, 0);
        av_dict_set(&opts, "preset", "veryfast", 0);
    }
    if (m_videoOut->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int err = avcodec_open2(enc, m_codec, &opts);
    av_dict_free(&opts);
    if (err < 0)
        return fail(QStringLiteral("Cannot open the %1 encoder").arg(m_options.encoder), err);
    return true;
}

bool Job::openVideoOutput(const QString& file)
{
    AVFormatContext* raw = nullptr;
    const QByteArray path = QFile::encodeName(file);
    int err = avformat_alloc_output_context2(&raw, nullptr, muxerName(m_container), path.constData());
    if (err < 0 || !raw)
        return fail(QStringLiteral("Cannot create the %1 writer").arg(containerLabel(m_container)), err);
    m_videoOut.reset(raw);
    return true;
}

bool Job::openSoundOutput(const QString& file)
{
    AVFormatContext* raw = nullptr;
    const QByteArray path = QFile::encodeName(file);
    int err = avformat_alloc_output_context2(&raw, nullptr, "wav", path.constData());
    if (err < 0 || !raw)
        return fail(QStringLiteral("Cannot create the sound file"), err);
    m_soundOut.reset(raw);
    m_soundStream = avformat_new_stream(raw, nullptr);
    if (!m_soundStream)
        return fail(QStringLiteral("Out of memory"));
    err = avcodec_parameters_copy(m_soundStream->codecpar, m_soundIn->codecpar);
    if (err < 0)
        return fail(QStringLiteral("Cannot copy the sound format"), err);
    m_soundStream->codecpar->codec_tag = 0; // the wav writer picks its own tag
    m_soundStream->time_base = m_soundIn->time_base;
    err = avio_open(&raw->pb, path.constData(), AVIO_FLAG_WRITE);
    if (err < 0)
        return fail(QStringLiteral("Cannot write the sound file"), err);
    av_dict_set(&raw->metadata, "encoder", nullptr, 0);
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "rf64", "auto", 0); // past 4 GiB a plain RIFF size cannot hold it
    err = avformat_write_header(raw, &opts);
    av_dict_free(&opts);
    if (err < 0)
        return fail(QStringLiteral("The sound format does not fit a .wav file"), err);
    return true;
}

// Writes the trailer and closes the file, catching late write errors.
bool Job::finishOutput(ff::OutputPtr& out, const char* what)
{
    if (!out)
        return true;
    int err = av_write_trailer(out.get());
    if (err >= 0 && out->pb && out->pb->error < 0)
        err = out->pb->error;
    const int closeErr = avio_closep(&out->pb);
    out.reset();
    if (err < 0)
        return fail(QStringLiteral("Cannot finish the %1").arg(QLatin1String(what)), err);
    if (closeErr < 0)
        return fail(QStringLiteral("Cannot finish the %1").arg(QLatin1String(what)), closeErr);
    return true;
}

// The stage stopped on its own: its error (or cancel) becomes the job's.
bool Job::stageStopped()
{
    m_stage->stop();
    m_cancelled = m_stage->cancelled();
    m_error = m_stage->error();
    return false;
}

// Hands a picture to the encoding stage as frame number `number`.
bool Job::hand(const AVFrame* picture, int64_t number)
{
    ff::FramePtr copy(av_frame_clone(picture));
    if (!copy)
        return fail(QStringLiteral("Out of memory"));
    copy->pts = number;
    copy->pict_type = AV_PICTURE_TYPE_NONE;
    // The fixed-quantiser encoders take the quality from each picture.
    copy->quality = m_enc->global_quality;
    if (!m_stage->push(std::move(copy)))
        return stageStopped();
    return true;
}

// One decoded picture: converted when the encoder wants another format or
// size, then encoded at its frame number; frames the source skips (empty
// chunks repeat the picture before them) are filled with the last picture.
bool Job::takeFrame(AVFrame* frame)
{
    int64_t number = m_written;
    const int64_t pts = frame->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE && m_reader.isAvi()) {
        if (m_firstPts == AV_NOPTS_VALUE)
            m_firstPts = pts;
        number = std::max(m_written, pts - m_firstPts);
        // A time stamp beyond the stream's length is damage, not a gap to fill.
        if (m_total > 0 && number >= m_total)
            number = m_written;
    }
    while (m_written < number && m_last) {
        if (m_cancel.load(std::memory_order_relaxed)) {
            m_cancelled = true;
            return false;
        }
        if (!hand(m_last.get(), m_written++))
            return false;
    }
    m_written = number;

    AVFrame* picture = frame;
    const auto format = AVPixelFormat(frame->format);
    if (format != m_enc->pix_fmt || frame->width != m_enc->width || frame->height != m_enc->height) {
        if (!m_sws || m_swsWidth != frame->width || m_swsHeight != frame->height || m_swsFormat != format) {
            m_sws.reset(sws_getContext(frame->width, frame->height, format, m_enc->width, m_enc->height,
                                       m_enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
            if (!m_sws)
                return fail(QStringLiteral("Cannot convert the pictures for the encoder"));
            m_swsWidth = frame->width;
            m_swsHeight = frame->height;
            m_swsFormat = format;
        }
        AVFrame* target = nullptr;
        for (size_t i = 0; i < m_converted.size() && !target; ++i) {
            ff::FramePtr& f = m_converted[(m_nextConverted + i) % m_converted.size()];
            if (!f)
                f.reset(av_frame_alloc());
            if (f && (!f->buf[0] || av_frame_is_writable(f.get())))
                target = f.get();
        }
        // All still held: the next in turn lets go of its buffer (whoever
        // holds it keeps it) and takes a fresh one.
        if (!target) {
            target = m_converted[m_nextConverted].get();
            if (target)
                av_frame_unref(target);
        }
        if (!target)
            return fail(QStringLiteral("Out of memory"));
        m_nextConverted = (m_nextConverted + 1) % m_converted.size();
        if (!target->buf[0]) {
            target->format = m_enc->pix_fmt;
            target->width = m_enc->width;
            target->height = m_enc->height;
            if (av_frame_get_buffer(target, 0) < 0)
                return fail(QStringLiteral("Out of memory"));
        }
        sws_scale(m_sws.get(), frame->data, frame->linesize, 0, frame->height, target->data, target->linesize);
        picture = target;
    }
    if (!m_last)
        m_last.reset(av_frame_alloc());
    if (!m_last)
        return fail(QStringLiteral("Out of memory"));
    av_frame_unref(m_last.get());
    if (av_frame_ref(m_last.get(), picture) < 0)
        return fail(QStringLiteral("Out of memory"));
    return hand(picture, m_written++);
}

bool Job::decodePacket(const AVPacket* pkt)
{
    int err = avcodec_send_packet(m_dec.get(), pkt);
    // A damaged chunk costs its picture, not the whole movie.
    if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_EOF && err != AVERROR_INVALIDDATA)
        return fail(QStringLiteral("Cannot decode the movie"), err);
    for (;;) {
        err = avcodec_receive_frame(m_dec.get(), m_decoded.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err == AVERROR_INVALIDDATA)
            continue;
        if (err < 0)
            return fail(QStringLiteral("Cannot decode the movie"), err);
        if (!m_enc && !openEncoder(AVPixelFormat(m_decoded->format)))
            return false;
        if (!m_videoStream) {
            m_videoStream = avformat_new_stream(m_videoOut.get(), nullptr);
            if (!m_videoStream)
                return fail(QStringLiteral("Out of memory"));
            avcodec_parameters_from_context(m_videoStream->codecpar, m_enc.get());
            m_videoStream->time_base = m_enc->time_base;
            m_videoStream->avg_frame_rate = m_enc->framerate;
            m_videoStream->r_frame_rate = m_enc->framerate;
            m_videoStream->sample_aspect_ratio = m_enc->sample_aspect_ratio;
            av_dict_set(&m_videoOut->metadata, "encoder", nullptr, 0);
            err = avformat_write_header(m_videoOut.get(), nullptr);
            if (err < 0)
                return fail(QStringLiteral("Cannot write the movie header"), err);
            m_stage = std::make_unique<EncodeStage>(m_enc.get(), m_videoOut.get(), m_videoStream, m_total, m_cancel,
                                                    m_progress);
        }
        const bool ok = takeFrame(m_decoded.get());
        av_frame_unref(m_decoded.get());
        if (!ok)
            return false;
    }
}

bool Job::writeSound(AVPacket* pkt)
{
    pkt->stream_index = m_soundStream->index;
    pkt->pos = -1;
    av_packet_rescale_ts(pkt, m_soundIn->time_base, m_soundStream->time_base);
    const int err = av_write_frame(m_soundOut.get(), pkt);
    if (err < 0)
        return fail(QStringLiteral("Cannot write the sound file"), err);
    return true;
}

RecompressResult Job::run(const QString& source, const QString& output)
{
    RecompressResult result;
    const auto failed = [&] {
        // The encoding thread ends before anything it writes to goes away.
        if (m_stage)
            m_stage->stop();
        result.status = m_cancelled ? RecompressResult::Status::Cancelled : RecompressResult::Status::Failed;
        result.error = m_cancelled ? QString() : m_error;
        if (!m_cancelled)
            qCWarning(lcRecompress).noquote() << source << "->" << output << m_error;
        return result;
    };

    if (output.isEmpty()) {
        fail(QStringLiteral("No output name"));
        return failed();
    }
    const QString sourcePath = resolvedPath(source);
    const QString soundName = recompressedSoundName(output);
    if (resolvedPath(output) == sourcePath) {
        fail(QStringLiteral("The output would replace the movie itself; choose another name"));
        return failed();
    }
    const QByteArray encoderName = m_options.encoder.toLatin1();
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName.constData());
    if (!encoder || encoder->type != AVMEDIA_TYPE_VIDEO) {
        fail(QStringLiteral("No video encoder named %1").arg(m_options.encoder));
        return failed();
    }
    m_container = containerForFile(output);
    if (const QString why = codecRefusal(m_container, m_options.encoder); !why.isEmpty()) {
        fail(why);
        return failed();
    }
    if (!openSource(source))
        return failed();
    if (m_soundIn && (resolvedPath(soundName) == sourcePath || resolvedPath(soundName) == resolvedPath(output))) {
        fail(QStringLiteral("The sound file %1 would replace the movie; choose another name").arg(soundName));
        return failed();
    }

    PendingFiles pending;
    const QString videoTemp = pending.add(output);
    if (videoTemp.isEmpty()) {
        fail(QStringLiteral("Cannot write in the folder of %1: %2").arg(output, QString::fromLocal8Bit(strerror(errno))));
        return failed();
    }
    if (!openVideoOutput(videoTemp))
        return failed();
    int err = avio_open(&m_videoOut->pb, QFile::encodeName(videoTemp).constData(), AVIO_FLAG_WRITE);
    if (err < 0) {
        fail(QStringLiteral("Cannot write the movie"), err);
        return failed();
    }
    if (m_soundIn) {
        const QString soundTemp = pending.add(soundName);
        if (soundTemp.isEmpty()) {
            fail(QStringLiteral("Cannot write in the folder of %1: %2").arg(soundName, QString::fromLocal8Bit(strerror(errno))));
            return failed();
        }
        if (!openSoundOutput(soundTemp))
            return failed();
    }

    m_decoded.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    m_encoded.reset(av_packet_alloc());
    if (!m_decoded || !m_packet || !m_encoded) {
        fail(QStringLiteral("Out of memory"));
        return failed();
    }
    if (m_progress)
        m_progress(0);

    bool ok = true;
    while (ok) {
        if (m_cancel.load(std::memory_order_relaxed)) {
            m_cancelled = true;
            return failed();
        }
        err = av_read_frame(m_in, m_packet.get());
        if (err == AVERROR_EOF)
            break;
        if (err < 0) {
            // A movie cut short ends where its data ends.
            qCInfo(lcRecompress).noquote() << source << "read stops:" << avErrorText(err);
            break;
        }
        if (m_packet->stream_index == m_videoIn->index) {
            // An empty chunk repeats the picture before it; the decoder would
            // take an empty packet for the end of the stream.
            if (m_packet->size > 0)
                ok = decodePacket(m_packet.get());
        } else if (m_soundIn && m_packet->stream_index == m_soundIn->index) {
            ok = writeSound(m_packet.get());
        }
        av_packet_unref(m_packet.get());
    }
    // Some decoders hand out their last frames only when flushed.
    if (ok)
        ok = decodePacket(nullptr);
    if (!ok)
        return failed();
    if (!m_stage) {
        fail(QStringLiteral("Not one frame of the movie could be decoded"));
        return failed();
    }
    // Empty chunks at the very end still count as frames.
    while (m_written < m_total && m_last) {
        if (!hand(m_last.get(), m_written++))
            return failed();
    }
    if (!m_stage->finish()) {
        stageStopped();
        return failed();
    }
    // The stage has ended; the encoder's last pictures and the files' ends are written here.
    QString error;
    if (!encodeAndWrite(m_enc.get(), m_videoOut.get(), m_videoStream, m_encoded.get(), nullptr, &error)) {
        m_error = error;
        return failed();
    }
    if (!finishOutput(m_videoOut, "movie") || !finishOutput(m_soundOut, "sound file"))
        return failed();
    if (m_cancel.load()) {
        m_cancelled = true;
        return failed();
    }
    if (!pending.commit(&m_error))
        return failed();
    if (m_progress && m_stage->lastPercent() != 100)
        m_progress(100);
    result.status = RecompressResult::Status::Recompressed;
    result.output = output;
    result.soundFile = m_soundIn ? soundName : QString();
    return result;
}

} // namespace

QString recompressedSoundName(const QString& output)
{
    const QFileInfo fi(output);
    const QString name = fi.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? output.left(output.size() - (name.size() - dot)) : output;
    return base + QStringLiteral(".wav");
}

RecompressResult recompressMovie(const QString& source, const QString& output, const RecompressOptions& options,
                                 const std::atomic_bool& cancel, const std::function<void(int)>& progress)
{
    Job job(options, cancel, progress);
    return job.run(source, output);
}

Recompression::Recompression(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<lv::RecompressResult>();
}

Recompression::~Recompression()
{
    m_cancel = true;
    if (m_thread)
        m_thread->wait();
}

void Recompression::cancel() { m_cancel = true; }

bool Recompression::start(const QString& source, const QString& output, const RecompressOptions& options)
{
    if (m_busy)
        return false;
    if (m_thread)
        m_thread->wait(); // its job has reported already; the thread is at its end
    m_cancel = false;
    m_busy = true;
    m_thread.reset(QThread::create([this, source, output, options] {
        const RecompressResult result = recompressMovie(source, output, options, m_cancel, [this](int percent) {
            QMetaObject::invokeMethod(this, [this, percent] { emit progress(percent); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_busy = false;
                emit finished(result);
            },
            Qt::QueuedConnection);
    }));
    m_thread->start();
    return true;
}

} // namespace lv
