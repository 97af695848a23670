#include "movie/containerwriter.h"

#include "movie/avirepair.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

Q_LOGGING_CATEGORY(lcContainerWriter, "lumivark.movie.container")

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

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A crash loses at most about this much: the fragment or cluster being filled.
constexpr int kFragmentMs = 500;

// Where the last whole piece of a cut file ends: for MP4 the last fragment
// whose samples (moof + mdat) are all there, for MKV the last whole element
// of the segment (clusters reach the file whole). -1 when the file is not laid
// out as this writer writes it.
int64_t wholeEnd(const QString& fileName, MovieContainer container)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const int64_t size = f.size();
    auto readAt = [&f](int64_t pos, int n) {
        return f.seek(pos) ? f.read(n) : QByteArray();
    };
    if (container == MovieContainer::Mp4) {
        int64_t pos = 0;
        int64_t good = 0;
        bool fragmentOpen = false; // a moof waits for its mdat
        while (pos + 8 <= size) {
            const QByteArray h = readAt(pos, 16);
            if (h.size() < 8)
                break;
            const auto* u = reinterpret_cast<const uint8_t*>(h.constData());
            uint64_t len = uint64_t(u[0]) << 24 | uint64_t(u[1]) << 16 | uint64_t(u[2]) << 8 | u[3];
            if (len == 1 && h.size() >= 16) {
                len = 0;
                for (int i = 8; i < 16; ++i)
                    len = len << 8 | u[i];
            }
            if (len < 8 || pos + int64_t(len) > size)
                break;
            const QByteArray type = h.mid(4, 4);
            pos += int64_t(len);
            if (type == "moof") {
                fragmentOpen = true;
                continue;
            }
            if (type == "mdat")
                fragmentOpen = false;
            if (!fragmentOpen)
                good = pos;
        }
        return good;
    }
    // EBML: an ID of 1-4 bytes and a size of 1-8 bytes, both by their leading bits.
    auto vint = [&](int64_t pos, int* width, bool keepMarker) -> uint64_t {
        const QByteArray b = readAt(pos, 8);
        if (b.isEmpty())
            return *width = 0;
        const auto first = uint8_t(b[0]);
        int w = 1;
        while (w <= 8 && !(first & (0x80 >> (w - 1))))
            ++w;
        if (w > 8 || b.size() < w)
            return *width = 0;
        uint64_t v = keepMarker ? first : (first & (0xFF >> w));
        for (int i = 1; i < w; ++i)
            v = v << 8 | uint8_t(b[i]);
        *width = w;
        return v;
    };
    int idW = 0, sizeW = 0;
    int64_t pos = 0;
    // The EBML header, then the segment, whose children are walked.
    vint(pos, &idW, true);
    const uint64_t headLen = vint(pos + idW, &sizeW, false);
    if (!idW || !sizeW)
        return -1;
    pos += idW + sizeW + int64_t(headLen);
    const uint64_t segmentId = vint(pos, &idW, true);
    vint(pos + idW, &sizeW, false);
    if (segmentId != 0x18538067 || !sizeW)
        return -1;
    pos += idW + sizeW;
    int64_t good = pos;
    while (pos < size) {
        vint(pos, &idW, true);
        if (!idW)
            break;
        const uint64_t len = vint(pos + idW, &sizeW, false);
        if (!sizeW || len == (uint64_t(1) << (7 * sizeW)) - 1) // an element of unknown size
            break;
        const int64_t end = pos + idW + sizeW + int64_t(len);
        if (end > size || end <= pos)
            break;
        good = pos = end;
    }
    return good;
}

// The video packets a demuxer reads whole from a file cut short.
int64_t framesReadable(const QString& fileName)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(fileName).constData(), nullptr, nullptr) < 0)
        return 0;
    ff::InputPtr in(raw);
    if (avformat_find_stream_info(in.get(), nullptr) < 0)
        return 0;
    const int video = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0)
        return 0;
    ff::PacketPtr pkt(av_packet_alloc());
    int64_t n = 0;
    while (pkt && av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == video && !(pkt->flags & AV_PKT_FLAG_CORRUPT))
            ++n;
        av_packet_unref(pkt.get());
    }
    return n;
}

} // namespace

const char* ContainerWriter::x264PresetFor(int width, int height, double fps)
{
    const double rate = double(width) * height * std::max(1.0, fps);
    if (rate <= 640.0 * 480 * 30)
        return "veryfast";
    if (rate <= 1280.0 * 720 * 30)
        return "superfast";
    return "ultrafast";
}

