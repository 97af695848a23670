#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

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

// The six texts as MKV/MP4 metadata tags: subject -> title, artist, copyright,
// comments -> comment, product -> album, source -> description. Empty
// texts are left out.
std::vector<std::pair<QByteArray, QString>> movieInfoTags(const QString& copyright, const QString& artist,
                                                          const QString& subject, const QString& product,
                                                          const QString& source, const QString& comments);

// Writes the tags into a finished MKV or MP4 file by copying its streams into
// a new file beside it, which then takes its name; the file stays as it was
// when that fails (a full disk), and its recording form (fragments, clusters)
// is kept.
MovieInfoResult WriteMovieTags(const QString& path, const std::vector<std::pair<QByteArray, QString>>& tags);

} // namespace lv
