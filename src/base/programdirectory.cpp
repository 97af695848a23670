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

QString dataDirectory()
{
    // Installed: the data folder sits at a fixed place relative to the program,
    // so an installed tree can be moved (or laid out under DESTDIR) as a whole.
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QDir installed(exeDir + QStringLiteral("/" LUMIVARK_DATA_RELATIVE));
    if (installed.exists())
        return withTrailingSlash(installed.canonicalPath());
    // A program still in its build tree uses the data of the tree it was built from;
    // once installed elsewhere it never reaches back into the sources.
    const QString buildTree = withTrailingSlash(QStringLiteral(LUMIVARK_BUILD_TREE));
    if (withTrailingSlash(exeDir).startsWith(buildTree) && QFileInfo(QStringLiteral(LUMIVARK_BUILD_TREE_DATA)).isDir())
        return withTrailingSlash(QStringLiteral(LUMIVARK_BUILD_TREE_DATA));
    return {};
}

QString findDataFile(const QString& name)
{
    QStringList places = {programDirectory()};
    if (const QString shipped = dataDirectory(); !shipped.isEmpty())
        places << shipped;
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
