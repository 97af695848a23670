#pragma once

#include <QString>
#include <QStringList>

namespace lv {

// What the program's command line asks for. The whole text after the program
// name is the name of a capture parameters file; besides that the program
// knows only "--help" and "--version", as Linux programs do.
struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    QString parametersFile; // Run: the file to open at start (empty: none)
    QString output;         // Help, Version: text for standard output; Refuse: for standard error
    int exitCode = 0;       // for every action but Run
};

// args: the arguments after the program name. A text that names an existing
// file is always that file, even when it begins with "-". Otherwise "-h" or
// "--help" anywhere gives the help, "-v" or "--version" the version, and any
// other argument that begins with "-" is refused.
CommandLine parseCommandLine(const QStringList& args);

} // namespace lv
