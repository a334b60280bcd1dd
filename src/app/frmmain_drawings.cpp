// Step 3 of the main window: the list of drawings to process.
#include "app/frmmain.h"

#include "drawings/filelist.h"
#include "drawings/frmbrowse.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

void replaceRows(CheckList *list, const QList<drawings::FileListRow> &rows)
{
    list->setUpdatesEnabled(false);
    list->clear();
    for (const drawings::FileListRow &row : rows)
        list->addRow({row.Path}, row.Checked);
    list->setUpdatesEnabled(true);
}

} // namespace

void frmMain::setupDrawingStep()
{
    connect(cmdOpenDirectory, &QPushButton::clicked, this, [this] { cmdOpenDirectory_Click(); });
    connect(cmbFileList, &QComboBox::activated, this, [this] { cmbFileList_Click(); });
    // Setting the value from the program counts as a click too.
    connect(chkSelectAllDrawings, &QCheckBox::toggled, this, [this] { chkSelectAllDrawings_Click(); });
    connect(lsvDrawingsToProcess, &CheckList::itemCheckChanged, this,
            [this](QTreeWidgetItem* item) { lsvDrawingsToProcess_ItemCheck(item); });
}

void frmMain::LoadFileListNames()
{
    const QStringList names = drawings::fileListNames(folders.filesFolder());
    cmbFileList->clear();
    cmbFileList->addItems(names);
    cmbFileList->setCurrentIndex(-1);
}

void frmMain::OpenFileList()
{
    const QString name = cmbFileList->currentText();
    const QString path = folders.filesFolder() + QLatin1Char('/') + name;
    if (name.isEmpty() || !QFileInfo(path).isFile())
        return;

    // Keep painting during a long read, but take no input: a second load or
    // save cannot start while this one runs.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const drawings::FileListContent content = drawings::readFileList(path, [&sinceEvents] {
        if (sinceEvents.elapsed() >= 30) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceEvents.restart();
        }
    });
    if (content.error != drawings::FileListError::None) {
        ui().message(drawings::fileListErrorMessage(content.error), MessageIcon::Exclamation);
        return;
    }
    replaceRows(lsvDrawingsToProcess, content.rows);
    EnableStepFour(true);
    if (content.skippedLines > 0)
        ui().message(tr("%n line(s) of the file list could not be read and were left out.", nullptr,
                        content.skippedLines),
                     MessageIcon::Exclamation);
}

void frmMain::SaveFileList()
{
    FileDialogRequest request;
    request.title = tr("Save File list As");
    request.folder = folders.filesFolder();
    request.filters = {tr("File List (*.xal)")};
    request.filterIndex = 1;
    request.confirmOverwrite = true;
    const FileDialogResult chosen = ui().saveFile(request);
    if (!chosen.accepted)
        return;

    QList<drawings::FileListRow> rows;
    rows.reserve(lsvDrawingsToProcess->topLevelItemCount());
    for (int i = 0; i < lsvDrawingsToProcess->topLevelItemCount(); ++i)
        rows.append({lsvDrawingsToProcess->isChecked(i), lsvDrawingsToProcess->topLevelItem(i)->text(0)});
    const drawings::FileListError error = drawings::writeFileList(chosen.path, rows);
    if (error != drawings::FileListError::None) {
        ui().message(drawings::fileListErrorMessage(error), MessageIcon::Exclamation);
        return;
    }
    LoadFileListNames();
    EnableStepFour(true);
    lblURL[3]->setVisible(false);
    ui().message(tr("The file list was saved successfully."), MessageIcon::Information);
}

void frmMain::cmdOpenDirectory_Click()
{
    {
        frmBrowse browser(
            folders.ImportDrawingsFolder,
            [this](const QStringList &found) {
                QList<drawings::FileListRow> rows;
                rows.reserve(found.size());
                for (const QString &path : found)
                    rows.append({true, path});
                replaceRows(lsvDrawingsToProcess, rows);
                lblURL[3]->setVisible(true);
            },
            this);
        browser.exec();
    }
    EnableStepFour(true);
    chkSelectAllDrawings->setEnabled(true);
}

void frmMain::cmbFileList_Click()
{
    OpenFileList();
    chkSelectAllDrawings->setEnabled(true);
    // Only the box is reset: letting it act as a click would untick every row
    // just loaded and lose the saved ticks.
    const QSignalBlocker quiet(chkSelectAllDrawings);
    chkSelectAllDrawings->setChecked(false);
}

void frmMain::chkSelectAllDrawings_Click()
{
    lsvDrawingsToProcess->setAllChecked(chkSelectAllDrawings->isChecked());
    lblURL[3]->setVisible(true);
}

void frmMain::lsvDrawingsToProcess_ItemCheck(QTreeWidgetItem*)
{
    lblURL[3]->setVisible(true);
}