int ContainerWriter::crfForQuality(int quality)
{
    return std::clamp(53 - int(std::lround(std::clamp(quality, 1, 100) * 0.4)), 0, 51);
}

ContainerWriter::ContainerWriter() = default;

ContainerWriter::~ContainerWriter()
{
    close();
}

bool ContainerWriter::fail(const QString& what, int averror)
{
    m_error = averror ? what + QStringLiteral(": ") + avErrorText(averror) : what;
    qCWarning(lcContainerWriter).noquote() << m_setup.fileName << m_error;
    return false;
}

bool ContainerWriter::openVideoEncoder(const AVOutputFormat* muxer)
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
    // A key frame a second: the fragments and clusters close on them.
    enc->gop_size = std::max(1, int(std::lround(double(m_setup.rateNum) / m_setup.rateDen)));
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    if (codec->id == AV_CODEC_ID_MJPEG) {
        enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
        enc->color_range = AVCOL_RANGE_JPEG;
    } else if (codec->id == AV_CODEC_ID_RAWVIDEO) {
        enc->pix_fmt = AV_PIX_FMT_BGR24;
    } else if (codec->pix_fmts) {
        bool has420 = false;
        for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
            has420 = has420 || *p == AV_PIX_FMT_YUV420P;
        if (!has420)
            enc->pix_fmt = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_RGB24, 0, nullptr);
    }
    AVDictionary* opts = nullptr;
    if (codec->id == AV_CODEC_ID_H264) {
        av_dict_set(&opts, "preset",
                    x264PresetFor(enc->width, enc->height, double(m_setup.rateNum) / m_setup.rateDen), 0);
        av_dict_set_int(&opts, "crf", crfForQuality(m_setup.quality), 0);
    } else if (codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_MPEG4) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = FF_QP2LAMBDA * qscaleForQuality(m_setup.quality);
    }
    if (muxer->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int err = avcodec_open2(enc, codec, &opts);
    av_dict_free(&opts);
    if (err < 0)
        return fail(QStringLiteral("Cannot open the %1 encoder").arg(m_setup.encoder), err);
    m_passthrough = codec->id == AV_CODEC_ID_MJPEG;
    m_frame.reset(av_frame_alloc());
    if (!m_frame)
        return fail(QStringLiteral("Out of memory"));
    m_frame->format = enc->pix_fmt;
    m_frame->width = enc->width;
    m_frame->height = enc->height;
    if (av_frame_get_buffer(m_frame.get(), 0) < 0)
        return fail(QStringLiteral("Out of memory"));
    return true;
}

