#pragma once

// The template folder "Files": beside the program file, or in the user's data
// folder for an installed program (platform/appfolders.h). File lists share it.

#include "templates/templatefile.h"

#include <QString>
#include <QStringList>

namespace templates {

// applicationFolder has no trailing separator.
QString templateFolder(const QString& applicationFolder);

// The path of a template listed by templateNames().
QString templatePath(const QString& applicationFolder, const QString& name);

// Creates the folder when nothing of that name exists. A file in its place, or
// a folder that cannot be made, gives FolderNotCreated.
TemplateStatus ensureTemplateFolder(const QString& folder);

// Names (with extension, without folder) of the normal files matching
// "*.xat", letter case ignored as Windows does, sorted by name.
QStringList templateNames(const QString& folder);

} // namespace templates
