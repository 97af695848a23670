#include "base/programdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lv {

QString withTrailingSlash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString programDirectory()
{
    QString dir = qEnvironmentVariable("LUMIVARK_HOME");
    if (dir.isEmpty()) {
        QString data = qEnvironmentVariable("XDG_DATA_HOME");
        if (data.isEmpty())
            data = QDir::homePath() + QStringLiteral("/.local/share");
        dir = data + QStringLiteral("/lumivark");
    }
    QDir().mkpath(dir);
    return withTrailingSlash(dir);
}

QString findDataFile(const QString& name)
{
    const QStringList places = {
        programDirectory(),
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/lumivark/"),
        QStringLiteral(LUMIVARK_DATA_DIR "/"),
    };
    for (const QString& p : places) {
        const QFileInfo fi(p + name);
        if (fi.isFile())
            return fi.absoluteFilePath();
    }
    return {};
}

QString defaultMovieFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::homePath();
    return withTrailingSlash(dir);
}

} // namespace lv
