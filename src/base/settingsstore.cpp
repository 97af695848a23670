#include "base/settingsstore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace lv::settings {

QString storeDirectory()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/lumivark");
}

namespace {
QString fileOf(const QString& app) { return storeDirectory() + QLatin1Char('/') + app + QStringLiteral(".ini"); }
} // namespace

QString get(const QString& app, const QString& section, const QString& key, const QString& def)
{
    QSettings s(fileOf(app), QSettings::IniFormat);
    const QVariant v = s.value(section + QLatin1Char('/') + key);
    return v.isValid() ? v.toString() : def;
}

void save(const QString& app, const QString& section, const QString& key, const QString& value)
{
    QDir().mkpath(storeDirectory());
    QSettings s(fileOf(app), QSettings::IniFormat);
    s.setValue(section + QLatin1Char('/') + key, value);
    s.sync();
}

QMap<QString, QString> section(const QString& app, const QString& section)
{
    QSettings s(fileOf(app), QSettings::IniFormat);
    s.beginGroup(section);
    QMap<QString, QString> out;
    for (const QString& key : s.childKeys())
        out.insert(key, s.value(key).toString());
    return out;
}

void saveSection(const QString& app, const QString& section, const QMap<QString, QString>& values)
{
    QDir().mkpath(storeDirectory());
    QSettings s(fileOf(app), QSettings::IniFormat);
    s.remove(section);
    s.beginGroup(section);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        s.setValue(it.key(), it.value());
    s.endGroup();
    s.sync();
}

} // namespace lv::settings
