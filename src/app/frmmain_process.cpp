// Step 4 of the main window: the processing run. The run goes on a worker
// thread so that the window stays live; what could change its input, start
// another run or open a dialog is disabled until it ends, so nothing clicked
// meanwhile acts afterwards.
#include "app/frmmain.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidgetItem>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "output/processing_run.h"

struct frmMain::ProcessState {
    output::ProcessingRun run;
    std::thread worker;
    QString outputPath;
    bool closeAfterRun = false;

    // The user's answer to a drawing that was not processed, handed from the
    // window's thread to the run's.
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<output::FailureChoice> answer;
    bool cancelled = false;

    void cancel()
    {
        {
            std::lock_guard lock(mutex);
            cancelled = true;
        }
        answered.notify_all();
        run.Cancel();
    }

    ~ProcessState()
    {
        if (worker.joinable()) {
            cancel();
            worker.join();
        }
    }
};

namespace {

const QStringList& outputFilters()
{
    static const QStringList filters = {QStringLiteral("Access 97 (*.mdb)"), QStringLiteral("Access 2000 (*.mdb)"),
                                        QStringLiteral("CSV (Comma delimited) (*.csv)"),
                                        QStringLiteral("Excel Workbook (*.xlsx)")};
    return filters;
}

}  // namespace

