#pragma once

#include <QString>
#include <cstdint>

namespace lv {

// What WriteMovieInfo did; the caller shows `error` in its status label.
struct MovieInfoResult {
    bool written = false;
    QString error;          // empty when written
    int64_t chunkBytes = 0; // bytes appended, header and pad bytes included
};

// Appends a RIFF "LIST"/"INFO" chunk with the six movie information texts
// (and "INAM" = "Video Lumivark") to a finished AVI file and corrects the
// size of the RIFF chunk that now holds it. Sub-chunks of odd size get the
// RIFF pad byte, so readers walk every text. In a file of several RIFF chunks
// (OpenDML, past 1 GiB) the chunk goes into the last one. A file that is not
// RIFF, cannot be opened, or whose RIFF size would pass 4 GiB is left as it was.
MovieInfoResult WriteMovieInfo(const QString& path, const QString& copyright, const QString& artist,
                               const QString& subject, const QString& product, const QString& source,
                               const QString& comments);

// The chunk itself, "LIST" header included (exposed for tests and tools).
QByteArray movieInfoChunk(const QString& copyright, const QString& artist, const QString& subject,
                          const QString& product, const QString& source, const QString& comments);

} // namespace lv