bool ContainerWriter::openAudioEncoder()
{
    const int channels = m_setup.audioChannels;
    m_audio = avformat_new_stream(m_out.get(), nullptr);
    if (!m_audio)
        return fail(QStringLiteral("Out of memory"));
    m_audio->time_base = AVRational{1, m_setup.audioSampleRate};
    m_blockAlign = channels * m_setup.audioBits / 8;
    if (m_setup.audioEncoder == QLatin1String("pcm")) {
        // 16-bit PCM whatever came in: 8-bit sound is widened on the way.
        AVCodecParameters* par = m_audio->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_PCM_S16LE;
        par->sample_rate = m_setup.audioSampleRate;
        av_channel_layout_default(&par->ch_layout, channels);
        par->bits_per_coded_sample = 16;
        par->block_align = 2 * channels;
        par->bit_rate = int64_t(par->block_align) * 8 * m_setup.audioSampleRate;
        return true;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return fail(QStringLiteral("This FFmpeg has no AAC encoder"));
    m_audioEnc.reset(avcodec_alloc_context3(codec));
    if (!m_audioEnc)
        return fail(QStringLiteral("Out of memory"));
    AVCodecContext* enc = m_audioEnc.get();
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    enc->sample_rate = m_setup.audioSampleRate;
    av_channel_layout_default(&enc->ch_layout, channels);
    enc->bit_rate = 64000 * channels;
    enc->time_base = AVRational{1, m_setup.audioSampleRate};
    if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int err = avcodec_open2(enc, codec, nullptr);
    if (err < 0)
        return fail(QStringLiteral("Cannot open the AAC encoder"), err);
    avcodec_parameters_from_context(m_audio->codecpar, enc);
    m_audioFrame.reset(av_frame_alloc());
    if (!m_audioFrame)
        return fail(QStringLiteral("Out of memory"));
    m_pending.assign(size_t(channels), {});
    return true;
}

bool ContainerWriter::open(const Setup& setup)
{
    close();
    m_setup = setup;
    m_closed = false;
    m_error.clear();
    m_videoFrames = 0;
    m_lastIndex = -1;
    m_audioSamples = 0;
    m_audioEncoded = 0;
    m_audioRemainder.clear();
    m_container = containerForFile(setup.fileName);

    if (setup.fileName.isEmpty() || setup.fileName.contains(QChar(0)))
        return fail(QStringLiteral("Not a usable file name"));
    if (m_container == MovieContainer::Avi)
        return fail(QStringLiteral("Not an MKV or MP4 file name"));
    if (setup.frameSize.width() < 1 || setup.frameSize.height() < 1)
        return fail(QStringLiteral("No frame size"));
    if (setup.rateNum < 1 || setup.rateDen < 1)
        return fail(QStringLiteral("No frame rate"));
    const bool sound = setup.audioChannels > 0;
    if (sound
        && (setup.audioChannels > 2 || (setup.audioBits != 8 && setup.audioBits != 16)
            || setup.audioSampleRate < 1000 || setup.audioSampleRate > 192000))
        return fail(QStringLiteral("Unsupported sound format"));
    if (sound && setup.audioEncoder != QLatin1String("aac")
        && !(setup.audioEncoder == QLatin1String("pcm") && m_container == MovieContainer::Matroska))
        return fail(QStringLiteral("An %1 file cannot hold %2 sound; choose aac%3")
                        .arg(containerLabel(m_container), setup.audioEncoder,
                             m_container == MovieContainer::Matroska ? QStringLiteral(" or pcm") : QString()));
    const QString refusal = codecRefusal(m_container, setup.encoder);
    if (!refusal.isEmpty())
        return fail(refusal);

    const QByteArray path = QFile::encodeName(setup.fileName);
    AVFormatContext* raw = nullptr;
    int err = avformat_alloc_output_context2(&raw, nullptr, muxerName(m_container), path.constData());
    if (err < 0 || !raw)
        return fail(QStringLiteral("This FFmpeg cannot write %1 files").arg(containerLabel(m_container)), err);
    m_out.reset(raw);
    if (!openVideoEncoder(m_out->oformat)) {
        release();
        return false;
    }
    m_video = avformat_new_stream(m_out.get(), nullptr);
    if (!m_video) {
        release();
        return fail(QStringLiteral("Out of memory"));
    }
    avcodec_parameters_from_context(m_video->codecpar, m_enc.get());
    m_video->time_base = m_enc->time_base;
    m_video->avg_frame_rate = m_enc->framerate;
    m_video->r_frame_rate = m_enc->framerate;
    m_audio = nullptr;
    if (sound && !openAudioEncoder()) {
        release();
        return false;
    }
    for (const auto& [key, value] : setup.tags)
        if (!value.isEmpty())
            av_dict_set(&m_out->metadata, key.constData(), value.toUtf8().constData(), 0);

    // Locked before anything is written: a second writer of the same name is refused.
    bool created = false;
    int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        created = fd >= 0;
    }
    m_created = created;
    if (fd < 0) {
        const int why = errno;
        release();
        return fail(QStringLiteral("Cannot write the file"), AVERROR(why));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        release();
        const QString writer = AviRepair::writerOf(setup.fileName);
        return fail(QStringLiteral("%1 is being recorded by %2; choose another name")
                        .arg(setup.fileName, writer.isEmpty() ? QStringLiteral("another program") : writer));
    }
    m_lockFd = fd;
    err = avio_open(&m_out->pb, path.constData(), AVIO_FLAG_WRITE);
    AVDictionary* opts = nullptr;
    if (m_container == MovieContainer::Mp4) {
        // Fragmented: the movie header goes with the first fragment (late
        // enough to know the B-frame and AAC priming delays, which its edit
        // lists take off), and every fragment that closes (by time, key frame
        // or not) is a playable piece on its own.
        av_dict_set(&opts, "movflags", "empty_moov+delay_moov+default_base_moof", 0);
        av_dict_set_int(&opts, "frag_duration", int64_t(kFragmentMs) * 1000, 0);
    } else {
        av_dict_set_int(&opts, "cluster_time_limit", kFragmentMs, 0);
    }
    if (err >= 0) {
        av_dict_set(&m_out->metadata, "encoder", nullptr, 0);
        err = avformat_write_header(m_out.get(), &opts);
    }
    av_dict_free(&opts);
    if (err < 0) {
        release();
        if (created)
            QFile::remove(setup.fileName);
        return fail(QStringLiteral("Cannot write the file"), err);
    }
    m_headerWritten = true;
    m_packet.reset(av_packet_alloc());
    avio_flush(m_out->pb);
    m_lastFlushMs = m_lastSyncMs = nowMs();
    if (m_out->pb->error < 0 || !m_packet) {
        fail(QStringLiteral("Cannot write to the file"), m_out->pb->error);
        const QString why = m_error;
        m_headerWritten = false; // nothing of worth in it: no trailer
        release();
        if (created)
            QFile::remove(setup.fileName);
        m_error = why;
        return false;
    }
    qCInfo(lcContainerWriter).noquote() << "writing" << setup.fileName << containerLabel(m_container)
                                        << setup.encoder << (sound ? setup.audioEncoder : QStringLiteral("no sound"));
    return true;
}

