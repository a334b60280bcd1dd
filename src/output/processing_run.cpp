#include "processing_run.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "dwg/error.h"
#include "extract/readahead.h"

namespace output {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// What the user reads when the run stops; `drawing` is empty before the loop.
std::string FailureMessage(const Status& status, const std::string& outputPath, const std::string& drawing)
{
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
               ". Close the program that has it open, or choose another name, and process again. "
               "Nothing was written.";
    case Errc::cannot_create:
        return "The output file " + outputPath + " could not be created: " + status.detail +
               ". Choose a folder where you may save files, or another name, and process again.";
    case Errc::cannot_write:
        if (drawing.empty())
            return "The output file " + outputPath + " could not be written: " + status.detail +
                   ". Make room on the disk or choose another folder, and process again.";
        return "The output file " + outputPath + " could not be written while processing " + drawing + ": " +
               status.detail +
               ". The rows of the drawings before it are kept in the file. Make room on the disk "
               "or choose another folder, and process again.";
    case Errc::cannot_read:
    case Errc::bad_part:
    case Errc::ok: break;
    }
    return "The run stopped: " + std::string(message(status.code)) + ".";
}

constexpr std::uint16_t kFileNotFound = 3;  // dwg::Error::FileNotFound

std::string Count(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string WarningText(const dwg::Warnings& w)
{
    std::string text;
    if (w.skipped_objects)
        text = Count(w.skipped_objects, "damaged object skipped", "damaged objects skipped");
    if (w.checksum_mismatches) {
        if (!text.empty())
            text += ", ";
        text += Count(w.checksum_mismatches, "page checksum did not match", "page checksums did not match");
    }
    return text;
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A reading as the writer takes it, with the time it took.
struct TimedRead {
    extract::SpaceRead read;
    double seconds = 0;
};

}  // namespace

std::string DurationText(double seconds)
{
    const long total = seconds > 0 ? std::lround(seconds) : 0;
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string DrawingReason(std::uint16_t code) { return dwg::message(static_cast<dwg::Error>(code)); }

std::string DrawingMessage(std::uint16_t code, const std::string& drawingPath)
{
    if (code == 0)
        return {};
    if (code == kFileNotFound)
        return "The file " + drawingPath + " was not found and could not be processed.";
    return "There was an unknown error processing " + drawingPath + ": " + DrawingReason(code) + ".";
}

bool RunResult::HasNotes() const
{
    return Cancelled || !Error.ok() || !NotProcessed.empty() || !PartsSkipped.empty() || !Adjustments.empty();
}

std::string RunReport(const RunResult& r)
{
    std::string report;
    const std::string rows =
        Count(static_cast<std::size_t>(r.RowsWritten), "row", "rows") + " written to " + r.OutputPath + ".";
    const std::string of = std::to_string(r.DrawingsHandled) + " of " +
                           Count(static_cast<std::size_t>(r.DrawingsTicked), "drawing", "drawings");
    if (!r.Error.ok())
        report = "The run stopped after " + of + ": " + r.FailureMessage + "\n" + rows;
    else if (r.Cancelled)
        report = "The run was cancelled after " + of + ": " + rows;
    else
        report = of + " processed: " + rows;

    auto section = [&report](const std::string& heading, const std::vector<DrawingNote>& notes, auto text) {
        if (notes.empty())
            return;
        report += "\n\n" + heading + " (" + std::to_string(notes.size()) + "):";
        for (const auto& note : notes) report += "\n" + note.Path + ": " + text(note);
    };
    section("Drawings not processed", r.NotProcessed, [](const DrawingNote& n) { return DrawingReason(n.Code); });
    section("Drawings read with parts skipped; their rows were written", r.PartsSkipped,
            [](const DrawingNote& n) { return WarningText(n.Warnings); });
    if (const std::string changed = AdjustmentReport(r.Adjustments, 0, r.Kind); !changed.empty())
        report += "\n\n" + changed;
    return report + "\n";
}

ProcessingRun::ProcessingRun()
    : Reader([](const std::string& path, const std::string& space) {
          return extract::ReadSpace(PathFromUtf8(path), space);
      }),
      MakeWriter(MakeRowWriter)
{
}

void ProcessingRun::Cancel()
{
    cancelled_ = true;
    std::lock_guard lock(reading_mutex_);
    if (stop_reading_)
        stop_reading_();
}

RunResult ProcessingRun::Run(const RunRequest& request, const RunCallbacks& callbacks)
{
    const auto start = Clock::now();
    RunResult result;
    result.OutputPath = request.OutputPath;
    result.Kind = request.Kind;
    for (const auto& row : request.Drawings) result.DrawingsTicked += row.Checked ? 1 : 0;
    modUtilities& u = Utilities;
    bool progressShown = false;

    auto finish = [&](Status error, const std::string& drawing) {
        if (progressShown && callbacks.HideProgress)
            callbacks.HideProgress();
        result.Error = std::move(error);
        if (!result.Error.ok()) {
            result.FailureMessage = FailureMessage(result.Error, request.OutputPath, drawing);
            if (callbacks.RunFailed)
                callbacks.RunFailed(result.FailureMessage);
        }
        result.SecondsTotal = SecondsSince(start);
        return result;
    };

    // Everything that can be known wrong is checked before the old file goes.
    if (Status fields = u.CollectOutputFields(request.TemplateItems); !fields.ok())
        return finish(fields, {});
    const bool database = request.Kind == OutputKind::Access97 || request.Kind == OutputKind::Access2000;
    if (database) {
        if (Status columns = u.CheckDatabaseColumns(); !columns.ok())
            return finish(columns, {});
    }
    const std::string space = u.OutputFields.front().SpaceCode;

    const std::filesystem::path output = PathFromUtf8(request.OutputPath);
    std::error_code ec;
    if (std::filesystem::is_directory(output, ec))
        return finish({Errc::cannot_replace, "a folder has that name"}, {});
    // A workbook replaces the old file only once it is complete.
    if (request.Kind != OutputKind::Xlsx && std::filesystem::exists(output, ec)) {
        std::filesystem::remove(output, ec);
        if (ec)
            return finish({Errc::cannot_replace, ec.message()}, {});
    }

    std::unique_ptr<RowWriter> writer = MakeWriter(request.Kind, request.CsvAlwaysUtf8);
    if (writer) {
        if (Status started = writer->Create(request.OutputPath, u.OutputFields); !started.ok())
            return finish(started, {});
    }

    if (callbacks.ShowProgress)
        callbacks.ShowProgress(static_cast<int>(request.Drawings.size()));
    progressShown = true;

    std::vector<const std::string*> paths;
    if (writer) {
        for (const auto& row : request.Drawings)
            if (row.Checked)
                paths.push_back(&row.Path);
    }
    result.Jobs = request.Jobs ? request.Jobs : extract::DefaultJobs();
    extract::OrderedReadAhead<TimedRead> ahead(
        paths.size(),
        [&](std::size_t i) {
            const auto begun = Clock::now();
            TimedRead r{Reader(*paths[i], space), 0};
            r.seconds = SecondsSince(begun);
            return r;
        },
        result.Jobs);
    {
        std::lock_guard lock(reading_mutex_);
        stop_reading_ = [&ahead] { ahead.stop(); };
    }
    if (cancelled_)
        ahead.stop();

    Status failure;
    std::string failedDrawing;
    bool asking = true;
    const auto rowsBegan = Clock::now();
    // Without a writer the ticked drawings are only counted, as before a kind existed.
    const int toHandle = writer ? static_cast<int>(paths.size()) : result.DrawingsTicked;
    for (int handled = 0; handled < toHandle && !cancelled_; ++handled) {
        TimedRead next;
        if (writer) {
            const auto waiting = Clock::now();
            if (!ahead.next(next))
                break;
            result.SecondsWaiting += SecondsSince(waiting);
            result.SecondsReading += next.seconds;
            const std::string& path = *paths[static_cast<std::size_t>(handled)];
            const extract::SpaceRead& read = next.read;
            if (extract::GivesRow(read.Code)) {
                static const std::vector<extract::AttributeRecord> none;
                Adjustment changed{path, {}, {}};
                const auto writing = Clock::now();
                // A space that could not be read gives a row with the location only.
                failure = writer->Append(path, read.Code == 0 ? read.Records : none, changed);
                result.SecondsWriting += SecondsSince(writing);
                if (!failure.ok()) {
                    failedDrawing = path;
                    break;
                }
                ++result.RowsWritten;
                if (!changed.Shortened.empty() || !changed.Replaced.empty())
                    result.Adjustments.push_back(std::move(changed));
                if (read.Warnings.any())
                    result.PartsSkipped.push_back({path, 0, read.Warnings});
            }
            if (read.Code != 0) {
                ++result.DrawingsNotProcessed;
                result.NotProcessed.push_back({path, read.Code, read.Warnings});
                if (asking && callbacks.DrawingNotProcessed) {
                    switch (callbacks.DrawingNotProcessed(read.Code, path)) {
                    case FailureChoice::GoOn: break;
                    case FailureChoice::GoOnWithoutAsking: asking = false; break;
                    case FailureChoice::Stop: Cancel(); break;
                    }
                }
            }
        }
        ++result.DrawingsHandled;
        if (callbacks.SetProgress)
            callbacks.SetProgress(result.DrawingsHandled);
        if (callbacks.Progress)
            callbacks.Progress({result.DrawingsHandled, result.DrawingsTicked, SecondsSince(rowsBegan)},
                               writer ? *paths[static_cast<std::size_t>(handled)] : std::string());
    }
    {
        std::lock_guard lock(reading_mutex_);
        stop_reading_ = nullptr;
    }
    ahead.stop();
    result.Cancelled = cancelled_ && failure.ok() && result.DrawingsHandled < result.DrawingsTicked;
    if (writer) {
        const Status closed = writer->Close();
        if (failure.ok() && !closed.ok())
            failure = closed;
    }
    if (!failure.ok())
        return finish(failure, failedDrawing);
    if (callbacks.HideProgress)
        callbacks.HideProgress();
    progressShown = false;
    return finish({}, {});
}

}  // namespace output
