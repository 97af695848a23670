#pragma once

#include "cli/cliargs.h"
#include "cli/cliparams.h"

#include <QImage>
#include <QString>

#include <optional>

// What every command shares: its lines on stdout and stderr, the progress
// line, and pictures written by their file name's ending. Main thread only.
namespace lv::cli {

// "lumivark-cli: text" on stderr.
void printError(const QString& text);
// text on stdout.
void printOut(const QString& text);

// A progress line, rewritten in place, only when a person watches.
class Progress {
public:
    Progress();
    ~Progress() { done(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    bool active() const { return m_tty; }
    void show(const QString& text);
    // Ends the line, so that what follows starts on its own.
    void done();

private:
    bool m_tty;
    bool m_shown = false;
};

enum class PictureType { Bmp, Jpeg };

// The picture type a name ends in; nullopt for any other ending.
std::optional<PictureType> pictureTypeOf(const QString& name);
// The same; UsageError when name ends otherwise.
PictureType requirePictureType(const Request& r, const QString& name);
// Writes picture as name; false (with the reason on stderr) when it cannot.
bool savePicture(const QImage& picture, const QString& name, PictureType type, int quality);
// The JPEG quality of the options, else of the parameters file.
int quality(const Request& r, const Settings& s);

} // namespace lv::cli
