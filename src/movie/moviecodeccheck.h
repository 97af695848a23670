#pragma once

#include <QByteArray>
#include <QString>

namespace lv {

// The codec check of a movie file's header: in the first 200 bytes of an AVI
// file the first stream list and its header ("strlstrh") stand at byte 96 and
// the stream's handler code at bytes 112 to 115. Widget-free; any thread.
struct MovieCodecCheck {
    enum class Result {
        NotOpened,     // the file could not be opened or read
        NoHeader,      // no stream header where the check looks
        Uncompressed,  // handler code of four zero bytes
        Compressed,    // code holds the handler code
        // Not AVI, but a movie FFmpeg reads (MKV, MP4, ...): code holds its
        // video codec's name as FFmpeg gives it, container its file kind.
        Named,
    };
    Result result = Result::NotOpened;
    QString code; // the handler code as read (Latin-1), Compressed only
    QString container; // Named only
};

inline constexpr qsizetype kMovieHeaderBytes = 200;

// Checks the first bytes of a file (fewer than 200 are allowed: a short file
// has no header where the check looks).
MovieCodecCheck checkMovieHeader(const QByteArray& head);
// Reads the first 200 bytes of path and checks them; a file that is not
// RIFF AVI is asked of FFmpeg instead.
MovieCodecCheck checkMovieFile(const QString& path);

// The message the check shows for a file (name as the user chose it);
// codecName is the catalogue's name of the handler code in capitals.
QString movieCodecMessage(const QString& path, const MovieCodecCheck& check, const QString& codecName);

} // namespace lv
