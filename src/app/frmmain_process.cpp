// Step 4 of the main window: the processing run.
#include "app/frmmain.h"

#include <QPushButton>

void frmMain::setupProcessStep()
{
    connect(cmdProcess, &QPushButton::clicked, this, [this] { cmdProcess_Click(); });
}

void frmMain::cmdProcess_Click() {}
