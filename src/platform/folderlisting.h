#pragma once

#include <QString>

#include <functional>

namespace platform {

struct FolderEntry {
    QString name;   // bare name, full Unicode
    bool isFolder;  // a folder, or a link whose target is a folder
    bool isLink;    // symbolic link or junction (never entered by a walk)
};

// Calls visit for every entry of folder (hidden and system ones included,
// "." and ".." left out) in the order the file system lists them; nothing is
// sorted. The listing stays open while visit runs, so a depth-first walk can
// recurse from inside it. Returns false when the folder cannot be listed.
bool listFolder(const QString& folder, const std::function<void(const FolderEntry&)>& visit);

}  // namespace platform
