#pragma once

#include "base/fileresult.h"
#include "settings/capturesettings.h"

#include <QByteArray>
#include <QString>

namespace lv {

class ParameterTarget;

// The capture parameters file: comment lines and "key=value" lines, CR LF,
// Latin-1. The same format serves a user's ".lvp" file, the last-session file
// and the device file (which leaves out "Advanced Settings" both ways).

// The whole file for these settings, dated with lv::clock().
QByteArray parameterFileBytes(const CaptureSettings& settings, ParameterFileKind kind);

// Creates or replaces the file. The old file stays intact unless the new one
// was written completely. A file that holds an FTP password is readable by
// its owner only. A failure (nothing written) carries the reason.
FileResult WriteParameters(const QString& path, const CaptureSettings& settings, ParameterFileKind kind);
FileResult WriteParameters(const QString& path, const ParameterTarget& target, ParameterFileKind kind);

// Applies the file to the target key by key, in the order of the file's
// blocks; a missing file or key applies the defaults. A file name or FTP
// field with a control character, or a file name past kMaxPathBytes, is
// refused (read as missing); the text returned then says which, for the
// status line. Empty when nothing was refused.
QString ReadParameters(const QString& path, ParameterTarget& target, ParameterFileKind kind);

// The longest file name accepted, in bytes as the system sees it.
inline constexpr qsizetype kMaxPathBytes = 4096;

// The last-session file "lvsr.lv2" and the device file "lvsr.lv3" in the
// program directory.
QString lastSessionFilePath();
QString deviceFilePath();

// The capture file name a file without "Filename" gives: lumivark.avi in the
// user's movie folder.
QString defaultCaptureFileName();

// "Frame Rate" as written: shortest decimal form with up to four decimals
// (12, 29.97). Empty for a value that cannot be written.
QString frameRateText(double fps);

} // namespace lv
