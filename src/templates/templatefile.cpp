#include "templates/templatefile.h"

namespace templates {
namespace {

bool takeLine(const platform::ListLine& fields, QList<TemplateItem>& items)
{
    if (fields.size() < 5)
        return false;
    const std::optional<bool> checked = platform::readCheckMark(fields[0]);
    if (!checked)
        return false;
    items.append({*checked, fields[1].toString(), fields[2].toString(), fields[3].toString(), fields[4].toString()});
    return true;
}

}  // namespace

QString templateErrorMessage(platform::ListFileError error)
{
    using platform::ListFileError;
    switch (error) {
    case ListFileError::None: return QStringLiteral("no error");
    case ListFileError::FileNotFound: return QStringLiteral("the template file does not exist");
    case ListFileError::CannotOpen: return QStringLiteral("the template file cannot be opened");
    case ListFileError::ReadFailed: return QStringLiteral("the template file cannot be read");
    case ListFileError::TooLarge: return QStringLiteral("the file is too large to be a template");
    case ListFileError::CannotCreate: return QStringLiteral("the template file cannot be created");
    case ListFileError::WriteFailed: return QStringLiteral("the template file cannot be written");
    case ListFileError::CannotReplace:
        return QStringLiteral("the existing template file is in use and cannot be replaced");
    case ListFileError::FolderNotCreated: return QStringLiteral("the template folder cannot be created");
    }
    return QStringLiteral("unknown error");
}

TemplateReadResult parseTemplate(QByteArrayView bytes, const std::function<void()>& afterEachLine)
{
    return platform::parseListFile<TemplateItem>(bytes, takeLine, afterEachLine);
}

TemplateReadResult readTemplateFile(const QString& path, const std::function<void()>& afterEachLine)
{
    return platform::readListFile<TemplateItem>(path, takeLine, afterEachLine);
}

QByteArray formatTemplate(const QList<TemplateItem>& items)
{
    QList<QStringList> rows;
    rows.reserve(items.size());
    for (const TemplateItem& item : items)
        rows.append({platform::checkMark(item.Checked), item.FieldName, item.Tag, item.SampleValue, item.SpaceCode});
    return platform::formatListFile(rows);
}

platform::ListFileStatus writeTemplateFile(const QString& path, const QList<TemplateItem>& items)
{
    return platform::writeListFile(path, formatTemplate(items));
}

}  // namespace templates
