#pragma once

#include <QString>

namespace lv {

// The per-user settings store: (application, section, key) -> text, kept as
// one INI file per application under $XDG_CONFIG_HOME/lumivark/ ("LV.ini",
// "VLUMIVARK.ini"). Reads never fail: a missing value gives the default.
// UI thread only.
namespace settings {

QString get(const QString& app, const QString& section, const QString& key, const QString& def = {});
void save(const QString& app, const QString& section, const QString& key, const QString& value);

// The folder holding the INI files (for tests and the README).
QString storeDirectory();

} // namespace settings
} // namespace lv
