#pragma once
// A whole run: the fields, the output file, one row per ticked drawing in
// list order, and the reports. The window, the batch command and the tests
// drive the same run through callbacks.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "modUtilities.h"

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
    // CSV in UTF-8 behind a byte-order mark from the first line, whatever the
    // text: each part of a shared-out run, so parts can be joined unchanged.
    bool CsvAlwaysUtf8 = false;
};

// Every callback may be empty. The message callbacks are expected to wait
// for the user, as a message box does.
struct RunCallbacks {
    std::function<void(int maximum)> ShowProgress;
    std::function<void(int value)> SetProgress;
    std::function<void()> HideProgress;
    // A drawing that was not processed (the reader's code, 3 for a missing
    // file): critical, the run goes on. DrawingMessage gives the text.
    std::function<void(std::uint16_t code, const std::string& drawingPath)> DrawingNotProcessed;
    // The run could not go on: critical, once, after the progress is hidden.
    std::function<void(const std::string& message)> RunFailed;
    // Values changed to fit the database: information, once, at the end.
    std::function<void(const std::string& message)> ValuesChanged;
};

struct RunResult {
    Status Error;                     // ok: the run went through every drawing
    int DrawingsHandled = 0;          // ticked drawings passed to ExtractDrawing
    int DrawingsNotProcessed = 0;     // of those, reported as missing or unreadable
    std::vector<Adjustment> Adjustments;
    double SecondsReading = 0;        // inside the drawing reader
    double SecondsTotal = 0;
    bool completed() const { return Error.ok(); }
};

// The per-drawing messages, exactly as the user sees them.
std::string DrawingMessage(std::uint16_t code, const std::string& drawingPath);

class ProcessingRun {
public:
    modUtilities Utilities;

    // Most drawings the value-change note names; the batch command lists all.
    std::size_t ReportLimit = 20;

    RunResult Run(const RunRequest& request, const RunCallbacks& callbacks);
};

}  // namespace output
