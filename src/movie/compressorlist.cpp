#include "movie/compressorlist.h"

#include <dlfcn.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QFileInfo>

namespace lv {

namespace {

// The file libavcodec was loaded from, as a driver list names a driver file.
QString avcodecLibraryName()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&avcodec_version), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).fileName();
    return QStringLiteral("libavcodec.so.%1").arg(LIBAVCODEC_VERSION_MAJOR);
}

QString fourCC(unsigned tag)
{
    QString s;
    for (int i = 0; i < 4; ++i)
        s += QChar(static_cast<char16_t>((tag >> (8 * i)) & 0xff));
    return s;
}

} // namespace

QStringList ffmpegDriverList()
{
    QStringList lines{QStringLiteral("[drivers32]")};
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    const QString library = avcodecLibraryName();
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (!av_codec_is_encoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO)
            continue;
        const unsigned tag = av_codec_get_tag(tables, codec->id);
        if (tag == 0)
            continue; // AVI keeps it without a code (raw frames) or not at all
        lines << QStringLiteral("VIDC.%1=%2 (%3)")
                     .arg(fourCC(tag), library, QString::fromLatin1(codec->name));
    }
    return lines;
}

QList<CompressorNode> compressorTree(const QStringList& items,
                                     const std::function<QString(const QString&)>& nameOf)
{
    QList<CompressorNode> nodes;
    QString bits;
    for (const QString& item : items) {
        const QString upper = item.toUpper();
        if (upper.startsWith(QLatin1String("[DRIVERS]"))) {
            bits = QStringLiteral("16");
        } else if (upper.startsWith(QLatin1String("[DRIVERS32]"))) {
            bits = QStringLiteral("32");
        } else if (upper.startsWith(QLatin1String("VIDC"))) {
            const QString code = item.mid(5, 4);
            const QString file = item.mid(10);
            const QStringList details{QStringLiteral("Bits: ") + bits + QStringLiteral(" bits"),
                                      QStringLiteral("Signature: ") + code, QStringLiteral("File: ") + file};
            auto same = std::find_if(nodes.begin(), nodes.end(),
                                     [&](const CompressorNode& n) { return n.code == code; });
            // The name is looked up for every line, as each line is one driver.
            const QString name = nameOf(code);
            if (same != nodes.end())
                same->details += details;
            else
                nodes.append({code, name, details});
        }
    }
    return nodes;
}

} // namespace lv
