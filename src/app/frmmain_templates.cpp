// Steps 1 and 2 of the main window: where the tags come from, and the tag list.
#include "app/frmmain.h"

#include "app/busyinput.h"

#include "templates/sampleimport.h"
#include "templates/templatefile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidgetItem>

namespace {

constexpr int TemplateLink = 2;

enum TemplateColumn { ColFieldName = 0, ColTag = 1, ColSampleValue = 2, ColSpace = 3 };

// Keeps a template read (which lets the window paint between lines) and a
// save from starting inside one another.
class BusyGuard {
public:
    explicit BusyGuard(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyGuard() { busy_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& busy_;
};

// Only the field name is the user's to edit; tag, sample value and space come
// from the drawing.
class NoEditor : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const override { return nullptr; }
};

}  // namespace

QString frmMain::sampleDrawingInstructions()
{
    return tr("Choose to search for attribute tags in Model Space or Paper Space. Then click 'Import' to search "
              "in the drawing selected above. In the list that will be generated below, check the attribute tags "
              "that you want included in the output file. By default, the Tag values will become the Field Names "
              "in the output file.");
}

QString frmMain::templateInstructions()
{
    return tr("Click 'Open' to open the template file selected above. Then in the list that will be generated "
              "below, check the Attributes that you want included in the output file. By default, the Tag values "
              "will become the Field Names in the output file.");
}

void frmMain::setupTemplateStep()
{
    auto* noEditor = new NoEditor(lsvTemplateItems);
    for (int column : {ColTag, ColSampleValue, ColSpace}) lsvTemplateItems->setItemDelegateForColumn(column, noEditor);

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

QList<templates::TemplateItem> frmMain::TemplateItems() const
{
    QList<templates::TemplateItem> items;
    items.reserve(lsvTemplateItems->topLevelItemCount());
    for (int i = 0; i < lsvTemplateItems->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lsvTemplateItems->topLevelItem(i);
        items.append({row->checkState(ColFieldName) == Qt::Checked, row->text(ColFieldName), row->text(ColTag),
                      row->text(ColSampleValue), row->text(ColSpace)});
    }
    return items;
}

void frmMain::fillTemplateItems(const QList<templates::TemplateItem>& items)
{
    lsvTemplateItems->clear();
    for (const templates::TemplateItem& item : items) {
        QTreeWidgetItem* row =
            lsvTemplateItems->addRow({item.FieldName, item.Tag, item.SampleValue, item.SpaceCode}, item.Checked);
        row->setTextAlignment(ColSpace, Qt::AlignCenter);
    }
}

void frmMain::LoadTemplateNames()
{
    const QString folder = folders.filesFolder();
    const platform::ListFileStatus made = platform::ensureListFolder(folder);

    // Filling the box is not the user's choice of a template.
    const QSignalBlocker blocker(cmbTemplates);
    cmbTemplates->clear();
    cmbTemplates->setToolTip(QString());
    if (!made.ok()) {
        ui().message(tr("The template folder \"%1\" could not be created, so no template can be listed. "
                        "Please check that the folder can be written to.")
                         .arg(QDir::toNativeSeparators(folder)),
                     MessageIcon::Exclamation);
        return;
    }
    cmbTemplates->addItems(platform::listFileNames(folder, QStringLiteral("xat")));
    cmbTemplates->setCurrentIndex(-1);
}

void frmMain::ChooseTemplateFile(const QString& path)
{
    optTemplateMode[1]->setChecked(true);
    optTemplateMode_Click(1);
    const QFileInfo file(path);
    int at = QFileInfo(file.absolutePath()) == QFileInfo(folders.filesFolder())
                 ? cmbTemplates->findText(file.fileName())
                 : -1;
    if (at < 0) {
        // Opened where it is: a template elsewhere is never copied into "Files".
        const QSignalBlocker quiet(cmbTemplates);
        cmbTemplates->addItem(file.fileName(), file.absoluteFilePath());
        cmbTemplates->setToolTip(QDir::toNativeSeparators(file.absoluteFilePath()));
        at = cmbTemplates->count() - 1;
    }
    {
        const QSignalBlocker quiet(cmbTemplates);
        cmbTemplates->setCurrentIndex(at);
    }
    cmbTemplates_Click();
}

void frmMain::ChooseSampleDrawing(const QString& path)
{
    templateDialogFileName_ = path;
    txtTemplateDwg->setText(path);
    EnableStepTwo(true);
}

void frmMain::OpenTemplate()
{
    if (templateFileBusy_)
        return;
    // A template named on the command line outside "Files" carries its path.
    const QString given = cmbTemplates->currentData().toString();
    const QString path = given.isEmpty() ? folders.filesFolder() + u'/' + cmbTemplates->currentText() : given;
    if (!QFileInfo(path).isFile())
        return;

    BusyGuard busy(templateFileBusy_);
    // The window keeps painting during a long read; clicks and keys wait
    // until it is over, so no other command starts in the middle of it.
    const templates::TemplateReadResult read =
        templates::readTemplateFile(path, [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

    if (read.error == platform::ListFileError::FileNotFound)
        return;
    if (!read.ok()) {
        QString text = tr("The template file \"%1\" could not be read.").arg(QDir::toNativeSeparators(path));
        if (!read.detail.isEmpty())
            text += QStringLiteral("\n\n") + read.detail;
        ui().message(text, MessageIcon::Exclamation);
        return;
    }
    fillTemplateItems(read.rows);
    if (read.skippedLines > 0) {
        const QString file = QDir::toNativeSeparators(path);
        ui().message(
            read.skippedLines == 1
                ? tr("1 line of the template file \"%1\" did not hold a template row and was left out.").arg(file)
                : tr("%1 lines of the template file \"%2\" did not hold a template row and were left out.")
                      .arg(read.skippedLines)
                      .arg(file),
            MessageIcon::Exclamation);
    }
}

void frmMain::SaveTemplate()
{
    if (templateFileBusy_)
        return;
    BusyGuard busy(templateFileBusy_);

    const QString folder = folders.filesFolder();
    platform::ensureListFolder(folder);  // only so the dialog opens there

    const QString path = askSaveName(tr("Save Template As"), folder, tr("Template Files (*.xat)"));
    if (path.isEmpty())
        return;

    const platform::ListFileStatus saved = templates::writeTemplateFile(path, TemplateItems());
    if (saved.ok()) {
        lblURL[TemplateLink]->setVisible(false);
        ui().message(tr("The template file was saved successfully."), MessageIcon::Information);
        return;
    }
    if (saved.error == platform::ListFileError::CannotReplace) {
        ui().message(
            tr("An error occurred. The file is open and cannot be saved. Please close the file and try again."),
            MessageIcon::Exclamation);
        return;
    }
    QString text = tr("The template file \"%1\" could not be saved.").arg(QDir::toNativeSeparators(path));
    if (!saved.detail.isEmpty())
        text += QStringLiteral("\n\n") + saved.detail;
    ui().message(text, MessageIcon::Exclamation);
}

void frmMain::optTemplateMode_Click(int index)
{
    if (templateFileBusy_)
        return;
    EnableStepOne(true);
    if (index == 0) {
        cmdImport->setText(tr("Import"));
        cmbTemplates->clear();
        cmdOpenTemplateFile->setEnabled(true);
        optSpace[0]->setVisible(true);
        optSpace[1]->setVisible(true);
        chkSelectAllTags->setChecked(true);
        lblInstructionsStepTwo->setText(sampleDrawingInstructions());
    } else {
        cmdImport->setText(tr("Open"));
        txtTemplateDwg->clear();
        cmdOpenTemplateFile->setEnabled(false);
        optSpace[0]->setVisible(false);
        optSpace[1]->setVisible(false);
        chkSelectAllTags->setChecked(false);
        lblInstructionsStepTwo->setText(templateInstructions());
        LoadTemplateNames();
    }
    lblURL[TemplateLink]->setVisible(false);
    EnableStepTwo(false);
    EnableStepFour(false);
}

void frmMain::cmbTemplates_Click() { EnableStepTwo(!cmbTemplates->currentText().isEmpty()); }

void frmMain::cmbTemplates_Change() { EnableStepTwo(!cmbTemplates->currentText().isEmpty()); }

void frmMain::cmdOpenTemplateFile_Click()
{
    FileDialogRequest request;
    request.title = tr("Select Drawing");
    request.folder = folders.SampleDrawingsFolder;
    request.fileName = templateDialogFileName_;
    request.filters = {tr("Drawing Files (*.dwg *.dxf)"), tr("DWG Files (*.dwg)"), tr("DXF Files (*.dxf)")};
    request.filterIndex = 1;
    const FileDialogResult chosen = ui().openFile(request);
    if (!chosen.accepted) {
        if (txtTemplateDwg->text().isEmpty())
            EnableStepTwo(false);
        return;
    }
    if (chosen.path.isEmpty()) {
        templateDialogFileName_.clear();
        txtTemplateDwg->clear();
        return;
    }
    ChooseSampleDrawing(chosen.path);
}

void frmMain::ImportSampleAttributes()
{
    const QString path = txtTemplateDwg->text();
    if (path.isEmpty())
        return;
    lsvTemplateItems->clear();
    const QString space = optSpace[0]->isChecked()   ? QStringLiteral("M")
                          : optSpace[1]->isChecked() ? QStringLiteral("P")
                                                     : QString();
    if (space.isEmpty())
        return;
    templates::SampleReadFailure failure;
    {
        const BusyInput busy;
        fillTemplateItems(templates::importSampleAttributes(path, space, &failure));
    }
    // An empty list alone would read as "no attributes".
    if (failure.code != 0)
        ui().message(tr("The drawing %1 could not be read: %2.").arg(QDir::toNativeSeparators(path), failure.reason),
                     failure.damaged ? MessageIcon::Critical : MessageIcon::Information);
}

void frmMain::cmdImport_Click()
{
    if (templateFileBusy_)
        return;
    if (optTemplateMode[0]->isChecked()) {
        ImportSampleAttributes();
        lblURL[TemplateLink]->setVisible(true);
    } else {
        OpenTemplate();
    }
    if (lsvDrawingsToProcess->topLevelItemCount() == 0)
        EnableStepThree(true);
    else
        EnableStepFour(true);
    chkSelectAllTags->setEnabled(true);
    setFrameBorder(2, false);
}

void frmMain::chkSelectAllTags_Click()
{
    lsvTemplateItems->setAllChecked(chkSelectAllTags->checkState() == Qt::Checked);
    lblURL[TemplateLink]->setVisible(true);
}

void frmMain::lsvTemplateItems_ItemCheck(QTreeWidgetItem*) { lblURL[TemplateLink]->setVisible(true); }

void frmMain::lsvTemplateItems_AfterLabelEdit(QTreeWidgetItem*) { lblURL[TemplateLink]->setVisible(true); }
