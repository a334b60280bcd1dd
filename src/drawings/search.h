#pragma once

// The drawing search: a depth-first walk of a folder in the file system's own
// listing order. Folders are never rows; folders whose names begin with a full
// stop are never entered, nor are links to folders, so a walk always ends.
// Window-free: usable from the command line.

#include <QString>
#include <QStringList>

#include <functional>

namespace drawings {

// path with the native separator appended unless it already ends in one.
QString AddBackslash(const QString &path);

// Case-insensitive match of the whole name against a wildcard pattern:
// "*" matches any run of characters, "?" any one character.
bool MatchSpec(const QString &name, const QString &pattern);

class DrawingSearch {
public:
    using FoundFn = std::function<void(const QString &path)>;

    DrawingSearch(bool includeSubfolders, FoundFn found, QString pattern = QStringLiteral("*.dwg"));

    // folder must end in a separator (see AddBackslash). A folder that cannot
    // be listed is skipped silently.
    void SearchFolder(const QString &folder);

    qint64 foundCount() const { return m_found; }

private:
    bool m_includeSubfolders;
    FoundFn m_foundFn;
    QString m_pattern;
    qint64 m_found = 0;
};

// Every drawing ("*.dwg") under folder, with or without its sub-folders, as
// full paths: folder, one separator, sub-folder names, file name, all with
// native separators.
QStringList findDrawings(const QString &folder, bool includeSubfolders);

} // namespace drawings