void frmMain::setupProcessStep()
{
    connect(cmdProcess, &QPushButton::clicked, this, [this] { cmdProcess_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

bool frmMain::isRunning() const { return process_ != nullptr; }

void frmMain::cmdProcess_Click()
{
    if (process_)
        return;
    FileDialogRequest dialog;
    dialog.title = tr("Save Output File As");
    dialog.folder = folders.ProcessFileFolder;
    dialog.filters = outputFilters();
    dialog.filterIndex = 1;
    dialog.confirmOverwrite = true;
    const FileDialogResult chosen = ui().saveFile(dialog);
    if (!chosen.accepted)
        return;

    output::RunRequest request;
    // The kind follows the chosen file type, whatever extension was typed.
    request.Kind = static_cast<output::OutputKind>(chosen.filterIndex);
    const int filter = chosen.filterIndex - 1;
    const QString path = filter >= 0 && filter < dialog.filters.size()
                             ? withTypeExtension(chosen.path, dialog.filters[filter])
                             : chosen.path;
    request.OutputPath = path.toStdString();
    for (int i = 0; i < lsvTemplateItems->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lsvTemplateItems->topLevelItem(i);
        request.TemplateItems.push_back({lsvTemplateItems->isChecked(i), row->text(0).toStdString(),
                                         row->text(1).toStdString(), row->text(3).toStdString()});
    }
    for (int i = 0; i < lsvDrawingsToProcess->topLevelItemCount(); ++i)
        request.Drawings.push_back(
            {lsvDrawingsToProcess->isChecked(i), lsvDrawingsToProcess->topLevelItem(i)->text(0).toStdString()});

    auto state = std::make_shared<ProcessState>();
    state->outputPath = path;
    ProcessState* s = state.get();
    // Calls from the run's thread land on the window's in order; the window
    // owns the state, so it outlives every call that reaches it.
    auto onWindow = [this](auto call) { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); };

    output::RunCallbacks callbacks;
    callbacks.ShowProgress = [=, this](int maximum) {
        onWindow([this, maximum] {
            pbrProgress->setRange(0, maximum);
            pbrProgress->setValue(0);
            pbrProgress->setVisible(true);
        });
    };
    callbacks.SetProgress = [=, this](int value) { onWindow([this, value] { pbrProgress->setValue(value); }); };
    callbacks.HideProgress = [=, this] {
        onWindow([this] {
            pbrProgress->setVisible(false);
            pbrProgress->setValue(0);
        });
    };
    callbacks.Progress = [=, this](const output::RunProgress& p, const std::string&) {
        QString text = tr("%1 of %2 drawings").arg(p.Done).arg(p.Total);
        if (p.SecondsLeft() >= 0 && p.Done < p.Total)
            text += tr(", %1 left").arg(QString::fromStdString(output::DurationText(p.SecondsLeft())));
        onWindow([this, text] { lblProcessStatus->setText(text); });
    };
    callbacks.DrawingNotProcessed = [=, this](std::uint16_t code, const std::string& drawingPath) {
        {
            std::lock_guard lock(s->mutex);
            s->answer.reset();
        }
        const QString drawing = QString::fromStdString(drawingPath);
        const QString text = code == 3 ? tr("The file %1 was not found and could not be processed.").arg(drawing)
                                       : tr("There was an unknown error processing %1: %2.")
                                             .arg(drawing, QString::fromStdString(output::DrawingReason(code)));
        onWindow([this, s, text] {
            const int choice = ui().choose(text, MessageIcon::Critical,
                                           {tr("Go On"), tr("Go On Without Asking Again"), tr("Stop the Run")});
            {
                std::lock_guard lock(s->mutex);
                s->answer = choice == 0   ? output::FailureChoice::GoOn
                            : choice == 1 ? output::FailureChoice::GoOnWithoutAsking
                                          : output::FailureChoice::Stop;
            }
            s->answered.notify_all();
        });
        std::unique_lock lock(s->mutex);
        s->answered.wait(lock, [s] { return s->answer.has_value() || s->cancelled; });
        return s->answer.value_or(output::FailureChoice::Stop);
    };

    // Nothing that feeds the run, starts another or opens a dialog works
    // until it ends; re-enabling the frames gives their controls back as
    // they were.
    for (int i = 1; i <= 3; ++i) pctSectionFrame[i]->setEnabled(false);
    cmdProcess->setEnabled(false);
    chkOpenDataBase->setEnabled(false);
    cmdCancel->setEnabled(true);
    lblProcessStatus->clear();
    process_ = state;

    state->worker = std::thread([this, s, request = std::move(request), callbacks = std::move(callbacks)] {
        auto result = std::make_shared<output::RunResult>(s->run.Run(request, callbacks));
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                const std::shared_ptr<ProcessState> state = std::move(process_);
                state->worker.join();
                for (int i = 1; i <= 3; ++i) pctSectionFrame[i]->setEnabled(true);
                cmdProcess->setEnabled(true);
                chkOpenDataBase->setEnabled(true);
                cmdCancel->setEnabled(false);

                const output::RunResult& r = *result;
                const QString where = QDir::toNativeSeparators(state->outputPath);
                if (!r.Error.ok() && r.DrawingsHandled == 0 && r.RowsWritten == 0) {
                    lblProcessStatus->clear();
                } else {
                    QString line = r.RowsWritten == 1 ? tr("1 drawing written to %1.").arg(where)
                                                      : tr("%1 drawings written to %2.").arg(r.RowsWritten).arg(where);
                    if (r.Cancelled)
                        line = tr("Cancelled: ") + line;
                    else if (!r.Error.ok())
                        line = tr("Stopped: ") + line;
                    lblProcessStatus->setText(line);
                }
                if (!state->closeAfterRun) {
                    if (!r.Error.ok())
                        ui().message(QString::fromStdString(r.FailureMessage), MessageIcon::Critical);
                    const bool drawingNotes =
                        !r.NotProcessed.empty() || !r.PartsSkipped.empty() || !r.Adjustments.empty();
                    if (r.Error.ok() ? r.HasNotes() : drawingNotes)
                        ui().report(QString::fromStdString(output::RunReport(r)));
                    if (r.completed() && chkOpenDataBase->isChecked())
                        OpenWithAssociatedProgram(state->outputPath);
                }
                emit runFinished();
                if (state->closeAfterRun)
                    close();
            },
            Qt::QueuedConnection);
    });
}

void frmMain::cmdCancel_Click()
{
    if (process_) {
        cmdCancel->setEnabled(false);
        lblProcessStatus->setText(tr("Cancelling..."));
        process_->cancel();
    }
}

bool frmMain::RunAllowsClosing()
{
    if (!process_)
        return true;
    if (process_->closeAfterRun)
        return false;
    if (!ui().question(tr("A run is going on. Stop it and close Quorvane? The output file keeps the rows "
                          "written so far.")))
        return false;
    process_->closeAfterRun = true;
    cmdCancel_Click();
    return false;
}
