#pragma once

#include "templates/templatefile.h"

#include <QList>
#include <QString>

namespace extract {
class modOdxAtributes;
}

namespace templates {

// One checked row per distinct tag of the chosen space ("M" or "P") of the
// drawing, in the order the tags are first met, valued by the first attribute
// of each tag; the field name starts as the tag. A drawing that cannot be read
// gives no rows. The reading goes through `attributes`, the program's
// attribute module, whose DrawingAttributes it leaves filled.
QList<TemplateItem> importSampleAttributes(extract::modOdxAtributes& attributes, const QString& drawingPath,
                                           const QString& spaceCode);

// The same through an attribute module of its own, for callers that keep none.
QList<TemplateItem> importSampleAttributes(const QString& drawingPath, const QString& spaceCode);

} // namespace templates
