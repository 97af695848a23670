#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

// Gives the application a fresh program directory, settings store and
// runtime folder of its own, so tests never see the user's files.
class AppTestEnv {
public:
    AppTestEnv()
    {
        qputenv("LUMIVARK_HOME", dir("home").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", dir("config").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir("run").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir("data").toLocal8Bit());
        qputenv("HOME", dir("user").toLocal8Bit());
    }
    QString dir(const char* name) const
    {
        const QString p = m_root.filePath(QString::fromLatin1(name));
        QDir().mkpath(p);
        QFile::setPermissions(p, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return p;
    }
    QString home() const { return dir("home") + QLatin1Char('/'); }

private:
    QTemporaryDir m_root;
};
