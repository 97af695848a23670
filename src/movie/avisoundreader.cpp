#include "movie/avisoundreader.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace lv {

void AviSoundReader::SwrFree::operator()(SwrContext* s) const
{
    swr_free(&s);
}

AviSoundReader::AviSoundReader() = default;

AviSoundReader::~AviSoundReader()
{
    close();
}

bool AviSoundReader::fail(const QString& what, int averror)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    if (averror)
        av_strerror(averror, buf, sizeof buf);
    m_error = averror ? what + QStringLiteral(": ") + QString::fromLocal8Bit(buf) : what;
    close();
    return false;
}

void AviSoundReader::close()
{
    m_swr.reset();
    m_decoder.reset();
    m_frame.reset();
    m_packet.reset();
    m_input.reset();
    m_stream = -1;
    m_pending.clear();
    m_ended = false;
    m_flushed = false;
}

bool AviSoundReader::open(const QString& fileName)
{
    close();
    m_error.clear();
    AVFormatContext* raw = nullptr;
    // As the movie reader: a file named .avi is read as AVI only, others as FFmpeg finds them.
    const bool avi = QFileInfo(fileName).suffix().toLower() == QLatin1String("avi");
    int r = avformat_open_input(&raw, QFile::encodeName(fileName).constData(),
                                avi ? av_find_input_format("avi") : nullptr, nullptr);
    if (r < 0)
        return fail(avi ? QStringLiteral("Not an AVI file") : QStringLiteral("Not a movie file"), r);
    m_input.reset(raw);
    if ((r = avformat_find_stream_info(m_input.get(), nullptr)) < 0)
        return fail(QStringLiteral("Cannot read the streams"), r);
    for (unsigned i = 0; i < m_input->nb_streams; ++i)
        if (m_input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            m_stream = int(i);
            break;
        }
    if (m_stream < 0)
        return fail(QStringLiteral("The file has no sound stream"));
    // Only this stream's packets are wanted.
    for (unsigned i = 0; i < m_input->nb_streams; ++i)
        if (int(i) != m_stream)
            m_input->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters* par = m_input->streams[m_stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        return fail(QStringLiteral("No decoder for this sound codec"));
    m_decoder.reset(avcodec_alloc_context3(codec));
    if (!m_decoder || avcodec_parameters_to_context(m_decoder.get(), par) < 0)
        return fail(QStringLiteral("Bad sound codec parameters"));
    m_decoder->pkt_timebase = m_input->streams[m_stream]->time_base;
    if ((r = avcodec_open2(m_decoder.get(), codec, nullptr)) < 0)
        return fail(QStringLiteral("Cannot open the sound decoder"), r);
    if (m_decoder->sample_rate <= 0 || m_decoder->sample_rate > 768000 || m_decoder->ch_layout.nb_channels <= 0)
        return fail(QStringLiteral("Unusable sound format"));

    m_rate = m_decoder->sample_rate;
    m_channels = std::min(m_decoder->ch_layout.nb_channels, 2);
    AVChannelLayout in{};
    if (m_decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, m_decoder->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&in, &m_decoder->ch_layout);
    AVChannelLayout out{};
    av_channel_layout_default(&out, m_channels);
    SwrContext* swr = nullptr;
    r = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, m_rate, &in, m_decoder->sample_fmt, m_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    m_swr.reset(swr);
    if (r < 0 || !m_swr || (r = swr_init(m_swr.get())) < 0)
        return fail(QStringLiteral("Cannot convert this sound"), r);
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_frame || !m_packet)
        return fail(QStringLiteral("Out of memory"));
    return true;
}

bool AviSoundReader::seekSeconds(double seconds)
{
    if (!isOpen())
        return false;
    const int64_t target = std::max<int64_t>(0, int64_t(seconds * m_rate + 0.5));
    const AVRational tb = m_input->streams[m_stream]->time_base;
    const int64_t ts = av_rescale_q(target, AVRational{1, m_rate}, tb);
    if (av_seek_frame(m_input.get(), m_stream, ts, AVSEEK_FLAG_BACKWARD) < 0
        && av_seek_frame(m_input.get(), m_stream, 0, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(m_decoder.get());
    swr_init(m_swr.get()); // drops what it held back
    m_pending.clear();
    m_target = target;
    m_skip = 0;
    m_ended = false;
    m_flushed = false;
    return true;
}

// Decodes one more frame of sound into m_pending. False at the end.
bool AviSoundReader::decodeMore()
{
    while (true) {
        int r = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (r == 0)
            break;
        if (r == AVERROR_EOF || (r != AVERROR(EAGAIN)))
            return false;
        if (m_flushed)
            return false;
        r = av_read_frame(m_input.get(), m_packet.get());
        if (r < 0) {
            m_flushed = true;
            avcodec_send_packet(m_decoder.get(), nullptr);
            continue;
        }
        if (m_packet->stream_index == m_stream)
            avcodec_send_packet(m_decoder.get(), m_packet.get()); // a damaged packet is passed over
        av_packet_unref(m_packet.get());
    }

    if (m_target >= 0) {
        // After a seek: drop what lies before the asked-for sample.
        const int64_t ts = m_frame->best_effort_timestamp;
        const int64_t at = ts == AV_NOPTS_VALUE
            ? m_target
            : av_rescale_q(ts, m_input->streams[m_stream]->time_base, AVRational{1, m_rate});
        m_skip = std::max<int64_t>(0, m_target - at);
        m_target = -1;
    }
    const int outFrames = swr_get_out_samples(m_swr.get(), m_frame->nb_samples);
    if (outFrames > 0) {
        const qsizetype before = m_pending.size();
        m_pending.resize(before + qsizetype(outFrames) * bytesPerFrame());
        auto* dst = reinterpret_cast<uint8_t*>(m_pending.data() + before);
        const int got = swr_convert(m_swr.get(), &dst, outFrames, const_cast<const uint8_t**>(m_frame->extended_data),
                                    m_frame->nb_samples);
        m_pending.resize(before + qsizetype(std::max(got, 0)) * bytesPerFrame());
    }
    av_frame_unref(m_frame.get());
    if (m_skip > 0) {
        const qsizetype drop = std::min<qsizetype>(m_pending.size(), qsizetype(m_skip) * bytesPerFrame());
        m_pending.remove(0, drop);
        m_skip -= drop / bytesPerFrame();
    }
    return true;
}

QByteArray AviSoundReader::read(int maxFrames)
{
    if (!isOpen() || maxFrames <= 0)
        return {};
    const qsizetype want = qsizetype(maxFrames) * bytesPerFrame();
    while (m_pending.size() < want && !m_ended)
        if (!decodeMore())
            m_ended = true;
    const QByteArray out = m_pending.left(want);
    m_pending.remove(0, out.size());
    return out;
}

} // namespace lv
