#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace lv {

// Finishing an AVI whose writer never closed it (a crash, a power cut, a
// write error): the RIFF and movie list still carry the placeholder sizes and
// there is no index. The packets are walked, a torn last chunk is cut off,
// the index is rebuilt and the sizes and frame counts are written, in place.
//
// Only the first RIFF part is mended; a file that went on into OpenDML
// extension parts keeps them as they are.
struct AviRepair {
    enum class State {
        Finished,   // sizes and index in place: nothing to do
        Unfinished, // placeholder sizes or no index
        NotAvi,     // not an AVI this repair understands
        Missing,    // no such file
    };

    struct Result {
        State before = State::Missing;
        bool repaired = false;
        bool indexed = false; // an index could be added (not when the disk refused it)
        int64_t videoFrames = 0;
        int64_t bytesCut = 0; // a torn chunk at the end
        QString error;        // why it could not be repaired
    };

    static State inspect(const QString& fileName);
    // Repairs an unfinished file; a finished one is left alone.
    static Result repair(const QString& fileName);
    // One line for the status bar about what repair() did.
    static QString statusText(const QString& fileName, const Result& r);

    // The list of files being written, kept in the program directory, so the
    // next start knows what a crash left behind. Any thread.
    static void markUnfinished(const QString& fileName);
    static void markFinished(const QString& fileName);
    // Repairs every file a writer left unfinished and empties the list; one
    // status line per file that needed it.
    static QStringList repairLeftovers();
};

} // namespace lv
