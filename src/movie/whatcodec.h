#pragma once

#include "movie/codeccatalogue.h"
#include "movie/moviecodeccheck.h"

#include <QString>

class QWidget;

// The codec questions of the video menu ("Video Codecs" names each code,
// "What Codec..." names a movie's) and of `lumivark-cli whatcodec`, without
// a window: their messages go through base/dialogs.h. The codecs window only
// shows the names. UI thread (the dialogs' thread) only.
namespace lv {

// Names code from the catalogue; a missing catalogue shows "ERROR C100", a
// wrong one "ERROR C101" (error messages) and gives "" or "Error".
QString LookUpCodecName(const QString& code, const QString& cataloguePath = codecCatalogueFile(),
                        QWidget* parent = nullptr);

// What a movie file is compressed with, as "What Codec..." says it.
struct CodecAnswer {
    MovieCodecCheck check;
    QString text; // the message (lines end in CR LF)
    bool known = false; // the check found what the movie holds (an information, not a warning)
};

// Checks path and names its codec from the shipped catalogue (whose
// failures show their messages, as LookUpCodecName does).
CodecAnswer answerWhatCodec(const QString& path, QWidget* parent = nullptr);

// The video menu's "What Codec...": asks for a movie file and says which
// codec its first stream uses.
void whatCodec(QWidget* parent);

} // namespace lv
