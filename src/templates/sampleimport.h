#pragma once

#include "templates/templatefile.h"

#include <QList>
#include <QString>

namespace templates {

// One checked row per distinct tag of the chosen space ("M" or "P") of the
// drawing, in the order the tags are first met, valued by the first attribute
// of each tag; the field name starts as the tag. A drawing that cannot be read
// gives no rows.
QList<TemplateItem> importSampleAttributes(const QString& drawingPath, const QString& spaceCode);

} // namespace templates
