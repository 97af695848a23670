#include "movie/aviwriter.h"
#include "movie/videocodecs.h"

#include "movie/avirepair.h"

#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

Q_LOGGING_CATEGORY(lcAviWriter, "lumivark.movie")

namespace lv {

namespace {

QString avErrorText(int err)
{
    if (err == AVERROR(ENOSPC))
        return QStringLiteral("the disk is full");
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return QString::fromLocal8Bit(buf);
}

int qscaleFor(int quality) { return qscaleForQuality(quality); }

AVPixelFormat pixelFormatFor(const AVCodec* codec)
{
    switch (codec->id) {
    case AV_CODEC_ID_RAWVIDEO:
        return AV_PIX_FMT_BGR24;
    case AV_CODEC_ID_MJPEG:
        return AV_PIX_FMT_YUVJ420P;
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_H264:
        return AV_PIX_FMT_YUV420P;
    default:
        break;
    }
    if (!codec->pix_fmts)
        return AV_PIX_FMT_YUV420P;
    return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_RGB24, 0, nullptr);
}

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

AviWriter::AviWriter() = default;

AviWriter::~AviWriter()
{
    close();
}

bool AviWriter::fail(const QString& what, int averror)
{
    m_error = averror ? what + QStringLiteral(": ") + avErrorText(averror) : what;
    qCWarning(lcAviWriter).noquote() << m_setup.fileName << m_error;
    return false;
}

bool AviWriter::openVideoEncoder()
{
    const QByteArray name = m_setup.encoder.toLatin1();
    const AVCodec* codec = avcodec_find_encoder_by_name(name.constData());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
        return fail(QStringLiteral("No video encoder named %1").arg(m_setup.encoder));

    m_enc.reset(avcodec_alloc_context3(codec));
    if (!m_enc)
        return fail(QStringLiteral("Out of memory"));
    AVCodecContext* enc = m_enc.get();
    enc->width = m_setup.frameSize.width();
    enc->height = m_setup.frameSize.height();
    enc->time_base = AVRational{m_setup.rateDen, m_setup.rateNum};
    enc->framerate = AVRational{m_setup.rateNum, m_setup.rateDen};
    enc->pix_fmt = pixelFormatFor(codec);
    enc->max_b_frames = 0; // AVI has no room for reordered frames
    enc->gop_size = std::max(1, m_setup.rateNum / std::max(1, m_setup.rateDen));
    if (codec->id == AV_CODEC_ID_MJPEG)
        enc->color_range = AVCOL_RANGE_JPEG;

    AVDictionary* opts = nullptr;
    if (codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_MPEG4) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = FF_QP2LAMBDA * qscaleFor(m_setup.quality);
    } else if (codec->id == AV_CODEC_ID_H264) {
        const int crf = 18 + (100 - std::clamp(m_setup.quality, 1, 100)) * 33 / 100;
        av_dict_set_int(&opts, "crf", crf, 0);
        av_dict_set(&opts, "preset", "veryfast", 0);
    }
    if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    const int err = avcodec_open2(enc, codec, &opts);
    av_dict_free(&opts);
    if (err < 0)
        return fail(QStringLiteral("Cannot open the %1 encoder").arg(m_setup.encoder), err);

    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->id);
    m_intraOnly = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
    m_passthrough = codec->id == AV_CODEC_ID_MJPEG;
    m_qscale = qscaleFor(m_setup.quality);

    m_frame.reset(av_frame_alloc());
    m_frame->format = enc->pix_fmt;
    m_frame->width = enc->width;
    m_frame->height = enc->height;
    if (av_frame_get_buffer(m_frame.get(), 0) < 0)
        return fail(QStringLiteral("Out of memory"));
    return true;
}

