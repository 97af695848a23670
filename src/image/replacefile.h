#pragma once

#include <QByteArrayView>
#include <QString>

#include <initializer_list>

namespace lv {

// Writes the pieces one after another to "<fileName>.part" and renames that
// over fileName, so a failed write never leaves half a file where the last
// good one was. No sync to disk: pictures are written at series rates.
// False on any file error; the ".part" file is removed then.
bool writeFileReplacing(const QString& fileName, std::initializer_list<QByteArrayView> pieces,
                        QString* error = nullptr);

} // namespace lv
