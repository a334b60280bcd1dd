// Step 4 of the main window: the processing run.
#include "app/frmmain.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidgetItem>

#include "output/processing_run.h"

void frmMain::setupProcessStep()
{
    connect(cmdProcess, &QPushButton::clicked, this, [this] { cmdProcess_Click(); });
}

void frmMain::cmdProcess_Click()
{
    FileDialogRequest dialog;
    dialog.title = tr("Save Output File As");
    dialog.folder = folders.ProcessFileFolder;
    dialog.filters = {QStringLiteral("Access 97 (*.mdb)"), QStringLiteral("Access 2000 (*.mdb)"),
                      QStringLiteral("CSV (Comma delimited (*.csv)"), QStringLiteral("Excel Workbook (*.xlsx)")};
    dialog.filterIndex = 1;
    dialog.confirmOverwrite = true;
    const FileDialogResult chosen = ui().saveFile(dialog);
    if (!chosen.accepted)
        return;

    output::RunRequest request;
    request.OutputPath = chosen.path.toStdString();
    // The kind follows the chosen file type, whatever extension was typed.
    request.Kind = static_cast<output::OutputKind>(chosen.filterIndex);
    for (int i = 0; i < lsvTemplateItems->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lsvTemplateItems->topLevelItem(i);
        request.TemplateItems.push_back({lsvTemplateItems->isChecked(i), row->text(0).toStdString(),
                                         row->text(1).toStdString(), row->text(3).toStdString()});
    }
    for (int i = 0; i < lsvDrawingsToProcess->topLevelItemCount(); ++i)
        request.Drawings.push_back({lsvDrawingsToProcess->isChecked(i),
                                    lsvDrawingsToProcess->topLevelItem(i)->text(0).toStdString()});

    output::RunCallbacks callbacks;
    callbacks.ShowProgress = [this](int maximum) {
        pbrProgress->setRange(0, maximum);
        pbrProgress->setValue(0);
        pbrProgress->setVisible(true);
    };
    // The run does not return to the event loop, so the bar paints itself.
    callbacks.SetProgress = [this](int value) {
        pbrProgress->setValue(value);
        pbrProgress->repaint();
    };
    callbacks.HideProgress = [this] {
        pbrProgress->setVisible(false);
        pbrProgress->setValue(0);
    };
    auto show = [this](MessageIcon icon) {
        return [this, icon](const std::string& text) { ui().message(QString::fromStdString(text), icon); };
    };
    callbacks.DrawingNotProcessed = [this](std::uint16_t code, const std::string& drawingPath) {
        const QString path = QString::fromStdString(drawingPath);
        ui().message(code == 3 ? tr("The file %1 was not found and could not be processed.").arg(path)
                               : tr("There was an unknown error processing %1").arg(path),
                     MessageIcon::Critical);
    };
    callbacks.RunFailed = show(MessageIcon::Critical);
    callbacks.ValuesChanged = show(MessageIcon::Information);

    output::ProcessingRun run;
    const output::RunResult result = run.Run(request, callbacks);
    if (result.completed() && chkOpenDataBase->isChecked())
        OpenWithAssociatedProgram(chosen.path);
}
