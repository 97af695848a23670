#include "movie/movieinfo.h"

#include "movie/ffmpegptr.h"
#include "movie/videocodecs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstdio>
#include <unistd.h>

namespace lv {

namespace {

void putU32(QByteArray& out, uint32_t v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    out.append(b, 4);
}

void appendSubChunk(QByteArray& out, const char* id, const QString& text)
{
    QByteArray bytes = text.toLocal8Bit();
    // A text is stored up to its first zero byte; the size must match what is stored.
    if (const qsizetype z = bytes.indexOf('\0'); z >= 0)
        bytes.truncate(z);
    const uint32_t size = static_cast<uint32_t>(bytes.size()) + 1;
    out.append(id, 4);
    putU32(out, size);
    out.append(bytes);
    out.append('\0');
    if (size & 1)
        out.append('\0'); // RIFF pad byte, not counted in the size
}

QString why(const QFile& f) { return f.errorString(); }

} // namespace

QByteArray movieInfoChunk(const QString& copyright, const QString& artist, const QString& subject,
                          const QString& product, const QString& source, const QString& comments)
{
    QByteArray body("INFO");
    appendSubChunk(body, "ICOP", copyright);
    appendSubChunk(body, "IART", artist);
    appendSubChunk(body, "ICMT", comments);
    appendSubChunk(body, "INAM", QStringLiteral("Video Lumivark"));
    appendSubChunk(body, "IPRD", product);
    appendSubChunk(body, "ISBJ", subject);
    appendSubChunk(body, "ISRC", source);
    QByteArray chunk("LIST");
    putU32(chunk, static_cast<uint32_t>(body.size()));
    chunk.append(body);
    return chunk;
}

MovieInfoResult WriteMovieInfo(const QString& path, const QString& copyright, const QString& artist,
                               const QString& subject, const QString& product, const QString& source,
                               const QString& comments)
{
    MovieInfoResult r;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        r.error = QStringLiteral("Cannot write movie information: ") + why(f);
        return r;
    }
    const int64_t fileSize = f.size();

    // Find the last top-level RIFF chunk: the first is "AVI ", OpenDML adds "AVIX" ones.
    int64_t last = -1;
    int64_t pos = 0;
    while (pos + 12 <= fileSize) {
        char head[8];
        if (!f.seek(pos) || f.read(head, 8) != 8 || QByteArray::fromRawData(head, 4) != "RIFF")
            break;
        last = pos;
        const uint32_t size = qFromLittleEndian<quint32>(head + 4);
        pos += 8 + int64_t(size) + (size & 1);
    }
    if (last < 0) {
        r.error = QStringLiteral("Cannot write movie information: not a RIFF file");
        return r;
    }

    const QByteArray chunk = movieInfoChunk(copyright, artist, subject, product, source, comments);
    // Chunks start on even offsets; a file that ends on an odd byte gets a pad first.
    const int pad = (fileSize & 1) ? 1 : 0;
    const int64_t newEnd = fileSize + pad + chunk.size();
    const int64_t newRiffSize = newEnd - (last + 8);
    if (newRiffSize > int64_t(0xFFFFFFFFu)) {
        r.error = QStringLiteral("Movie information not written: the file's last RIFF chunk would pass 4 GB");
        return r;
    }
    if (!f.seek(fileSize)) {
        r.error = QStringLiteral("Cannot write movie information: ") + why(f);
        return r;
    }
    QByteArray out;
    if (pad)
        out.append('\0');
    out.append(chunk);
    if (f.write(out) != out.size() || !f.flush()) {
        const QString reason = why(f);
        // Leave the file as it was: a full disk must not leave half a chunk behind.
        f.resize(fileSize);
        r.error = QStringLiteral("Cannot write movie information: ") + reason;
        return r;
    }
    char sizeField[4];
    qToLittleEndian<quint32>(static_cast<quint32>(newRiffSize), sizeField);
    if (!f.seek(last + 4) || f.write(sizeField, 4) != 4 || !f.flush()) {
        const QString reason = why(f);
        f.resize(fileSize);
        r.error = QStringLiteral("Cannot write movie information: ") + reason;
        return r;
    }
    r.written = true;
    r.chunkBytes = pad + chunk.size();
    return r;
}

