#pragma once
// Shared by the output and batch tests: scratch folders, file bytes, and a
// run over a scripted drawing reader with every callback recorded.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <unistd.h>

#include "output/processing_run.h"

namespace output_test {

using namespace output;

// A fresh folder of its own, gone afterwards.
struct ScratchDir {
    ScratchDir()
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

    inline static std::atomic<int> counter{0};
    const std::filesystem::path path_ =
        std::filesystem::temp_directory_path() /
        ("quorvane-output-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
};

inline std::string read_bytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

struct FakeDrawing {
    std::uint16_t code = 0;
    std::vector<extract::AttributeRecord> attributes;
    dwg::Warnings warnings;
};

// Records every callback in order, as one line of text each.
struct Recorder {
    std::vector<std::string> events;
    std::vector<FailureChoice> choices;  // the answers to the failure messages, in turn
    RunCallbacks callbacks()
    {
        RunCallbacks c;
        c.ShowProgress = [this](int max) { events.push_back("show " + std::to_string(max)); };
        c.SetProgress = [this](int v) { events.push_back("value " + std::to_string(v)); };
        c.HideProgress = [this] { events.push_back("hide"); };
        c.DrawingNotProcessed = [this](std::uint16_t code, const std::string& path) {
            events.push_back("critical " + output::DrawingMessage(code, path));
            if (choices.empty())
                return FailureChoice::GoOn;
            const FailureChoice choice = choices.front();
            choices.erase(choices.begin());
            return choice;
        };
        c.RunFailed = [this](const std::string& m) { events.push_back("failed " + m); };
        return c;
    }
};

// The real writer of a kind, failing at the given row.
class FailingWriter : public RowWriter {
public:
    FailingWriter(OutputKind kind, int failAt) : inner_(MakeRowWriter(kind)), failAt_(failAt) {}
    Status Create(const std::string& path, const std::vector<OutputField>& fields) override
    {
        return inner_->Create(path, fields);
    }
    Status Append(const std::string& drawing, const std::vector<extract::AttributeRecord>& records,
                  Adjustment& changed) override
    {
        if (++rows_ >= failAt_)
            return {Errc::cannot_write, "No space left on device"};
        return inner_->Append(drawing, records, changed);
    }
    Status Close() override { return inner_->Close(); }

private:
    std::unique_ptr<RowWriter> inner_;
    int failAt_, rows_ = 0;
};

class RunTest : public ::testing::Test {
protected:
    // Reads happen on the run's reading threads, ahead of the rows.
    void SetUp() override
    {
        run.Reader = [this](const std::string& path, const std::string& space) {
            extract::SpaceRead r;
            std::lock_guard lock(readsMutex);
            reads.push_back(path + " " + space);
            auto it = drawings.find(path);
            r.Code = it == drawings.end() ? 3 : it->second.code;
            if (it != drawings.end())
                r.Records = it->second.attributes, r.Warnings = it->second.warnings;
            return r;
        };
    }

    RunResult Process(OutputKind kind = OutputKind::Csv)
    {
        request.Kind = kind;
        if (request.OutputPath.empty())
            request.OutputPath = dir.file("out.csv");
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

inline TemplateRow Field(const std::string& tag, bool checked = true, const std::string& space = "M")
{
    return {checked, tag, tag, space};
}

}  // namespace output_test
