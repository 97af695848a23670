#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace lv {

// The driver list of the installed video compressors: FFmpeg's video
// encoders that have an AVI four-character code, as the lines
// "[drivers32]" and "VIDC.<code>=<library> (<encoder>)". Any thread.
QStringList ffmpegDriverList();

// One top node of the codecs window: the code, its readable name, and the
// detail lines ("Bits: ...", "Signature: ...", "File: ...") of every driver
// line with that code, in file order.
struct CompressorNode {
    QString code;
    QString name;
    QStringList details;
};

// Walks driver list items: "[DRIVERS]" sets the bit width to 16,
// "[DRIVERS32]" to 32 (both compared in capitals, the width empty before
// either); "VIDC" lines become nodes named by nameOf(code). A code seen
// again adds its details under its first node.
QList<CompressorNode> compressorTree(const QStringList& items,
                                     const std::function<QString(const QString&)>& nameOf);

} // namespace lv