bool AviWriter::open(const Setup& setup)
{
    close();
    m_setup = setup;
    m_closed = false;
    m_created = false;
    m_error.clear();
    m_videoFrames = 0;
    m_lastIndex = -1;
    m_audioSamples = 0;
    m_audioRemainder.clear();
    m_lastPacket.reset();

    // The system would see the name cut at a NUL: another file than the one asked about.
    if (setup.fileName.isEmpty() || setup.fileName.contains(QChar(0)))
        return fail(QStringLiteral("Not a usable file name"));
    if (setup.frameSize.width() < 1 || setup.frameSize.height() < 1)
        return fail(QStringLiteral("No frame size"));
    if (setup.rateNum < 1 || setup.rateDen < 1)
        return fail(QStringLiteral("No frame rate"));
    const bool sound = setup.audioChannels > 0;
    if (sound
        && (setup.audioChannels > 2 || (setup.audioBits != 8 && setup.audioBits != 16)
            || setup.audioSampleRate < 1000 || setup.audioSampleRate > 192000))
        return fail(QStringLiteral("Unsupported sound format"));

    const QByteArray path = QFile::encodeName(setup.fileName);
    AVFormatContext* raw = nullptr;
    int err = avformat_alloc_output_context2(&raw, nullptr, "avi", path.constData());
    if (err < 0 || !raw)
        return fail(QStringLiteral("Cannot create the AVI muxer"), err);
    m_out.reset(raw);

    if (!openVideoEncoder()) {
        m_out.reset();
        return false;
    }
    m_video = avformat_new_stream(m_out.get(), nullptr);
    avcodec_parameters_from_context(m_video->codecpar, m_enc.get());
    m_video->time_base = m_enc->time_base;
    m_video->avg_frame_rate = m_enc->framerate;
    m_video->r_frame_rate = m_enc->framerate;

    m_audio = nullptr;
    if (sound) {
        m_audio = avformat_new_stream(m_out.get(), nullptr);
        AVCodecParameters* par = m_audio->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        // 8-bit PCM in a RIFF file is unsigned.
        par->codec_id = setup.audioBits == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
        par->sample_rate = setup.audioSampleRate;
        av_channel_layout_default(&par->ch_layout, setup.audioChannels);
        par->bits_per_coded_sample = setup.audioBits;
        par->block_align = setup.audioChannels * setup.audioBits / 8;
        par->bit_rate = int64_t(par->block_align) * 8 * setup.audioSampleRate;
        m_audio->time_base = AVRational{1, setup.audioSampleRate};
        m_blockAlign = par->block_align;
    }

    // The file is locked before anything is written to it: a second writer
    // (this program, lumivark-cli or the window) is refused here, and a repair
    // at another program's start leaves the file alone while it grows.
    bool created = false;
    int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        created = fd >= 0;
    }
    m_created = created;
    if (fd < 0) {
        const int why = errno;
        m_out.reset();
        m_enc.reset();
        return fail(QStringLiteral("Cannot write the file"), AVERROR(why));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        m_out.reset();
        m_enc.reset();
        const QString writer = AviRepair::writerOf(setup.fileName);
        return fail(QStringLiteral("%1 is being recorded by %2; choose another name")
                        .arg(setup.fileName, writer.isEmpty() ? QStringLiteral("another program") : writer));
    }
    m_syncFile.reset(fd);
    err = avio_open(&m_out->pb, path.constData(), AVIO_FLAG_WRITE);
    if (err < 0) {
        m_out->pb = nullptr;
        m_out.reset();
        m_enc.reset();
        m_syncFile.reset();
        if (created)
            QFile::remove(setup.fileName);
        return fail(QStringLiteral("Cannot write the file"), err);
    }
    av_dict_set(&m_out->metadata, "encoder", nullptr, 0);
    err = avformat_write_header(m_out.get(), nullptr);
    if (err < 0) {
        m_out.reset();
        m_enc.reset();
        m_syncFile.reset();
        if (created)
            QFile::remove(setup.fileName);
        return fail(QStringLiteral("Cannot write the AVI header"), err);
    }
    m_headerWritten = true;
    m_packet.reset(av_packet_alloc());
    // The header on disk at once: a crash in the first second still leaves a file to repair.
    avio_flush(m_out->pb);
    AviRepair::markUnfinished(m_setup.fileName, avio_tell(m_out->pb));
    m_lastFlushMs = m_lastSyncMs = nowMs();
    if (m_out->pb->error < 0) {
        fail(QStringLiteral("Cannot write to the file"), m_out->pb->error);
        const QString why = m_error;
        close();
        m_error = why;
        return false;
    }
    return true;
}

void AviWriter::SyncFile::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool AviWriter::flushIfDue()
{
    if (m_setup.flushIntervalMs <= 0)
        return true;
    const int64_t now = nowMs();
    if (now - m_lastFlushMs < m_setup.flushIntervalMs)
        return true;
    m_lastFlushMs = now;
    avio_flush(m_out->pb);
    if (m_out->pb->error < 0)
        return fail(QStringLiteral("Cannot write to the file"), m_out->pb->error);
    if (m_setup.syncIntervalMs > 0 && m_syncFile.get() >= 0 && now - m_lastSyncMs >= m_setup.syncIntervalMs) {
        m_lastSyncMs = now;
        ::fdatasync(m_syncFile.get());
        // The size on disk goes into the list, so a repair can tell this file from another of its name.
        struct stat st {};
        if (::fstat(m_syncFile.get(), &st) == 0)
            AviRepair::markUnfinished(m_setup.fileName, int64_t(st.st_size));
    }
    return true;
}

