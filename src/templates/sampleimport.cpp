#include "templates/sampleimport.h"

#include "extract/modOdxAtributes.h"

#include <filesystem>

namespace templates {

QList<TemplateItem> importSampleAttributes(extract::modOdxAtributes& attributes, const QString& drawingPath,
                                           const QString& spaceCode)
{
    attributes.ReadDrawingAttributes(std::filesystem::path(drawingPath.toStdU16String()), spaceCode.toStdString());
    QList<TemplateItem> rows;
    rows.reserve(static_cast<qsizetype>(attributes.DrawingAttributes.size()));
    for (const auto& record : attributes.DrawingAttributes) {
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

QList<TemplateItem> importSampleAttributes(const QString& drawingPath, const QString& spaceCode)
{
    extract::modOdxAtributes attributes;
    return importSampleAttributes(attributes, drawingPath, spaceCode);
}

} // namespace templates
