#pragma once

#include <QMap>
#include <QString>

namespace lv {

// The per-user settings store: (application, section, key) -> text, kept as
// one INI file per application under $XDG_CONFIG_HOME/lumivark/ ("LV.ini",
// "VLUMIVARK.ini"). Reads never fail: a missing value gives the default.
// UI thread only.
namespace settings {

QString get(const QString& app, const QString& section, const QString& key, const QString& def = {});
void save(const QString& app, const QString& section, const QString& key, const QString& value);

// Every key of a section with its value; empty when the section is missing.
QMap<QString, QString> section(const QString& app, const QString& section);
// Replaces a whole section by these keys and values.
void saveSection(const QString& app, const QString& section, const QMap<QString, QString>& values);

// The folder holding the INI files (for tests and the README).
QString storeDirectory();

} // namespace settings
} // namespace lv
