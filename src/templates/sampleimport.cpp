#include "templates/sampleimport.h"

#include "extract/modOdxAtributes.h"

#include <filesystem>

namespace templates {

QList<TemplateItem> importSampleAttributes(const QString& drawingPath, const QString& spaceCode)
{
    namespace attrs = extract::modOdxAtributes;
    attrs::ReadDrawingAttributes(std::filesystem::path(drawingPath.toStdU16String()),
                                 spaceCode.toStdString());
    QList<TemplateItem> rows;
    rows.reserve(static_cast<qsizetype>(attrs::DrawingAttributes.size()));
    for (const auto& record : attrs::DrawingAttributes) {
        TemplateItem item;
        item.Checked = true;
        item.Tag = QString::fromStdString(record.Tag);
        item.FieldName = item.Tag;
        item.SampleValue = QString::fromStdString(record.Value);
        item.SpaceCode = QString::fromStdString(record.SpaceCode);
        rows.append(std::move(item));
    }
    return rows;
}

} // namespace templates
