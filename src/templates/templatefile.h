#pragma once

// Template files (".xat"): the saved rows of the template list.
//
// One line per row, in list order, each ended by CR LF, five fields separated
// by one TAB and never quoted:
//
//   field | content      | written as
//   ------+--------------+-------------------------------------------
//     1   | check mark   | "1" checked, "0" unchecked
//     2   | FieldName    | the row's text, possibly renamed by the user
//     3   | Tag          | the attribute tag
//     4   | SampleValue  | empty when there is none
//     5   | SpaceCode    | "M" model space, "P" paper space
//
// The text is in code page 1252; text that code page cannot hold makes the
// whole file UTF-8 with a byte-order mark instead. An empty list is a file of
// zero bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
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

// Stable numbers: they may be logged or compared by callers.
enum class TemplateError : int {
    None = 0,
    FileNotFound = 1,   // no file of that name
    CannotOpen = 2,     // exists but cannot be opened for reading
    ReadFailed = 3,     // opened, then reading failed
    TooLarge = 4,       // far larger than any template could be
    CannotCreate = 5,   // the new file cannot be created (folder missing or read-only, a folder of that name)
    WriteFailed = 6,    // writing the new file failed (disk full); any old file is untouched
    CannotReplace = 7,  // the existing file is held open or read-only and cannot be replaced
    FolderNotCreated = 8, // the template folder is missing and cannot be created
};

// A short English description, for logs and command-line tools.
QString templateErrorMessage(TemplateError error);

struct TemplateStatus {
    TemplateError error = TemplateError::None;
    QString detail; // the system's own words, when it gave any

    bool ok() const { return error == TemplateError::None; }
};

struct TemplateReadResult {
    QList<TemplateItem> items;
    // Lines a template never holds (empty, fewer than five fields, a first
    // field that is not a number): left out of items.
    int skippedLines = 0;
    TemplateError error = TemplateError::None;
    QString detail;

    bool ok() const { return error == TemplateError::None; }
};

// Called after each line is read, so a window can keep painting during a long read.
using LineCallback = std::function<void()>;

// Reading is lenient: a lone CR or LF also ends a line; blanks (code 32) around
// a line are dropped; fields after the fifth are ignored; the first field is
// read as a number and the row is checked exactly when it equals 1.
TemplateReadResult parseTemplate(QByteArrayView bytes, const LineCallback& afterEachLine = {});
TemplateReadResult readTemplateFile(const QString& path, const LineCallback& afterEachLine = {});

// The file's bytes. TAB, CR and LF inside a field become blanks: the format has
// no escape, and any of them would shift or split the row on reading.
QByteArray formatTemplate(const QList<TemplateItem>& items);

TemplateStatus writeTemplate(QIODevice& device, const QList<TemplateItem>& items);

// Writes a new file beside the target and replaces the target only once the new
// one is complete, so a failure leaves any earlier file as it was.
TemplateStatus writeTemplateFile(const QString& path, const QList<TemplateItem>& items);

} // namespace templates