bool ContainerWriter::flushIfDue()
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
    if (m_setup.syncIntervalMs > 0 && m_lockFd >= 0 && now - m_lastSyncMs >= m_setup.syncIntervalMs) {
        m_lastSyncMs = now;
        ::fdatasync(m_lockFd);
    }
    return true;
}

bool ContainerWriter::writePacket(AVPacket* pkt, AVStream* st, AVRational from)
{
    pkt->stream_index = st->index;
    av_packet_rescale_ts(pkt, from, st->time_base);
    const int64_t before = avio_tell(m_out->pb);
    const int err = av_interleaved_write_frame(m_out.get(), pkt);
    if (err < 0)
        return fail(QStringLiteral("Cannot write to the file"), err);
    // The muxers hand the file whole fragments and clusters only: one that
    // just closed goes to the disk at once, so a crash finds it there.
    if (m_setup.flushIntervalMs > 0 && avio_tell(m_out->pb) != before)
        avio_flush(m_out->pb);
    if (m_out->pb->error < 0)
        return fail(QStringLiteral("Cannot write to the file"), m_out->pb->error);
    return flushIfDue();
}

bool ContainerWriter::encodeVideo(AVFrame* frame)
{
    int err = avcodec_send_frame(m_enc.get(), frame);
    if (err < 0 && !(err == AVERROR_EOF && !frame))
        return fail(QStringLiteral("The encoder refused a frame"), err);
    for (;;) {
        err = avcodec_receive_packet(m_enc.get(), m_packet.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0)
            return fail(QStringLiteral("The encoder failed"), err);
        if (m_packet->duration <= 0)
            m_packet->duration = 1;
        if (!writePacket(m_packet.get(), m_video, m_enc->time_base))
            return false;
    }
}

bool ContainerWriter::convertImage(const QImage& source)
{
    const QImage image = source.format() == QImage::Format_RGB888 ? source
                                                                   : source.convertToFormat(QImage::Format_RGB888);
    AVPixelFormat target = m_enc->pix_fmt;
    const bool fullRange = target == AV_PIX_FMT_YUVJ420P;
    if (fullRange)
        target = AV_PIX_FMT_YUV420P;
    SwsContext* before = m_sws;
    m_sws = sws_getCachedContext(m_sws, image.width(), image.height(), AV_PIX_FMT_RGB24, m_enc->width, m_enc->height,
                                 target, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_sws)
        return fail(QStringLiteral("Cannot convert the picture"));
    if (m_sws != before && fullRange) {
        const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(m_sws, coeffs, 1, coeffs, 1, 0, 1 << 16, 1 << 16);
    }
    if (av_frame_make_writable(m_frame.get()) < 0)
        return fail(QStringLiteral("Out of memory"));
    const uint8_t* src[1] = {image.constBits()};
    const int srcStride[1] = {int(image.bytesPerLine())};
    sws_scale(m_sws, src, srcStride, 0, image.height(), m_frame->data, m_frame->linesize);
    return true;
}

