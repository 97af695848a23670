#include "movie/whatcodec.h"

#include "base/dialogs.h"

namespace lv {

QString LookUpCodecName(const QString& code, const QString& cataloguePath, QWidget* parent)
{
    const CodecLookup found = lookUpCodec(cataloguePath, code);
    if (found.status == CodecLookup::Status::NoFile)
        dialogs().message(QStringLiteral("ERROR C100: Can't find CODEC Information file."), Dialogs::Icon::Error,
                          Dialogs::Buttons::Ok, {}, parent);
    else if (found.status == CodecLookup::Status::BadHeader)
        dialogs().message(QStringLiteral("ERROR C101: Error in Script Alpha."), Dialogs::Icon::Error,
                          Dialogs::Buttons::Ok, {}, parent);
    return found.text;
}

CodecAnswer answerWhatCodec(const QString& path, QWidget* parent)
{
    CodecAnswer answer;
    answer.check = checkMovieFile(path);
    QString codecName;
    if (answer.check.result == MovieCodecCheck::Result::Compressed)
        codecName = LookUpCodecName(answer.check.code.toUpper(), codecCatalogueFile(), parent);
    answer.text = movieCodecMessage(path, answer.check, codecName);
    answer.known = answer.check.result == MovieCodecCheck::Result::Compressed
        || answer.check.result == MovieCodecCheck::Result::Uncompressed
        || answer.check.result == MovieCodecCheck::Result::Named;
    return answer;
}

void whatCodec(QWidget* parent)
{
    const QString name = dialogs().openFile(QStringLiteral("Open AVI"),
                                            QStringLiteral("Movie Files (*.avi;*.mkv;*.mp4)|*.avi;*.mkv;*.mp4|"
                                                           "All Files (*.*)|*.*|"),
                                            {}, parent);
    if (name.isEmpty())
        return;
    const CodecAnswer answer = answerWhatCodec(name, parent);
    dialogs().message(answer.text, answer.known ? Dialogs::Icon::Information : Dialogs::Icon::Warning,
                      Dialogs::Buttons::Ok, {}, parent);
}

} // namespace lv
