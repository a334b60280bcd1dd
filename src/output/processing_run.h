#pragma once
// A whole run: the fields, the output file, one row per ticked drawing in
// list order, and the end report. The window, the batch command and the
// tests drive the same run through callbacks.
//
// Drawings are read ahead on several threads (extract/readahead.h) while the
// thread that called Run writes the rows in list order through one
// RowWriter, so the output does not depend on the number of threads. Every
// callback is called on the thread that called Run.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "modUtilities.h"
#include "row_writer.h"

namespace output {

struct DrawingRow {
    bool Checked = false;
    std::string Path;  // the drawing's full path, as listed; also the row's location
};

struct RunRequest {
    std::string OutputPath;
    OutputKind Kind = OutputKind::Csv;
    std::vector<TemplateRow> TemplateItems;
    std::vector<DrawingRow> Drawings;
    unsigned Jobs = 0;  // threads reading drawings; 0: one per core
    // CSV in UTF-8 behind a byte-order mark from the first line, whatever the
    // text: each part of a shared-out run, so parts can be joined unchanged.
    bool CsvAlwaysUtf8 = false;
};

// The answer to a drawing that could not be processed.
enum class FailureChoice { GoOn, GoOnWithoutAsking, Stop };

struct RunProgress {
    int Done = 0;        // ticked drawings handled
    int Total = 0;       // ticked drawings
    double Seconds = 0;  // since the rows began
    double Rate() const { return Seconds > 0 ? Done / Seconds : 0; }
    // Negative while there is nothing to go by.
    double SecondsLeft() const { return Done > 0 ? (Total - Done) * Seconds / Done : -1; }
};

// "0:42", "12:05", "1:02:03".
std::string DurationText(double seconds);

// Every callback may be empty. The message callbacks are expected to wait
// for the user, as a message box does.
struct RunCallbacks {
    std::function<void(int maximum)> ShowProgress;  // maximum: the rows of the list, ticked or not
    std::function<void(int value)> SetProgress;     // value: the ticked drawings handled
    std::function<void()> HideProgress;
    // After each ticked drawing, with its path.
    std::function<void(const RunProgress& progress, const std::string& drawingPath)> Progress;
    // A drawing that was not processed (the reader's code, 3 for a missing
    // file; DrawingMessage gives the text). Asked until the answer is
    // GoOnWithoutAsking; Stop ends the run as Cancel does. Empty: go on.
    std::function<FailureChoice(std::uint16_t code, const std::string& drawingPath)> DrawingNotProcessed;
    // The run could not go on: critical, once, after the progress is hidden.
    std::function<void(const std::string& message)> RunFailed;
};

struct DrawingNote {
    std::string Path;
    std::uint16_t Code = 0;  // the reader's code; 0 for a drawing read with parts skipped
    dwg::Warnings Warnings;
};

struct RunResult {
    Status Error;                // ok: the run went through every drawing, or was cancelled
    std::string FailureMessage;  // the words of Error, as RunFailed was given them
    bool Cancelled = false;
    std::string OutputPath;
    OutputKind Kind = OutputKind::Csv;
    int DrawingsTicked = 0;
    int DrawingsHandled = 0;       // ticked drawings taken in turn, written or not
    int DrawingsNotProcessed = 0;  // of those, missing or unreadable
    int RowsWritten = 0;
    std::vector<DrawingNote> NotProcessed;  // list order
    std::vector<DrawingNote> PartsSkipped;  // read, with objects or checks passed over; rows written
    std::vector<Adjustment> Adjustments;    // values changed to fit the output
    unsigned Jobs = 0;
    double SecondsReading = 0;  // inside the drawing reader, summed over the threads
    double SecondsWaiting = 0;  // the writer waiting for the next drawing to be read
    double SecondsWriting = 0;  // appending rows
    double SecondsTotal = 0;
    bool completed() const { return Error.ok() && !Cancelled; }
    // Whether the end report says more than how many rows were written.
    bool HasNotes() const;
};

// Why a drawing was not processed, in a few words ("the drawing is damaged").
std::string DrawingReason(std::uint16_t code);
// The per-drawing messages, exactly as the user sees them.
std::string DrawingMessage(std::uint16_t code, const std::string& drawingPath);

// The end report: what was written where, then the drawings not processed,
// those read with parts skipped and the values changed, each with a heading.
std::string RunReport(const RunResult& result);

class ProcessingRun {
public:
    // Reads one space of one drawing; called from several threads at once.
    using SpaceReader = std::function<extract::SpaceRead(const std::string& drawingPath, const std::string& spaceCode)>;
    using WriterMaker = std::function<std::unique_ptr<RowWriter>(OutputKind kind, bool csvAlwaysUtf8)>;

    ProcessingRun();

    modUtilities Utilities;
    SpaceReader Reader;      // extract::ReadSpace unless replaced (tests)
    WriterMaker MakeWriter;  // MakeRowWriter unless replaced (tests)

    // One run per object.
    RunResult Run(const RunRequest& request, const RunCallbacks& callbacks);

    // From any thread: the run stops once the drawing being written is in
    // the file; the file is then closed and keeps the rows written so far.
    void Cancel();

private:
    std::atomic<bool> cancelled_{false};
    std::mutex reading_mutex_;
    std::function<void()> stop_reading_;
};

}  // namespace output
