#include "search.h"

#include "platform/folderlisting.h"

#include <QDir>

#include <utility>

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
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

QString AddBackslash(const QString &path)
{
    if (!path.isEmpty() && isSeparator(path.back()))
        return path;
    return path + QDir::separator();
}

bool MatchSpec(const QString &name, const QString &pattern)
{
    return matchFolded(name.toCaseFolded(), pattern.toCaseFolded());
}

DrawingSearch::DrawingSearch(bool includeSubfolders, FoundFn found, QString pattern)
    : m_includeSubfolders(includeSubfolders), m_foundFn(std::move(found)), m_pattern(std::move(pattern))
{
}

void DrawingSearch::SearchFolder(const QString &folder)
{
    const QString pattern = m_pattern.toCaseFolded();
    // The listing stays open while a sub-folder is searched, so its rows come
    // at the place the sub-folder has in its parent's listing.
    platform::listFolder(folder, [&](const platform::FolderEntry &entry) {
        if (entry.isFolder) {
            if (m_includeSubfolders && !entry.isLink && !entry.name.startsWith(u'.'))
                SearchFolder(folder + entry.name + QDir::separator());
            return;
        }
        if (matchFolded(entry.name.toCaseFolded(), pattern)) {
            ++m_found;
            m_foundFn(folder + entry.name);
        }
    });
}

QStringList findDrawings(const QString &folder, bool includeSubfolders)
{
    QStringList paths;
    DrawingSearch search(includeSubfolders, [&paths](const QString &path) { paths.append(path); });
    search.SearchFolder(AddBackslash(QDir::toNativeSeparators(folder)));
    return paths;
}

} // namespace drawings
