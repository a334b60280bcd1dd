#pragma once

#include "templates/templatefile.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace extract {
class modOdxAtributes;
}

namespace templates {

// Why a sample drawing could not be read: the reader's code (see
// dwg/error.h), the reason as a short lower-case phrase ("the drawing is
// damaged"), and whether the file is damaged rather than of a kind not read.
struct SampleReadFailure {
    std::uint16_t code = 0;
    QString reason;
    bool damaged = false;
};

// One checked row per distinct tag of the chosen space ("M" or "P") of the
// drawing, in the order the tags are first met, valued by the first attribute
// of each tag; the field name starts as the tag. A drawing that cannot be read
// gives no rows and, when `failure` is given, fills it; a readable drawing
// without that space or without attributes leaves it at code 0. The reading
// goes through `attributes`, the program's attribute module, whose
// DrawingAttributes it leaves filled.
QList<TemplateItem> importSampleAttributes(extract::modOdxAtributes& attributes, const QString& drawingPath,
                                           const QString& spaceCode, SampleReadFailure* failure = nullptr);

// The same through an attribute module of its own, for callers that keep none.
QList<TemplateItem> importSampleAttributes(const QString& drawingPath, const QString& spaceCode,
                                           SampleReadFailure* failure = nullptr);

}  // namespace templates
