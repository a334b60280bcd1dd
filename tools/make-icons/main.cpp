// make-icons FOLDER: the program's icon as PNG files in the desktop's icon
// theme layout, FOLDER/SIZExSIZE/apps/quorvane.png, and the same picture for
// the template and file-list file types under mimetypes/.
#include "app/programicon.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icons FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2").arg(root).arg(size);
        const QImage image = programImage(size);
        for (const QString& file :
             {QStringLiteral("apps/quorvane.png"), QStringLiteral("mimetypes/application-x-quorvane-template.png"),
              QStringLiteral("mimetypes/application-x-quorvane-filelist.png")}) {
            const QString path = folder + u'/' + file;
            if (!QDir().mkpath(QFileInfo(path).path()) || !image.save(path)) {
                std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
