#include "platform/appfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

ApplicationFolders applicationFolders(const QString& programFolder)
{
    const QDir program(programFolder);
    const QString packageData = QDir::cleanPath(programFolder + QStringLiteral("/../share/quorvane"));
    const bool installed = program.dirName() == QStringLiteral("bin") && QFileInfo(packageData).isDir();
    if (!installed)
        return {programFolder + QStringLiteral("/Files"), programFolder + QStringLiteral("/Samples"), programFolder,
                false};
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())  // no home folder: the temporary folder keeps the program usable
        data = QDir::tempPath() + QStringLiteral("/quorvane");
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir())
        documents = QDir::homePath();
    return {data + QStringLiteral("/Files"), packageData + QStringLiteral("/Samples"), documents, true};
}

}  // namespace platform
