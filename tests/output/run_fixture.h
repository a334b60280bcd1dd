#pragma once
// A run over a scripted drawing reader, with every callback recorded.

#include <functional>
#include <map>

#include "output/processing_run.h"
#include "test_support.h"

namespace output_test {

using namespace output;

struct FakeDrawing {
    std::uint16_t code = 0;
    std::vector<extract::AttributeRecord> attributes;
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
        };
        c.RunFailed = [this](const std::string& m) { events.push_back("failed " + m); };
        c.ValuesChanged = [this](const std::string& m) { events.push_back("note " + m); };
        return c;
    }
};

class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        run.Utilities.SetAttributeSource([this](const std::string& path, const std::string& space,
                                                std::vector<extract::AttributeRecord>& records) {
            reads.push_back(path + " " + space);
            if (hook) hook(path);
            auto it = drawings.find(path);
            if (it == drawings.end()) return std::uint16_t{3};
            records = it->second.attributes;
            return it->second.code;
        });
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
    std::vector<std::string> reads;
    std::function<void(const std::string&)> hook;
};

inline TemplateRow Field(const std::string& tag, bool checked = true, const std::string& space = "M") {
    return {checked, tag, tag, space};
}

}  // namespace output_test
