#pragma once

#include <QString>

namespace lv {

// The per-user program directory (session files, codec list):
// $LUMIVARK_HOME when set, else $XDG_DATA_HOME/lumivark/. Made when missing.
// Always ends in "/".
QString programDirectory();

// Appends "/" unless the path already ends with one.
QString withTrailingSlash(const QString& path);

// The folder of the files shipped with the program: <bindir>/../share/lumivark
// when installed, the source tree's data/ for a program still in its build
// tree. Ends in "/"; empty when there is none.
QString dataDirectory();

// A file shipped with the program (camera.wav, lmvkua.iva, help): looked up in
// the program directory first, then in the installed data directory. Empty
// when found nowhere.
QString findDataFile(const QString& name);

// The user's default folder for movies (Videos, else home), ending in "/".
QString defaultMovieFolder();

} // namespace lv