bool ContainerWriter::writeVideo(const QImage& image, const QByteArray& jpeg, int64_t index)
{
    if (!m_out || m_closed)
        return fail(QStringLiteral("The file is not open"));
    if (index <= m_lastIndex)
        return true;
    if (m_passthrough && !jpeg.isEmpty() && image.size() == m_setup.frameSize) {
        if (av_new_packet(m_packet.get(), int(jpeg.size())) < 0)
            return fail(QStringLiteral("Out of memory"));
        std::memcpy(m_packet->data, jpeg.constData(), size_t(jpeg.size()));
        m_packet->pts = m_packet->dts = index;
        m_packet->duration = 1;
        m_packet->flags |= AV_PKT_FLAG_KEY;
        if (!m_lastPacket)
            m_lastPacket.reset(av_packet_alloc());
        av_packet_unref(m_lastPacket.get());
        av_packet_ref(m_lastPacket.get(), m_packet.get());
        if (!writePacket(m_packet.get(), m_video, m_enc->time_base))
            return false;
    } else {
        if (image.isNull())
            return fail(QStringLiteral("Empty picture"));
        if (!convertImage(image))
            return false;
        m_lastPacket.reset();
        m_frame->pts = index;
        m_frame->quality = m_enc->global_quality;
        if (!encodeVideo(m_frame.get()))
            return false;
    }
    m_lastIndex = index;
    m_videoFrames = index + 1;
    return true;
}

bool ContainerWriter::repeatVideo(int64_t index)
{
    if (!m_out || m_closed)
        return fail(QStringLiteral("The file is not open"));
    if (index <= m_lastIndex)
        return true;
    if (m_lastIndex < 0)
        return fail(QStringLiteral("No picture to repeat"));
    if (m_lastPacket && m_lastPacket->size > 0) {
        if (av_packet_ref(m_packet.get(), m_lastPacket.get()) < 0)
            return fail(QStringLiteral("Out of memory"));
        m_packet->pts = m_packet->dts = index;
        m_packet->duration = 1;
        if (!writePacket(m_packet.get(), m_video, m_enc->time_base))
            return false;
    } else {
        // The encoder may still hold the picture; a fresh pts on the same data is enough.
        if (av_frame_make_writable(m_frame.get()) < 0)
            return fail(QStringLiteral("Out of memory"));
        m_frame->pts = index;
        if (!encodeVideo(m_frame.get()))
            return false;
    }
    m_lastIndex = index;
    m_videoFrames = index + 1;
    return true;
}

bool ContainerWriter::encodeAudio(AVFrame* frame)
{
    int err = avcodec_send_frame(m_audioEnc.get(), frame);
    if (err < 0 && !(err == AVERROR_EOF && !frame))
        return fail(QStringLiteral("The sound encoder refused a frame"), err);
    for (;;) {
        err = avcodec_receive_packet(m_audioEnc.get(), m_packet.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0)
            return fail(QStringLiteral("The sound encoder failed"), err);
        if (!writePacket(m_packet.get(), m_audio, m_audioEnc->time_base))
            return false;
    }
}

// Hands whole AAC frames of the pending samples to the encoder; the last,
// shorter one only at the end.
bool ContainerWriter::sendAudio(bool last)
{
    AVCodecContext* enc = m_audioEnc.get();
    const int frameSize = enc->frame_size > 0 ? enc->frame_size : 1024;
    size_t offset = 0;
    const size_t have = m_pending.empty() ? 0 : m_pending[0].size();
    while (have - offset >= size_t(frameSize) || (last && have > offset)) {
        const int n = int(std::min<size_t>(size_t(frameSize), have - offset));
        AVFrame* f = m_audioFrame.get();
        av_frame_unref(f);
        f->format = enc->sample_fmt;
        f->nb_samples = n;
        f->sample_rate = enc->sample_rate;
        if (av_channel_layout_copy(&f->ch_layout, &enc->ch_layout) < 0 || av_frame_get_buffer(f, 0) < 0)
            return fail(QStringLiteral("Out of memory"));
        for (size_t c = 0; c < m_pending.size(); ++c)
            std::memcpy(f->data[c], m_pending[c].data() + offset, size_t(n) * sizeof(float));
        f->pts = m_audioEncoded;
        m_audioEncoded += n;
        offset += size_t(n);
        if (!encodeAudio(f))
            return false;
    }
    for (auto& ch : m_pending)
        ch.erase(ch.begin(), ch.begin() + std::ptrdiff_t(offset));
    return true;
}

