#include "processing_run.h"

#include <chrono>
#include <system_error>

namespace output {
namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// What the user reads when the run stops; `drawing` is empty before the loop.
std::string FailureMessage(const Status& status, const std::string& outputPath, const std::string& drawing) {
    switch (status.code) {
    case Errc::no_fields:
        return "No field is ticked in the template list, so there is nothing to write. "
               "Tick the tags to extract and process again. No file was changed.";
    case Errc::duplicate_field: {
        const auto cut = status.detail.find('\n');
        if (cut != std::string::npos) {
            const std::string first = status.detail.substr(0, cut);
            const std::string second = status.detail.substr(cut + 1);
            if (first == "Location")
                return "The field name " + Quoted(second) +
                       " cannot be used: the database column \"Location\" holds each drawing's path. "
                       "Give the field another name in the template list and process again. No file was changed.";
            return "The fields " + Quoted(first) + " and " + Quoted(second) +
                   " would give two database columns of the same name. Give one of them another name "
                   "in the template list and process again. No file was changed.";
        }
        return "Two fields would give database columns of the same name (" + status.detail +
               "). Give one of them another name in the template list and process again. No file was changed.";
    }
    case Errc::bad_field_name:
        return "A field name cannot name a database column (" + status.detail +
               "). Change it in the template list and process again. No file was changed.";
    case Errc::too_many_fields:
        return "More fields are ticked than a database table holds (" + status.detail +
               "). Untick some and process again. No file was changed.";
    case Errc::cannot_replace:
        return "The existing file " + outputPath + " could not be deleted: " + status.detail +
               ". Nothing was written.";
    case Errc::cannot_create:
        return "The output file " + outputPath + " could not be created: " + status.detail + ".";
    case Errc::cannot_write:
        if (drawing.empty()) return "The output file " + outputPath + " could not be written: " + status.detail + ".";
        return "The output file " + outputPath + " could not be written while processing " + drawing + ": " +
               status.detail + ". The rows of the drawings before it are kept in the file.";
    case Errc::ok: break;
    }
    return "The run stopped: " + std::string(message(status.code)) + ".";
}

}  // namespace

std::string DrawingMessage(std::uint16_t code, const std::string& drawingPath) {
    if (code == 0) return {};
    if (code == 3) return "The file " + drawingPath + " was not found and could not be processed.";
    return "There was an unknown error processing " + drawingPath;
}

RunResult ProcessingRun::Run(const RunRequest& request, const RunCallbacks& callbacks) {
    const auto start = std::chrono::steady_clock::now();
    RunResult result;
    modUtilities& u = Utilities;
    u.ClearAdjustments();
    u.ResetTiming();
    bool progressShown = false;

    auto finish = [&](Status error, const std::string& drawing) {
        // A run that stops still leaves a workbook with the rows so far, as
        // it leaves the lines of a CSV file.
        if (u.WorkbookOpen()) u.FinishWorkbook();
        if (progressShown && callbacks.HideProgress) callbacks.HideProgress();
        result.Error = std::move(error);
        if (!result.Error.ok() && callbacks.RunFailed)
            callbacks.RunFailed(FailureMessage(result.Error, request.OutputPath, drawing));
        result.Adjustments = u.Adjustments();
        result.SecondsReading = u.SecondsReading();
        result.SecondsTotal = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    };

    // Everything that can be known wrong is checked before the old file goes.
    if (Status fields = u.CollectOutputFields(request.TemplateItems); !fields.ok()) return finish(fields, {});
    const bool database = request.Kind == OutputKind::Access97 || request.Kind == OutputKind::Access2000;
    if (database) {
        if (Status columns = u.CheckDatabaseColumns(); !columns.ok()) return finish(columns, {});
    }
    const std::string space = u.OutputFields.front().SpaceCode;

    const std::filesystem::path output = PathFromUtf8(request.OutputPath);
    std::error_code ec;
    if (std::filesystem::is_directory(output, ec))
        return finish({Errc::cannot_replace, "a folder has that name"}, {});
    // A workbook replaces the old file only once it is complete.
    if (request.Kind != OutputKind::Xlsx && std::filesystem::exists(output, ec)) {
        std::filesystem::remove(output, ec);
        if (ec) return finish({Errc::cannot_replace, ec.message()}, {});
    }

    Status started;
    switch (request.Kind) {
    case OutputKind::Access97: started = u.CreateOutputDatabase(request.OutputPath, dbVersion30); break;
    case OutputKind::Access2000: started = u.CreateOutputDatabase(request.OutputPath, dbVersion40); break;
    case OutputKind::Csv: started = u.WriteCsvHeader(request.OutputPath); break;
    case OutputKind::Xlsx: started = u.StartWorkbook(request.OutputPath); break;
    }
    if (!started.ok()) return finish(started, {});

    if (callbacks.ShowProgress) callbacks.ShowProgress(static_cast<int>(request.Drawings.size()));
    progressShown = true;

    const std::string_view kind = KindText(request.Kind);
    for (const auto& row : request.Drawings) {
        if (!row.Checked) continue;
        if (!kind.empty()) {
            Status failure;
            const std::uint16_t code = u.ExtractDrawing(row.Path, space, request.OutputPath, kind, failure);
            if (!failure.ok()) return finish(failure, row.Path);
            if (code != 0) {
                ++result.DrawingsNotProcessed;
                if (callbacks.DrawingNotProcessed) callbacks.DrawingNotProcessed(code, row.Path);
            }
        }
        ++result.DrawingsHandled;
        if (callbacks.SetProgress) callbacks.SetProgress(result.DrawingsHandled);
    }

    if (u.WorkbookOpen()) {
        if (Status closed = u.FinishWorkbook(); !closed.ok()) return finish(closed, {});
    }
    if (callbacks.HideProgress) callbacks.HideProgress();
    progressShown = false;
    if (!u.Adjustments().empty() && callbacks.ValuesChanged)
        callbacks.ValuesChanged(AdjustmentReport(u.Adjustments(), ReportLimit, request.Kind));
    return finish({}, {});
}

}  // namespace output
