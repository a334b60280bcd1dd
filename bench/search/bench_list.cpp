// Filling the drawing list of the main window with many rows, as a folder
// search or a file list does, then unticking them all with "Check All".
//   QT_QPA_PLATFORM=offscreen bench_list [rows]     (default 75000)

#include "app/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 75000;
    QTemporaryDir appDir;
    ScriptedUiServices ui;
    frmMain w(&ui, appDir.path());
    w.EnableStepThree(true);
    w.show();

    QElapsedTimer timer;
    timer.start();
    w.lsvDrawingsToProcess->setUpdatesEnabled(false);
    for (int i = 0; i < rows; ++i)
        w.lsvDrawingsToProcess->addRow({QStringLiteral("C:\\drawings\\p%1\\drawing%2.dwg").arg(i / 20).arg(i)}, true);
    w.lsvDrawingsToProcess->setUpdatesEnabled(true);
    QApplication::processEvents();
    std::printf("fill %d rows: %.3f s\n", rows, timer.nsecsElapsed() / 1e9);

    w.chkSelectAllDrawings->setEnabled(true);
    timer.restart();
    w.chkSelectAllDrawings->setChecked(false);
    QApplication::processEvents();
    std::printf("\"Check All\" off: %.3f s\n", timer.nsecsElapsed() / 1e9);

    timer.restart();
    w.chkSelectAllDrawings->setChecked(true);
    QApplication::processEvents();
    std::printf("\"Check All\" on again: %.3f s\n", timer.nsecsElapsed() / 1e9);
    return 0;
}
