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

void replaceRows(CheckList* list, const QList<drawings::FileListRow>& rows)
{
    list->setUpdatesEnabled(false);
    list->clear();
    for (const drawings::FileListRow& row : rows) list->addRow({row.Path}, row.Checked);
    list->setUpdatesEnabled(true);
}

}  // namespace

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
    platform::ensureListFolder(folders.filesFolder());
    const QStringList names = platform::listFileNames(folders.filesFolder(), QStringLiteral("xal"));
    cmbFileList->clear();
    cmbFileList->setToolTip(QString());
    cmbFileList->addItems(names);
    cmbFileList->setCurrentIndex(-1);
    if (givenFileList_.isEmpty())
        return;
    // A file list named on the command line is chosen and loaded as soon as
    // Step 3 is reached; one outside "Files" is read where it is.
    const QFileInfo file(givenFileList_);
    givenFileList_.clear();
    int at = QFileInfo(file.absolutePath()) == QFileInfo(folders.filesFolder()) ? cmbFileList->findText(file.fileName())
                                                                                : -1;
    if (at < 0) {
        cmbFileList->addItem(file.fileName(), file.absoluteFilePath());
        cmbFileList->setToolTip(QDir::toNativeSeparators(file.absoluteFilePath()));
        at = cmbFileList->count() - 1;
    }
    cmbFileList->setCurrentIndex(at);
    cmbFileList_Click();
}

void frmMain::OpenFileList()
{
    const QString name = cmbFileList->currentText();
    const QString given = cmbFileList->currentData().toString();
    const QString path = given.isEmpty() ? folders.filesFolder() + QLatin1Char('/') + name : given;
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
        ui().message(
            tr("%n line(s) of the file list could not be read and were left out.", nullptr, content.skippedLines),
            MessageIcon::Exclamation);
}

void frmMain::SaveFileList()
{
    const QString path = askSaveName(tr("Save File list As"), folders.filesFolder(), tr("File List (*.xal)"));
    if (path.isEmpty())
        return;

    QList<drawings::FileListRow> rows;
    rows.reserve(lsvDrawingsToProcess->topLevelItemCount());
    for (int i = 0; i < lsvDrawingsToProcess->topLevelItemCount(); ++i)
        rows.append({lsvDrawingsToProcess->isChecked(i), lsvDrawingsToProcess->topLevelItem(i)->text(0)});
    const drawings::FileListError error = drawings::writeFileList(path, rows);
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
            [this](const QStringList& found) {
                QList<drawings::FileListRow> rows;
                rows.reserve(found.size());
                for (const QString& path : found) rows.append({true, path});
                replaceRows(lsvDrawingsToProcess, rows);
                // The list no longer is the one named in the box.
                cmbFileList->setCurrentIndex(-1);
                lblURL[3]->setVisible(true);
            },
            this);
        browser.setPattern(drawingPattern_);
        browser.exec();
        drawingPattern_ = browser.pattern();
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

void frmMain::lsvDrawingsToProcess_ItemCheck(QTreeWidgetItem*) { lblURL[3]->setVisible(true); }