bool ContainerWriter::writeAudio(const QByteArray& pcm)
{
    if (!m_out || m_closed || !m_audio)
        return fail(QStringLiteral("No sound stream"));
    const QByteArray data = m_audioRemainder.isEmpty() ? pcm : m_audioRemainder + pcm;
    const int64_t frames = data.size() / m_blockAlign;
    const qsizetype used = qsizetype(frames) * m_blockAlign;
    m_audioRemainder = data.mid(used);
    if (frames == 0)
        return true;
    const int channels = m_setup.audioChannels;
    const bool eight = m_setup.audioBits == 8;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    auto sampleAt = [&](int64_t i) -> int16_t {
        if (eight)
            return int16_t((int(bytes[i]) - 128) * 256);
        return int16_t(uint16_t(bytes[2 * i]) | uint16_t(bytes[2 * i + 1]) << 8);
    };
    m_audioSamples += frames;
    if (!m_audioEnc) {
        if (av_new_packet(m_packet.get(), int(frames * 2 * channels)) < 0)
            return fail(QStringLiteral("Out of memory"));
        uint8_t* out = m_packet->data;
        for (int64_t i = 0; i < frames * channels; ++i) {
            const uint16_t v = uint16_t(sampleAt(i));
            out[2 * i] = uint8_t(v);
            out[2 * i + 1] = uint8_t(v >> 8);
        }
        m_packet->pts = m_packet->dts = m_audioEncoded;
        m_packet->duration = frames;
        m_packet->flags |= AV_PKT_FLAG_KEY;
        m_audioEncoded += frames;
        return writePacket(m_packet.get(), m_audio, AVRational{1, m_setup.audioSampleRate});
    }
    for (int c = 0; c < channels; ++c) {
        auto& ch = m_pending[size_t(c)];
        ch.reserve(ch.size() + size_t(frames));
        for (int64_t i = 0; i < frames; ++i)
            ch.push_back(float(sampleAt(i * channels + c)) / 32768.0f);
    }
    return sendAudio(false);
}

bool ContainerWriter::padAudio(int64_t sampleFrames)
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

void ContainerWriter::release()
{
    m_out.reset();
    m_enc.reset();
    m_audioEnc.reset();
    m_frame.reset();
    m_audioFrame.reset();
    m_packet.reset();
    m_lastPacket.reset();
    sws_freeContext(m_sws);
    m_sws = nullptr;
    m_video = m_audio = nullptr;
    m_pending.clear();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

bool ContainerWriter::close()
{
    if (!m_out || m_closed)
        return true;
    m_closed = true;
    bool ok = m_error.isEmpty();
    if (m_headerWritten && ok) {
        if (m_lastIndex >= 0)
            ok = encodeVideo(nullptr);
        if (ok && m_audioEnc)
            ok = sendAudio(true) && encodeAudio(nullptr);
        // After a write error the trailer is left out: the file stays as a
        // crash would leave it, playable to its last whole fragment, and
        // never stamped with a length it does not hold.
        if (ok) {
            const int err = av_write_trailer(m_out.get());
            if (err < 0)
                ok = fail(QStringLiteral("Cannot finish the file"), err);
        }
        if (m_out->pb) {
            avio_flush(m_out->pb);
            if (m_out->pb->error < 0 && ok)
                ok = fail(QStringLiteral("Cannot write to the file"), m_out->pb->error);
        }
        if (ok && m_lockFd >= 0 && ::fdatasync(m_lockFd) != 0 && errno != EINVAL)
            ok = fail(QStringLiteral("Cannot write to the file"), AVERROR(errno));
    }
    const bool cut = m_headerWritten && !ok;
    m_headerWritten = false;
    release();
    if (cut) {
        // A piece torn by the refusal goes: the file ends with its last whole
        // fragment or cluster, as a player reads it cleanly to the end.
        const int64_t whole = wholeEnd(m_setup.fileName, m_container);
        if (whole >= 0 && whole < QFileInfo(m_setup.fileName).size() && !QFile::resize(m_setup.fileName, whole))
            qCWarning(lcContainerWriter).noquote() << "cannot cut" << m_setup.fileName << "to its whole part";
        // What the disk refused is not in the file: count what a player finds there.
        m_videoFrames = framesReadable(m_setup.fileName);
        if (m_created && m_videoFrames == 0 && QFile::remove(m_setup.fileName))
            qCInfo(lcContainerWriter).noquote() << "removed" << m_setup.fileName << "- nothing could be written to it";
    }
    return ok;
}

bool MovieWriter::open(const Setup& setup)
{
    m_avi.close();
    m_container.close();
    m_setup = setup;
    m_modern = containerForFile(setup.fileName) != MovieContainer::Avi;
    return m_modern ? m_container.open(setup) : m_avi.open(setup);
}

} // namespace lv
