#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace lv {

// Finishing an AVI whose writer never closed it (a crash, a power cut, a
// write error): the RIFF and movie lists still carry the placeholder sizes and
// there is no index. The packets are walked, a torn last chunk is cut off,
// the index is rebuilt and the sizes and frame counts are written, in place.
//
// A recording that went on past 1 GiB into OpenDML extension parts (AVIX)
// is mended as a whole: the open last part gets its sizes and its standard
// index, the master index an entry for it, and the header the counts of
// every part.
//
// A file being written holds an exclusive flock(2) for the whole recording
// (AviWriter takes it before it writes anything): the repair never touches
// such a file, and a second writer is refused.
struct AviRepair {
    enum class State {
        Finished,   // sizes and index in place: nothing to do
        Unfinished, // placeholder sizes or no index
        NotAvi,     // not an AVI this repair understands
        Missing,    // no such file
        Busy,       // being written right now (the writer holds its lock)
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
    // Repairs an unfinished file; a finished one, and one being written, are left alone.
    static Result repair(const QString& fileName);
    // One line for the status bar about what repair() did; empty when it did nothing.
    static QString statusText(const QString& fileName, const Result& r);

    // The list of files being written, kept in the program directory, so the
    // next start knows what a crash left behind. Each entry holds the file's
    // canonical path, its device and inode, its size at the last sync and
    // the writing process, so a later repair never takes another file of the
    // same name for it. Any thread, any number of processes.
    //
    // Adds the file (or, once listed, updates the size it reached).
    static void markUnfinished(const QString& fileName, int64_t syncedSize = -1);
    static void markFinished(const QString& fileName);
    // "lumivark-cli (process 4711)" when a writer holds the file's lock,
    // "another program" when the list does not say which; empty when nobody writes it.
    static QString writerOf(const QString& fileName);

    // Repairs every file a writer left unfinished and takes it off the list.
    // A file still being written stays listed and untouched (a line about it
    // only when reportBusy). One line per file that needed something.
    static QStringList repairLeftovers(bool reportBusy = false);
};

} // namespace lv
