#pragma once

// The drawing search: a depth-first walk of a folder, each folder's entries
// (files and sub-folders together) in name order ignoring letter case, as
// Windows file systems list them whatever the disk's own order. Folders are
// never rows; folders whose names begin with a full
// stop are never entered, nor are links to folders, so a walk always ends.
// Window-free: usable from the command line.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace drawings {

// path with the native separator appended unless it already ends in one.
QString AddBackslash(const QString& path);

// Case-insensitive match of the whole name against a wildcard pattern:
// "*" matches any run of characters, "?" any one character.
bool MatchSpec(const QString& name, const QString& pattern);

// What the search looks for: "*.dwg" (the default), "*.dxf" or both.
enum class DrawingPattern { Dwg = 0, Dxf = 1, Both = 2 };

// The wildcard patterns of a choice, parted by ";" as DrawingSearch takes them.
QString patternText(DrawingPattern pattern);

// "dwg", "dxf" or "both" (letter case ignored); nothing for any other word.
std::optional<DrawingPattern> parsePattern(const QString& word);

class DrawingSearch {
public:
    using FoundFn = std::function<void(const QString& path)>;

    // pattern: one or more wildcard patterns parted by ";", see MatchSpec.
    DrawingSearch(bool includeSubfolders, FoundFn found, QString pattern = QStringLiteral("*.dwg"));

    // folder must end in a separator (see AddBackslash). A folder that cannot
    // be listed is skipped silently.
    void SearchFolder(const QString& folder);

    qint64 foundCount() const { return m_found; }

private:
    bool m_includeSubfolders;
    FoundFn m_foundFn;
    QStringList m_patterns;  // case-folded
    qint64 m_found = 0;
};

// Every drawing of the chosen kind under folder, with or without its
// sub-folders, as full paths: folder, one separator, sub-folder names, file
// name, all with native separators.
QStringList findDrawings(const QString& folder, bool includeSubfolders, DrawingPattern pattern = DrawingPattern::Dwg);

}  // namespace drawings
