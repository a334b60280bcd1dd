#include "templates/templatestore.h"

#include "platform/appfolders.h"

#include <QDir>
#include <QFileInfo>

namespace templates {

QString templateFolder(const QString& applicationFolder)
{
    return platform::applicationFolders(applicationFolder).files;
}

QString templatePath(const QString& applicationFolder, const QString& name)
{
    return templateFolder(applicationFolder) + u'/' + name;
}

TemplateStatus ensureTemplateFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return {};
    if (info.exists() || info.isSymLink())
        return {TemplateError::FolderNotCreated, QStringLiteral("A file of that name is in the way.")};
    if (!QDir().mkpath(folder))
        return {TemplateError::FolderNotCreated, QString()};
    return {};
}

QStringList templateNames(const QString& folder)
{
    const QDir dir(folder);
    return dir.entryList({QStringLiteral("*.xat")}, QDir::Files,
                         QDir::Name | QDir::IgnoreCase);
}

} // namespace templates
