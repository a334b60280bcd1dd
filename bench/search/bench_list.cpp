// Loading a long file list into the main window's drawing list, then
// unticking and ticking every row with "Check All".
//   QT_QPA_PLATFORM=offscreen bench_list [rows]     (default 75000)

#include "app/frmmain.h"
#include "drawings/filelist.h"
#include "scripted_ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 75000;
    QTemporaryDir appDir;
    ScriptedUiServices ui;
    frmMain w(&ui, appDir.path());
    w.EnableStepThree(true);
    w.show();

    QList<drawings::FileListRow> rows;
    for (int i = 0; i < count; ++i)
        rows.append({i % 2 == 0, QStringLiteral("C:\\drawings\\p%1\\drawing%2.dwg").arg(i / 20).arg(i)});
    if (drawings::writeFileList(w.folders.filesFolder() + QStringLiteral("/long.xal"), rows) !=
        drawings::FileListError::None) {
        std::fprintf(stderr, "cannot write the file list\n");
        return 1;
    }
    w.LoadFileListNames();
    w.cmbFileList->setCurrentIndex(0);

    QElapsedTimer timer;
    timer.start();
    w.cmbFileList_Click();
    QApplication::processEvents();
    std::printf("load %d rows from a file list: %.3f s\n", w.lsvDrawingsToProcess->topLevelItemCount(),
                timer.nsecsElapsed() / 1e9);

    timer.restart();
    w.chkSelectAllDrawings->setChecked(true);
    QApplication::processEvents();
    std::printf("\"Check All\" on: %.3f s\n", timer.nsecsElapsed() / 1e9);

    timer.restart();
    w.chkSelectAllDrawings->setChecked(false);
    QApplication::processEvents();
    std::printf("\"Check All\" off: %.3f s\n", timer.nsecsElapsed() / 1e9);
    return 0;
}
