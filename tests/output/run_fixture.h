#pragma once
// A run over a scripted drawing reader, with every callback recorded.

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>

#include "output/processing_run.h"
#include "test_support.h"

namespace output_test {

using namespace output;

struct FakeDrawing {
    std::uint16_t code = 0;
    std::vector<extract::AttributeRecord> attributes;
    dwg::Warnings warnings;
};

// Records every callback in order, as one line of text each.
struct Recorder {
    std::vector<std::string> events;
    RunCallbacks callbacks() {
        RunCallbacks c;
        c.ShowProgress = [this](int max) { events.push_back("show " + std::to_string(max)); };
        c.SetProgress = [this](int v) { events.push_back("value " + std::to_string(v)); };
        c.HideProgress = [this] { events.push_back("hide"); };
        c.DrawingNotProcessed = [this](std::uint16_t code, const std::string& path) {
            events.push_back("critical " + output::DrawingMessage(code, path));
            if (choices.empty()) return FailureChoice::GoOn;
            const FailureChoice choice = choices.front();
            choices.erase(choices.begin());
            return choice;
        };
        c.RunFailed = [this](const std::string& m) { events.push_back("failed " + m); };
        return c;
    }
    std::vector<FailureChoice> choices;  // the answers to the failure messages, in turn
};

// The real writer of a kind, failing from the given row on; `rows` counts
// the rows it wrote.
class FailingWriter : public RowWriter {
public:
    FailingWriter(OutputKind kind, int failAt, int& rows) : inner_(MakeRowWriter(kind)), failAt_(failAt), rows_(rows) {}
    Status Create(const std::string& path, const std::vector<OutputField>& fields) override {
        return inner_->Create(path, fields);
    }
    Status Append(const std::string& drawing, const std::vector<extract::AttributeRecord>& records,
                  Adjustment& changed) override {
        if (rows_ + 1 >= failAt_) return {Errc::cannot_write, "No space left on device"};
        Status s = inner_->Append(drawing, records, changed);
        if (s.ok()) ++rows_;
        return s;
    }
    Status Close() override { return inner_->Close(); }

private:
    std::unique_ptr<RowWriter> inner_;
    int failAt_;
    int& rows_;
};

class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        run.Reader = [this](const std::string& path, const std::string& space) {
            extract::SpaceRead r;
            std::lock_guard lock(readsMutex);
            reads.push_back(path + " " + space);
            auto it = drawings.find(path);
            if (it == drawings.end()) {
                r.Code = 3;
                return r;
            }
            r.Code = it->second.code;
            r.Records = it->second.attributes;
            r.Warnings = it->second.warnings;
            return r;
        };
    }

    // Reads happen on the run's reading threads, ahead of the rows.
    std::vector<std::string> SortedReads() {
        std::lock_guard lock(readsMutex);
        std::vector<std::string> sorted = reads;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

    RunResult Process(OutputKind kind = OutputKind::Csv) {
        request.Kind = kind;
        if (request.OutputPath.empty()) request.OutputPath = dir.file("out.csv");
        return run.Run(request, recorder.callbacks());
    }

    ScratchDir dir;
    ProcessingRun run;
    RunRequest request;
    Recorder recorder;
    std::map<std::string, FakeDrawing> drawings;
    std::mutex readsMutex;
    std::vector<std::string> reads;
};

inline TemplateRow Field(const std::string& tag, bool checked = true, const std::string& space = "M") {
    return {checked, tag, tag, space};
}

}  // namespace output_test