bool AviWriter::writePacket(AVPacket* pkt, AVStream* st, AVRational from)
{
    pkt->stream_index = st->index;
    av_packet_rescale_ts(pkt, from, st->time_base);
    const int err = av_interleaved_write_frame(m_out.get(), pkt);
    if (err < 0)
        return fail(QStringLiteral("Cannot write to the file"), err);
    return flushIfDue();
}

bool AviWriter::encodeFrame(AVFrame* frame)
{
    int err = avcodec_send_frame(m_enc.get(), frame);
    if (err < 0)
        return fail(QStringLiteral("The encoder refused a frame"), err);
    for (;;) {
        err = avcodec_receive_packet(m_enc.get(), m_packet.get());
        // EAGAIN: the encoder wants more input; EOF: it has been flushed.
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0)
            return fail(QStringLiteral("The encoder failed"), err);
        if (m_intraOnly) {
            if (!m_lastPacket)
                m_lastPacket.reset(av_packet_alloc());
            av_packet_unref(m_lastPacket.get());
            av_packet_ref(m_lastPacket.get(), m_packet.get());
        }
        if (!writePacket(m_packet.get(), m_video, m_enc->time_base))
            return false;
    }
}

bool AviWriter::convertImage(const QImage& source)
{
    const QImage image = source.format() == QImage::Format_RGB888
                             ? source
                             : source.convertToFormat(QImage::Format_RGB888);
    // swscale wants the plain YUV layout with a full-range flag instead of the J formats.
    AVPixelFormat target = m_enc->pix_fmt;
    bool fullRange = false;
    switch (target) {
    case AV_PIX_FMT_YUVJ420P: target = AV_PIX_FMT_YUV420P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ422P: target = AV_PIX_FMT_YUV422P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ444P: target = AV_PIX_FMT_YUV444P; fullRange = true; break;
    default: break;
    }
    SwsContext* before = m_sws;
    m_sws = sws_getCachedContext(m_sws, image.width(), image.height(), AV_PIX_FMT_RGB24,
                                 m_enc->width, m_enc->height, target, SWS_BILINEAR,
                                 nullptr, nullptr, nullptr);
    if (!m_sws)
        return fail(QStringLiteral("Cannot convert the picture"));
    if (m_sws != before && fullRange) {
        const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(m_sws, coeffs, 1, coeffs, 1, 0, 1 << 16, 1 << 16);
    }
    // The encoder may still hold the previous picture.
    if (av_frame_make_writable(m_frame.get()) < 0)
        return fail(QStringLiteral("Out of memory"));
    const uint8_t* src[1] = {image.constBits()};
    const int srcStride[1] = {int(image.bytesPerLine())};
    sws_scale(m_sws, src, srcStride, 0, image.height(), m_frame->data, m_frame->linesize);
    return true;
}

bool AviWriter::storeJpeg(const uint8_t* data, size_t size, int64_t index)
{
    if (size > size_t(INT32_MAX) || av_new_packet(m_packet.get(), int(size)) < 0)
        return fail(QStringLiteral("Out of memory"));
    std::memcpy(m_packet->data, data, size);
    m_packet->pts = m_packet->dts = index;
    m_packet->duration = 1;
    m_packet->flags |= AV_PKT_FLAG_KEY;
    if (!m_lastPacket)
        m_lastPacket.reset(av_packet_alloc());
    av_packet_unref(m_lastPacket.get());
    av_packet_ref(m_lastPacket.get(), m_packet.get());
    return writePacket(m_packet.get(), m_video, m_enc->time_base);
}

bool AviWriter::encodeConverted(int64_t index)
{
    m_frame->pts = index;
    // The fixed-quantiser encoders take the quality from each picture.
    m_frame->quality = m_enc->global_quality;
    return encodeFrame(m_frame.get());
}

