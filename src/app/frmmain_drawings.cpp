// Step 3 of the main window: the list of drawings to process.
#include "app/frmmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

void frmMain::setupDrawingStep()
{
    connect(cmdOpenDirectory, &QPushButton::clicked, this, [this] { cmdOpenDirectory_Click(); });
    connect(cmbFileList, &QComboBox::activated, this, [this] { cmbFileList_Click(); });
    // Setting the value from the program counts as a click too.
    connect(chkSelectAllDrawings, &QCheckBox::toggled, this, [this] { chkSelectAllDrawings_Click(); });
    connect(lsvDrawingsToProcess, &CheckList::itemCheckChanged, this,
            [this](QTreeWidgetItem* item) { lsvDrawingsToProcess_ItemCheck(item); });
}

void frmMain::LoadFileListNames() {}
void frmMain::OpenFileList() {}
void frmMain::SaveFileList() {}
void frmMain::cmdOpenDirectory_Click() {}
void frmMain::cmbFileList_Click() {}
void frmMain::chkSelectAllDrawings_Click() {}
void frmMain::lsvDrawingsToProcess_ItemCheck(QTreeWidgetItem*) {}
