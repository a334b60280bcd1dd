#include "search.h"

#include "platform/folderlisting.h"

#include <QDir>

#include <algorithm>
#include <utility>
#include <vector>

namespace drawings {

namespace {

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

bool isLowSurrogateAt(QStringView s, qsizetype i)
{
    return i > 0 && i < s.size() && s[i].isLowSurrogate() && s[i - 1].isHighSurrogate();
}

// Both sides already case-folded. "?" takes one character, so a surrogate
// pair counts as one; a star never ends inside a pair.
bool matchFolded(QStringView name, QStringView pattern)
{
    qsizetype n = 0, p = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'?') {
            n += isLowSurrogateAt(name, n + 1) ? 2 : 1;
            ++p;
        } else if (p < pattern.size() && pattern[p] != u'*' && pattern[p] == name[n]) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            // Let the last star take one more character and retry.
            p = starP + 1;
            starN += isLowSurrogateAt(name, starN + 1) ? 2 : 1;
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace

QString AddBackslash(const QString& path)
{
    if (!path.isEmpty() && isSeparator(path.back()))
        return path;
    return path + QDir::separator();
}

bool MatchSpec(const QString& name, const QString& pattern)
{
    return matchFolded(name.toCaseFolded(), pattern.toCaseFolded());
}

QString patternText(DrawingPattern pattern)
{
    switch (pattern) {
    case DrawingPattern::Dxf: return QStringLiteral("*.dxf");
    case DrawingPattern::Both: return QStringLiteral("*.dwg;*.dxf");
    case DrawingPattern::Dwg: break;
    }
    return QStringLiteral("*.dwg");
}

std::optional<DrawingPattern> parsePattern(const QString& word)
{
    for (const auto& [name, pattern] : {std::pair{u"dwg", DrawingPattern::Dwg}, std::pair{u"dxf", DrawingPattern::Dxf},
                                        std::pair{u"both", DrawingPattern::Both}}) {
        if (word.compare(QStringView(name), Qt::CaseInsensitive) == 0)
            return pattern;
    }
    return std::nullopt;
}

DrawingSearch::DrawingSearch(bool includeSubfolders, FoundFn found, QString pattern)
    : m_includeSubfolders(includeSubfolders), m_foundFn(std::move(found)),
      m_patterns(pattern.toCaseFolded().split(u';', Qt::SkipEmptyParts))
{
}

void DrawingSearch::SearchFolder(const QString& folder)
{
    struct Entry {
        QString name;
        QString upper;  // Windows file systems order names by their capitals
        bool enter;     // a folder to search
    };
    std::vector<Entry> entries;
    platform::listFolder(folder, [&](const platform::FolderEntry& entry) {
        if (entry.isFolder) {
            if (m_includeSubfolders && !entry.isLink && !entry.name.startsWith(u'.'))
                entries.push_back({entry.name, entry.name.toUpper(), true});
            return;
        }
        const QString folded = entry.name.toCaseFolded();
        if (std::any_of(m_patterns.cbegin(), m_patterns.cend(),
                        [&folded](const QString& pattern) { return matchFolded(folded, pattern); }))
            entries.push_back({entry.name, entry.name.toUpper(), false});
    });
    // Sub-folders take their places among the files, and their rows come there.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int byUpper = a.upper.compare(b.upper);
        return byUpper != 0 ? byUpper < 0 : a.name < b.name;
    });
    for (const Entry& entry : entries) {
        if (entry.enter) {
            SearchFolder(folder + entry.name + QDir::separator());
        } else {
            ++m_found;
            m_foundFn(folder + entry.name);
        }
    }
}

QStringList findDrawings(const QString& folder, bool includeSubfolders, DrawingPattern pattern)
{
    QStringList paths;
    DrawingSearch search(
        includeSubfolders, [&paths](const QString& path) { paths.append(path); }, patternText(pattern));
    search.SearchFolder(AddBackslash(QDir::toNativeSeparators(folder)));
    return paths;
}

}  // namespace drawings