bool AviWriter::writeVideo(const QImage& image, const QByteArray& jpeg, int64_t index)
{
    if (!m_out || m_closed)
        return fail(QStringLiteral("The file is not open"));
    if (index <= m_lastIndex)
        return true; // that position is taken already
    if (m_passthrough && !jpeg.isEmpty() && image.size() == m_setup.frameSize) {
        if (!storeJpeg(reinterpret_cast<const uint8_t*>(jpeg.constData()), size_t(jpeg.size()), index))
            return false;
    } else {
        if (image.isNull())
            return fail(QStringLiteral("Empty picture"));
        if (m_passthrough && image.size() == m_setup.frameSize) {
            // libjpeg-turbo turns RGB into a JPEG in one pass, without swscale's planes.
            if (!m_jpeg)
                m_jpeg = std::make_unique<JpegFrameEncoder>();
            const uint8_t* data = nullptr;
            size_t size = 0;
            if (!m_jpeg->encode(image, m_qscale, &data, &size))
                return fail(QStringLiteral("Cannot compress the picture: %1").arg(m_jpeg->errorText()));
            if (!storeJpeg(data, size, index))
                return false;
        } else if (!convertImage(image) || !encodeConverted(index)) {
            return false;
        }
    }
    m_lastIndex = index;
    m_videoFrames = index + 1;
    return true;
}

bool AviWriter::convertYuv(const YuvView& picture)
{
    AVPixelFormat source = AV_PIX_FMT_YUV420P;
    switch (picture.layout) {
    case YuvView::Layout::I420: source = AV_PIX_FMT_YUV420P; break;
    case YuvView::Layout::NV12: source = AV_PIX_FMT_NV12; break;
    case YuvView::Layout::YUYV: source = AV_PIX_FMT_YUYV422; break;
    }
    AVPixelFormat target = m_enc->pix_fmt;
    bool fullRange = false;
    switch (target) {
    case AV_PIX_FMT_YUVJ420P: target = AV_PIX_FMT_YUV420P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ422P: target = AV_PIX_FMT_YUV422P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ444P: target = AV_PIX_FMT_YUV444P; fullRange = true; break;
    default: break;
    }
    const int w = picture.size.width(), h = picture.size.height();
    SwsContext* before = m_yuvSws;
    m_yuvSws = sws_getCachedContext(m_yuvSws, w, h, source, m_enc->width, m_enc->height, target, SWS_BILINEAR,
                                    nullptr, nullptr, nullptr);
    if (!m_yuvSws)
        return fail(QStringLiteral("Cannot convert the picture"));
    if (m_yuvSws != before) {
        const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(m_yuvSws, coeffs, picture.fullRange ? 1 : 0, coeffs, fullRange ? 1 : 0, 0, 1 << 16,
                                 1 << 16);
    }
    if (av_frame_make_writable(m_frame.get()) < 0)
        return fail(QStringLiteral("Out of memory"));
    const int stride = picture.lumaStride();
    const uint8_t* planes[3] = {picture.data, nullptr, nullptr};
    int strides[3] = {stride, 0, 0};
    if (picture.layout == YuvView::Layout::NV12) {
        planes[1] = picture.data + size_t(stride) * size_t(h);
        strides[1] = stride;
    } else if (picture.layout == YuvView::Layout::I420) {
        const int cs = (stride + 1) / 2;
        planes[1] = picture.data + size_t(stride) * size_t(h);
        planes[2] = planes[1] + size_t(cs) * size_t((h + 1) / 2);
        strides[1] = strides[2] = cs;
    }
    sws_scale(m_yuvSws, planes, strides, 0, h, m_frame->data, m_frame->linesize);
    return true;
}

bool AviWriter::writeVideo(const YuvView& picture, int64_t index)
{
    if (!m_out || m_closed)
        return fail(QStringLiteral("The file is not open"));
    if (index <= m_lastIndex)
        return true;
    if (!picture.isValid())
        return fail(QStringLiteral("A damaged picture"));
    if (m_passthrough && picture.size == m_setup.frameSize) {
        if (!m_jpeg)
            m_jpeg = std::make_unique<JpegFrameEncoder>();
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (!m_jpeg->encode(picture, m_qscale, &data, &size))
            return fail(QStringLiteral("Cannot compress the picture: %1").arg(m_jpeg->errorText()));
        if (!storeJpeg(data, size, index))
            return false;
    } else if (!convertYuv(picture) || !encodeConverted(index)) {
        return false;
    }
    m_lastIndex = index;
    m_videoFrames = index + 1;
    return true;
}

