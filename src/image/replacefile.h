#pragma once

#include "base/fileresult.h"

#include <QByteArrayView>
#include <QString>

#include <initializer_list>

namespace lv {

// Writes the pieces one after another to "<fileName>.part" and renames that
// over fileName, so a failed write never leaves half a file where the last
// good one was. No sync to disk: pictures are written at series rates.
// A failure carries the system's reason; the ".part" file is removed then.
FileResult writeFileReplacing(const QString& fileName, std::initializer_list<QByteArrayView> pieces);

} // namespace lv
