#include "cli/ffmpeglog.h"

#include <QByteArray>
#include <QLoggingCategory>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>

Q_LOGGING_CATEGORY(lcFfmpeg, "lumivark.ffmpeg")

namespace lv::cli {

namespace {

void logLine(void* context, int level, const char* format, va_list args)
{
    if (level > AV_LOG_VERBOSE)
        return;
    const bool problem = level <= AV_LOG_WARNING;
    if (problem ? !lcFfmpeg().isInfoEnabled() : !lcFfmpeg().isDebugEnabled())
        return;
    // FFmpeg may write one line in pieces; the prefix ("[swscaler @ 0x…]")
    // goes before the first piece only. Each thread its own line.
    thread_local QByteArray line;
    thread_local int printPrefix = 1;
    char piece[1024];
    av_log_format_line2(context, level, format, args, piece, sizeof piece, &printPrefix);
    line += piece;
    if (!line.endsWith('\n'))
        return;
    line.chop(1);
    if (problem)
        qCInfo(lcFfmpeg).noquote() << QString::fromUtf8(line);
    else
        qCDebug(lcFfmpeg).noquote() << QString::fromUtf8(line);
    line.clear();
}

} // namespace

void routeFfmpegLog()
{
    av_log_set_callback(logLine);
}

} // namespace lv::cli
