#pragma once

#include <QString>

class QIODevice;

namespace lv {

// The codec catalogue "codec.lv": items separated by commas and line ends
// (read like a capture parameters file), each stored with every character
// one code higher. The first item must read kCodecCatalogueHeader; every
// further item is "CODE" + one separator + the codec's readable name.
// Widget-free; any thread.
inline constexpr char kCodecCatalogueHeader[] = "ORNEXA CODEC INFO 9091";

// Each character one code lower; the length is unchanged.
QString UnscrambleLine(const QString& text);
// The inverse, as the catalogue is written.
QString ScrambleLine(const QString& text);

struct CodecLookup {
    enum class Status {
        Found,     // text is the readable name
        Unknown,   // text is "Unknown CODEC (CODE)"
        NoFile,    // the catalogue could not be opened; text is empty
        BadHeader, // the first item is wrong; text is "Error"
    };
    Status status = Status::NoFile;
    QString text;
};

// Names code (compared in capitals) from the catalogue at path. Reports
// nothing itself: the caller shows the message that a status calls for.
CodecLookup lookUpCodec(const QString& cataloguePath, const QString& code);
CodecLookup lookUpCodec(QIODevice& catalogue, const QString& code);

// Where the catalogue is read from: the program directory first, then the
// installed data. Empty when found nowhere.
QString codecCatalogueFile();

} // namespace lv
