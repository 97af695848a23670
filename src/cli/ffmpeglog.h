#pragma once

namespace lv::cli {

// Sends FFmpeg's own log lines (a decoder's complaint, a scaler's note)
// into the category "lumivark.ffmpeg" instead of straight to stderr, where
// they would mix with the program's messages. Its warnings and errors come
// at info level, its notes at debug level, so both stay quiet unless asked
// for (QT_LOGGING_RULES="lumivark.ffmpeg=true"); FFmpeg's debugging chatter
// is dropped. Call once, before any FFmpeg work.
void routeFfmpegLog();

} // namespace lv::cli
