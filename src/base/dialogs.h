#pragma once

#include "base/fileresult.h"

#include <QColor>
#include <QString>
#include <optional>

class QWidget;

namespace lv {

// Message boxes and the file and colour dialogs, behind one interface so tests
// can script the answers. UI thread only.
class Dialogs {
public:
    using Icon = MessageIcon;
    enum class Buttons { Ok, YesNo, OkCancel, SaveDiscardCancel };
    enum class Answer { Ok, Yes, No, Cancel, Save, Discard };

    virtual ~Dialogs() = default;

    // caption empty = the program's title.
    virtual Answer message(const QString& text, Icon icon, Buttons buttons = Buttons::Ok,
                           const QString& caption = {}, QWidget* parent = nullptr) = 0;

    // filter uses the pipe form "Name (*.x)|*.x|Other|*.y;*.z|". An empty result means cancelled.
    virtual QString openFile(const QString& title, const QString& filter,
                             const QString& initialName = {}, QWidget* parent = nullptr) = 0;
    // A name typed without an extension comes back with the one of the
    // filter the user chose (see withFilterExtension).
    virtual QString saveFile(const QString& title, const QString& filter,
                             const QString& initialName = {}, QWidget* parent = nullptr) = 0;

    // Returns the chosen colour, or nothing when cancelled.
    virtual std::optional<QColor> chooseColor(const QColor& initial, QWidget* parent = nullptr) = 0;
};

// Turns "Name (*.x)|*.x|Other|*.y;*.z|" into Qt's "Name (*.x);;Other (*.y *.z)".
QString qtFilterFromPipeFilter(const QString& pipeFilter);

// The extension of the first pattern of filter number filterIndex in a pipe
// filter, without the dot ("bmp" for "*.bmp;*.dib"); empty when it names none ("*.*", "*").
QString filterExtension(const QString& pipeFilter, int filterIndex);

// name with "." and the extension of filter number filterIndex added when the
// file part of name has no extension; name unchanged otherwise.
QString withFilterExtension(const QString& name, const QString& pipeFilter, int filterIndex);

// The dialogs the program uses: those a test installs with setDialogs, else
// defaultDialogs(). Never null.
Dialogs& dialogs();
// The program's own dialogs: the window program installs the Qt ones at
// start-up (base/ui/qtdialogs.h); until then, and in programs without
// windows, a log of the messages that answers no and cancels every choice.
Dialogs& defaultDialogs();
void setDefaultDialogs(Dialogs* d); // nullptr: the log again
void setDialogs(Dialogs* d);        // nullptr restores defaultDialogs()

// Shows a failed file operation's message with its icon; nothing after
// success or for a failure without a message.
void showFailure(const FileResult& result, QWidget* parent = nullptr);

} // namespace lv
