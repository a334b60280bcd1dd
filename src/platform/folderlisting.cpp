#include "folderlisting.h"

#include <QDirIterator>
#include <QFileInfo>

namespace platform {

bool listFolder(const QString& folder, const std::function<void(const FolderEntry&)>& visit)
{
    const QFileInfo self(folder);
    if (!self.isDir() || !self.isReadable())
        return false;

    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    FolderEntry entry{};
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        entry.name = info.fileName();
        // isSymLink() would also report Windows shortcuts (.lnk files).
        entry.isLink = info.isSymbolicLink() || info.isJunction();
        entry.isFolder = info.isDir();
        visit(entry);
    }
    return true;
}

}  // namespace platform