bool AviWriter::repeatVideo(int64_t index)
{
    if (!m_out || m_closed)
        return fail(QStringLiteral("The file is not open"));
    if (index <= m_lastIndex)
        return true;
    if (m_lastIndex < 0)
        return fail(QStringLiteral("No picture to repeat"));
    if (m_intraOnly && m_lastPacket && m_lastPacket->size > 0) {
        // A key frame stands alone: the same bytes again cost no encoding.
        if (av_packet_ref(m_packet.get(), m_lastPacket.get()) < 0)
            return fail(QStringLiteral("Out of memory"));
        m_packet->pts = m_packet->dts = index;
        m_packet->duration = 1;
        if (!writePacket(m_packet.get(), m_video, m_enc->time_base))
            return false;
    } else {
        m_frame->pts = index;
        if (!encodeFrame(m_frame.get()))
            return false;
    }
    m_lastIndex = index;
    m_videoFrames = index + 1;
    return true;
}

bool AviWriter::writeAudio(const QByteArray& pcm)
{
    if (!m_out || m_closed || !m_audio)
        return fail(QStringLiteral("No sound stream"));
    QByteArray data = m_audioRemainder.isEmpty() ? pcm : m_audioRemainder + pcm;
    const int64_t frames = data.size() / m_blockAlign;
    const qsizetype used = qsizetype(frames) * m_blockAlign;
    m_audioRemainder = data.mid(used);
    if (frames == 0)
        return true;
    if (av_new_packet(m_packet.get(), int(used)) < 0)
        return fail(QStringLiteral("Out of memory"));
    std::memcpy(m_packet->data, data.constData(), size_t(used));
    m_packet->pts = m_packet->dts = m_audioSamples;
    m_packet->duration = frames;
    m_packet->flags |= AV_PKT_FLAG_KEY;
    m_audioSamples += frames;
    return writePacket(m_packet.get(), m_audio, AVRational{1, m_setup.audioSampleRate});
}

bool AviWriter::padAudio(int64_t sampleFrames)
{
    if (!m_audio)
        return true;
    const char silence = m_setup.audioBits == 8 ? char(0x80) : char(0);
    while (m_audioSamples < sampleFrames) {
        const int64_t n = std::min<int64_t>(sampleFrames - m_audioSamples, m_setup.audioSampleRate / 4 + 1);
        m_audioRemainder.clear();
        if (!writeAudio(QByteArray(qsizetype(n) * m_blockAlign, silence)))
            return false;
    }
    return true;
}

bool AviWriter::close()
{
    if (!m_out || m_closed)
        return true;
    m_closed = true;
    bool ok = true;
    if (m_headerWritten) {
        // Encoders with a delay hand out their last packets only when flushed.
        if (m_enc && m_lastIndex >= 0 && m_error.isEmpty())
            ok = encodeFrame(nullptr);
        const int err = av_write_trailer(m_out.get());
        if (err < 0)
            ok = fail(QStringLiteral("Cannot finish the file"), err);
        if (m_out->pb && m_out->pb->error < 0)
            ok = fail(QStringLiteral("Cannot write to the file"), m_out->pb->error);
    }
    const bool unfinished = m_headerWritten && !ok;
    const bool listed = m_headerWritten;
    m_headerWritten = false;
    m_out.reset();
    // Off the list while the lock still keeps the name ours.
    if (listed && !unfinished)
        AviRepair::markFinished(m_setup.fileName);
    m_syncFile.reset();
    // A write error left placeholder sizes and no index: mend the file so
    // everything written before the error stays playable.
    if (unfinished) {
        const AviRepair::Result mended = AviRepair::repair(m_setup.fileName);
        AviRepair::markFinished(m_setup.fileName);
        // Frames still in the muxer's buffer when the disk refused them are
        // not in the file: count what the repair found there.
        if (mended.before == AviRepair::State::Unfinished)
            m_videoFrames = mended.videoFrames;
        else if (mended.before == AviRepair::State::NotAvi)
            m_videoFrames = 0;
        // A file of ours that could take no frame (a disk full from the
        // start leaves it empty or a header alone) is not left behind.
        if (m_created && m_videoFrames == 0 && QFile::remove(m_setup.fileName))
            qCInfo(lcAviWriter).noquote() << "removed" << m_setup.fileName << "- nothing could be written to it";
    }
    m_enc.reset();
    m_frame.reset();
    m_lastPacket.reset();
    m_packet.reset();
    sws_freeContext(m_sws);
    m_sws = nullptr;
    sws_freeContext(m_yuvSws);
    m_yuvSws = nullptr;
    m_jpeg.reset();
    m_video = m_audio = nullptr;
    return ok;
}

} // namespace lv
