// Steps 1 and 2 of the main window: where the tags come from, and the tag list.
#include "app/frmmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

void frmMain::setupTemplateStep()
{
    for (int i = 0; i < 2; ++i)
        connect(optTemplateMode[i], &QRadioButton::clicked, this, [this, i] { optTemplateMode_Click(i); });
    connect(cmdOpenTemplateFile, &QPushButton::clicked, this, [this] { cmdOpenTemplateFile_Click(); });
    connect(cmbTemplates, &QComboBox::activated, this, [this] { cmbTemplates_Click(); });
    connect(cmbTemplates, &QComboBox::editTextChanged, this, [this] { cmbTemplates_Change(); });
    connect(cmdImport, &QPushButton::clicked, this, [this] { cmdImport_Click(); });
    // Setting the value from the program counts as a click too.
    connect(chkSelectAllTags, &QCheckBox::toggled, this, [this] { chkSelectAllTags_Click(); });
    connect(lsvTemplateItems, &CheckList::itemCheckChanged, this,
            [this](QTreeWidgetItem* item) { lsvTemplateItems_ItemCheck(item); });
    connect(lsvTemplateItems, &CheckList::labelEditEnded, this,
            [this](QTreeWidgetItem* item) { lsvTemplateItems_AfterLabelEdit(item); });
}

void frmMain::LoadTemplateNames() {}
void frmMain::OpenTemplate() {}
void frmMain::SaveTemplate() {}
void frmMain::optTemplateMode_Click(int) {}
void frmMain::cmdOpenTemplateFile_Click() {}
void frmMain::cmbTemplates_Click() {}
void frmMain::cmbTemplates_Change() {}
void frmMain::cmdImport_Click() {}
void frmMain::chkSelectAllTags_Click() {}
void frmMain::lsvTemplateItems_ItemCheck(QTreeWidgetItem*) {}
void frmMain::lsvTemplateItems_AfterLabelEdit(QTreeWidgetItem*) {}
