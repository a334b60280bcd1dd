// The drawing search over a generated tree, against find(1) on the same tree.
//   bench_search [folders [files-per-folder]]     (default 5000 and 20)
// The tree is made in a temporary folder and removed afterwards.

#include "drawings/search.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Folders two levels deep (about sqrt(folders) parents with the rest below
// them); every folder gets files of which three in four are drawings, in
// both letter cases, the rest decoys such as "n.dwg.bak".
qint64 makeTree(const QString& root, int folders, int filesPerFolder)
{
    qint64 drawings = 0;
    const int parents = std::max(1, int(std::sqrt(double(folders))));
    int made = 0;
    for (int p = 0; made < folders; ++p) {
        const QString parent = QStringLiteral("%1/p%2").arg(root).arg(p);
        for (int c = 0; c < folders / parents + 1 && made < folders; ++c, ++made) {
            const QString folder = c == 0 ? parent : QStringLiteral("%1/c%2").arg(parent).arg(c);
            QDir().mkpath(folder);
            for (int f = 0; f < filesPerFolder; ++f) {
                static const char* const suffixes[] = {".dwg", ".DWG", ".dwg", ".dwg.bak"};
                const char* suffix = suffixes[f % 4];
                QFile file(QStringLiteral("%1/drawing%2%3").arg(folder).arg(f).arg(QLatin1String(suffix)));
                file.open(QIODevice::WriteOnly);
                if (f % 4 != 3)
                    ++drawings;
            }
        }
    }
    return drawings;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int perFolder = argc > 2 ? std::atoi(argv[2]) : 20;
    QTemporaryDir dir;
    if (!dir.isValid() || folders < 1 || perFolder < 1) {
        std::fprintf(stderr, "cannot make the tree\n");
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const qint64 expected = makeTree(dir.path(), folders, perFolder);
    std::printf("tree: %d folders, %lld files, %lld drawings, made in %.2f s\n", folders, qint64(folders) * perFolder,
                expected, timer.nsecsElapsed() / 1e9);

    const int runs = 5;
    std::vector<double> ours, theirs;
    qint64 found = 0, findFound = 0;
    for (int run = 0; run < runs; ++run) {
        timer.restart();
        found = drawings::findDrawings(dir.path(), true).size();
        ours.push_back(timer.nsecsElapsed() / 1e9);

        QProcess find;
        timer.restart();
        find.start(QStringLiteral("find"), {dir.path(), QStringLiteral("-iname"), QStringLiteral("*.dwg")});
        find.waitForFinished(-1);
        const QByteArray out = find.readAllStandardOutput();
        theirs.push_back(timer.nsecsElapsed() / 1e9);
        findFound = out.count('\n');
    }
    std::printf("search (sub-folders): %lld drawings, median %.3f s, best %.3f s of %d runs\n", found, median(ours),
                *std::min_element(ours.begin(), ours.end()), runs);
    std::printf("find DIR -iname '*.dwg': %lld paths, median %.3f s, best %.3f s of %d runs\n", findFound,
                median(theirs), *std::min_element(theirs.begin(), theirs.end()), runs);
    std::printf("ratio (median): %.2f\n", median(ours) / median(theirs));
    return found == expected && findFound == expected ? 0 : 1;
}
