#pragma once
// quorvane-batch: a processing run without the window, for scripts.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "drawings/search.h"
#include "output/modUtilities.h"

namespace batch {

// Exit codes, part of the command's interface.
enum ExitCode : int {
    kAllRead = 0,      // every ticked drawing was read and has its row
    kSomeNotRead = 1,  // some drawings were missing or unreadable; the others have their rows
    kNotDone = 2,      // no run: wrong arguments, unreadable template or list, refused fields, output not writable
};

struct Options {
    bool help = false;
    bool quiet = false;
    bool verbose = false;
    unsigned jobs = 0;  // 0: one per core
    std::string templatePath;
    std::string fileListPath;
    std::string folder;
    bool subfolders = false;
    drawings::DrawingPattern pattern = drawings::DrawingPattern::Dwg;
    bool havePattern = false;
    std::string outputPath;
    output::OutputKind kind = output::OutputKind::Csv;
    std::size_t shard = 0, shards = 0;  // --shard K/N; 0/0 the whole list
    std::string mergeOutput;            // --merge OUT PART...
    std::vector<std::string> mergeParts;
};

// Nothing when the arguments are wrong; `error` then says why.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error);

extern const char* const kUsage;

// Parses, runs and reports; reports and progress go to `err`, the usage text
// for --help to `out`. errIsTerminal: `err` is a terminal, where one
// progress line is redrawn in place. Returns the exit code.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal = false);

}  // namespace batch
