#include "templates/sampleimport.h"

#include "dwg/error.h"
#include "extract/modOdxAtributes.h"

#include <filesystem>

namespace templates {

QList<TemplateItem> importSampleAttributes(extract::modOdxAtributes& attributes, const QString& drawingPath,
                                           const QString& spaceCode, SampleReadFailure* failure)
{
    const std::uint16_t code =
        attributes.ReadDrawingAttributes(std::filesystem::path(drawingPath.toStdU16String()), spaceCode.toStdString());
    if (failure) {
        // A drawing without the chosen space was read all the same.
        const auto error = static_cast<dwg::Error>(code);
        *failure = {};
        if (error != dwg::Error::Ok && error != dwg::Error::BlockNotFound) {
            failure->code = code;
            failure->reason = QString::fromUtf8(dwg::message(error));
            failure->damaged = error == dwg::Error::Truncated || error == dwg::Error::Corrupt ||
                               error == dwg::Error::TooLarge || error == dwg::Error::ReadFailed;
        }
    }
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

QList<TemplateItem> importSampleAttributes(const QString& drawingPath, const QString& spaceCode,
                                           SampleReadFailure* failure)
{
    extract::modOdxAtributes attributes;
    return importSampleAttributes(attributes, drawingPath, spaceCode, failure);
}

}  // namespace templates