std::vector<std::pair<QByteArray, QString>> movieInfoTags(const QString& copyright, const QString& artist,
                                                          const QString& subject, const QString& product,
                                                          const QString& source, const QString& comments)
{
    std::vector<std::pair<QByteArray, QString>> tags;
    const std::pair<const char*, const QString*> all[] = {{"title", &subject},     {"artist", &artist},
                                                          {"copyright", &copyright}, {"comment", &comments},
                                                          {"album", &product},     {"description", &source}};
    for (const auto& [key, text] : all)
        if (!text->isEmpty())
            tags.emplace_back(QByteArray(key), *text);
    return tags;
}

MovieInfoResult WriteMovieTags(const QString& path, const std::vector<std::pair<QByteArray, QString>>& tags)
{
    MovieInfoResult r;
    auto failed = [&r](const QString& why) {
        r.error = QStringLiteral("Cannot write movie information: ") + why;
        return r;
    };
    const MovieContainer container = containerForFile(path);
    if (container == MovieContainer::Avi)
        return failed(QStringLiteral("not an MKV or MP4 file"));
    const QByteArray in = QFile::encodeName(path);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, in.constData(), nullptr, nullptr) < 0)
        return failed(QStringLiteral("cannot read ") + path);
    ff::InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return failed(QStringLiteral("cannot read the streams"));

    // The copy goes beside the file, so taking its name is a rename on one disk.
    const QFileInfo fi(path);
    const QString temp = fi.dir().filePath(QStringLiteral(".%1.tags-%2").arg(fi.fileName()).arg(getpid()));
    const QByteArray out = QFile::encodeName(temp);
    raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, muxerName(container), out.constData()) < 0 || !raw)
        return failed(QStringLiteral("no %1 muxer").arg(containerLabel(container)));
    ff::OutputPtr output(raw);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* st = avformat_new_stream(output.get(), nullptr);
        if (!st || avcodec_parameters_copy(st->codecpar, input->streams[i]->codecpar) < 0)
            return failed(QStringLiteral("out of memory"));
        st->codecpar->codec_tag = 0;
        st->time_base = input->streams[i]->time_base;
        st->avg_frame_rate = input->streams[i]->avg_frame_rate;
        st->r_frame_rate = input->streams[i]->r_frame_rate;
    }
    av_dict_copy(&output->metadata, input->metadata, 0);
    for (const auto& [key, value] : tags)
        av_dict_set(&output->metadata, key.constData(), value.isEmpty() ? nullptr : value.toUtf8().constData(), 0);
    av_dict_set(&output->metadata, "encoder", nullptr, 0);
    AVDictionary* opts = nullptr;
    if (container == MovieContainer::Mp4)
        av_dict_set(&opts, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    else
        av_dict_set_int(&opts, "cluster_time_limit", 1000, 0);
    int err = avio_open(&output->pb, out.constData(), AVIO_FLAG_WRITE);
    if (err >= 0)
        err = avformat_write_header(output.get(), &opts);
    av_dict_free(&opts);
    ff::PacketPtr pkt(av_packet_alloc());
    while (err >= 0 && pkt) {
        const int got = av_read_frame(input.get(), pkt.get());
        if (got < 0)
            break;
        const AVRational from = input->streams[pkt->stream_index]->time_base;
        av_packet_rescale_ts(pkt.get(), from, output->streams[pkt->stream_index]->time_base);
        pkt->pos = -1;
        err = av_interleaved_write_frame(output.get(), pkt.get());
    }
    if (err >= 0)
        err = av_write_trailer(output.get());
    if (err >= 0 && output->pb) {
        avio_flush(output->pb);
        err = output->pb->error;
    }
    output.reset(); // closes the copy
    if (err < 0) {
        QFile::remove(temp);
        char buf[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(err, buf, sizeof buf);
        return failed(err == AVERROR(ENOSPC) ? QStringLiteral("the disk is full") : QString::fromLocal8Bit(buf));
    }
    {
        QFile copy(temp);
        if (copy.open(QIODevice::ReadWrite)) {
            const int fd = copy.handle();
            if (fd >= 0)
                ::fdatasync(fd);
        }
    }
    QFile::setPermissions(temp, QFile::permissions(path));
    if (std::rename(out.constData(), in.constData()) != 0) {
        QFile::remove(temp);
        return failed(QStringLiteral("cannot replace ") + path);
    }
    r.written = true;
    return r;
}

} // namespace lv
