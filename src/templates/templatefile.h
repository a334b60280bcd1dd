#pragma once

// Template files (".xat"): the saved rows of the template list, in the
// tab-separated list format (platform/listfile.h), five fields a line:
//
//   field | content      | written as
//   ------+--------------+-------------------------------------------
//     1   | check mark   | "1" checked, "0" unchecked
//     2   | FieldName    | the row's text, possibly renamed by the user
//     3   | Tag          | the attribute tag
//     4   | SampleValue  | empty when there is none
//     5   | SpaceCode    | "M" model space, "P" paper space
//
// Templates are saved in the folder "Files" beside file lists.

#include "platform/listfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

namespace templates {

struct TemplateItem {
    bool Checked = false;
    QString FieldName;
    QString Tag;
    QString SampleValue;
    QString SpaceCode;

    friend bool operator==(const TemplateItem&, const TemplateItem&) = default;
};

// A short English description, for logs and command-line tools.
QString templateErrorMessage(platform::ListFileError error);

// Lines a template never holds (blank, fewer than five fields, a first field
// that is not a number) are left out and counted; fields after the fifth are
// ignored.
using TemplateReadResult = platform::ListFileContent<TemplateItem>;

// afterEachLine runs after each line is read, so a window can keep painting.
TemplateReadResult parseTemplate(QByteArrayView bytes, const std::function<void()>& afterEachLine = {});
TemplateReadResult readTemplateFile(const QString& path, const std::function<void()>& afterEachLine = {});

QByteArray formatTemplate(const QList<TemplateItem>& items);
platform::ListFileStatus writeTemplateFile(const QString& path, const QList<TemplateItem>& items);

}  // namespace templates
