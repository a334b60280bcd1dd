#include "batch.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <QDir>
#include <QFileInfo>

#include "drawings/filelist.h"
#include "drawings/search.h"
#include "output/csv_file.h"
#include "output/processing_run.h"
#include "output/shard.h"
#include "templates/templatefile.h"

namespace batch {

const char* const kUsage =
    R"(Usage: quorvane-batch --template FILE.xat (--file-list FILE.xal | --folder DIR [--subfolders] [--pattern dwg|dxf|both])
                      --output PATH --kind access97|access2000|csv|xlsx
                      [--jobs N] [--verbose | --quiet] [--shard K/N]
       quorvane-batch --merge OUT PART.csv...

Gathers the attribute values of a batch of drawings into one table, as the
Process step of Quorvane does: one row per drawing, in list order.

  --template FILE.xat  template file; its ticked rows are the fields, and the
                       first ticked row's space (model or paper) is read
  --file-list FILE.xal file list; its ticked rows are the drawings
  --folder DIR         every drawing (*.dwg) found in DIR instead
  --subfolders         with --folder: search the sub-folders too
  --pattern WHAT       with --folder: dwg (the default), dxf or both
  --output PATH        the file to write; an existing file is replaced
  --kind KIND          access97 or access2000 (a database with table "Main":
                       "Location", then one text column per field, named by
                       its field name), csv (a header line "File Name" and
                       the tags, then one line per drawing) or xlsx (an Excel
                       workbook: sheet "Main" with the CSV's rows as text)
  --jobs N             read N drawings at once (default: one per core); the
                       output is the same for any N
  --verbose            also a line for every drawing
  --quiet              no progress line; problems and the report still come
  --shard K/N          only the K-th of N contiguous parts of the ticked
                       drawings (K from 1 to N), so N machines share a list;
                       a CSV part is always UTF-8 with a byte-order mark
  --merge OUT PART...  joins the CSV parts, in the order given, into OUT:
                       the file one run over the whole list writes
  --help               this text

Everything but --help goes to standard error: on a terminal one progress
line (drawings done, rate, time left) that updates in place, each drawing
that could not be processed as it comes, and at the end a report of what was
written where, the drawings not processed, those read with parts skipped and
the values changed to fit. When standard error is not a terminal there is no
progress line.

Exit codes:
  0  every ticked drawing was read and has its row
  1  some drawings were missing or unreadable (reported); the output holds
     the rows of all the others
  2  nothing was done, or the run stopped: wrong arguments, a template or
     file list that cannot be read, no ticked field, field names a database
     refuses, an output file that cannot be created or written (reported)
)";

namespace {

// "K/N" in digits, with K from 1 to N.
bool ParseShard(const std::string& text, std::size_t& k, std::size_t& n)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const auto [slash, kError] = std::from_chars(begin, end, k);
    if (kError != std::errc() || slash == end || *slash != '/')
        return false;
    const auto [last, nError] = std::from_chars(slash + 1, end, n);
    return nError == std::errc() && last == end && k >= 1 && k <= n;
}

}  // namespace

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error)
{
    Options o;
    if (!args.empty() && args.front() == "--merge") {
        if (args.size() < 3) {
            error = "--merge needs the output file and at least one part";
            return std::nullopt;
        }
        o.mergeOutput = args[1];
        o.mergeParts.assign(args.begin() + 2, args.end());
        return o;
    }
    bool haveKind = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&](std::string& into) {
            if (inlineValue) {
                into = *inlineValue;
            } else if (i + 1 < args.size()) {
                into = args[++i];
            } else {
                error = name + " needs a value";
                return false;
            }
            if (into.empty()) {
                error = name + " needs a value";
                return false;
            }
            return true;
        };
        auto flag = [&](bool& into) {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            into = true;
            return true;
        };
        bool ok = true;
        if (name == "--help" || name == "-h") {
            ok = flag(o.help);
        } else if (name == "--quiet") {
            ok = flag(o.quiet);
        } else if (name == "--verbose") {
            ok = flag(o.verbose);
        } else if (name == "--jobs") {
            std::string jobs;
            ok = value(jobs);
            if (ok) {
                char* end = nullptr;
                const long n = std::strtol(jobs.c_str(), &end, 10);
                ok = *end == '\0' && n >= 1 && n <= 256;
                if (ok)
                    o.jobs = static_cast<unsigned>(n);
                else
                    error = "--jobs takes a number from 1 to 256";
            }
        } else if (name == "--subfolders") {
            ok = flag(o.subfolders);
        } else if (name == "--template") {
            ok = value(o.templatePath);
        } else if (name == "--file-list") {
            ok = value(o.fileListPath);
        } else if (name == "--folder") {
            ok = value(o.folder);
        } else if (name == "--pattern") {
            std::string word;
            ok = value(word);
            if (ok) {
                const auto pattern = drawings::parsePattern(QString::fromStdString(word));
                if (!pattern) {
                    error = "unknown pattern \"" + word + "\" (dwg, dxf or both)";
                    ok = false;
                } else {
                    o.pattern = *pattern;
                    o.havePattern = true;
                }
            }
        } else if (name == "--output") {
            ok = value(o.outputPath);
        } else if (name == "--shard") {
            std::string shard;
            ok = value(shard) && ParseShard(shard, o.shard, o.shards);
            if (!ok && error.empty())
                error = "--shard takes K/N with K from 1 to N, not \"" + shard + "\"";
        } else if (name == "--merge") {
            error = "--merge comes first, followed by the output file and the parts";
            ok = false;
        } else if (name == "--kind") {
            std::string kind;
            ok = value(kind);
            if (ok) {
                if (kind == "access97")
                    o.kind = output::OutputKind::Access97;
                else if (kind == "access2000")
                    o.kind = output::OutputKind::Access2000;
                else if (kind == "csv")
                    o.kind = output::OutputKind::Csv;
                else if (kind == "xlsx")
                    o.kind = output::OutputKind::Xlsx;
                else {
                    error = "unknown kind \"" + kind + "\" (access97, access2000, csv or xlsx)";
                    ok = false;
                }
                haveKind = ok;
            }
        } else {
            error = "unknown argument \"" + args[i] + "\"";
            ok = false;
        }
        if (!ok)
            return std::nullopt;
    }
    if (o.help)
        return o;
    if (o.templatePath.empty())
        error = "--template is missing";
    else if (o.fileListPath.empty() == o.folder.empty())
        error = "give either --file-list or --folder";
    else if (o.subfolders && o.folder.empty())
        error = "--subfolders goes with --folder";
    else if (o.havePattern && o.folder.empty())
        error = "--pattern goes with --folder";
    else if (o.outputPath.empty())
        error = "--output is missing";
    else if (!haveKind)
        error = "--kind is missing";
    else if (o.quiet && o.verbose)
        error = "--quiet and --verbose exclude each other";
    if (!error.empty())
        return std::nullopt;
    return o;
}

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    std::string error;
    const std::optional<Options> options = ParseArguments(args, error);
    if (!options) {
        err << "quorvane-batch: " << error << "\nTry quorvane-batch --help.\n";
        return kNotDone;
    }
    if (options->help) {
        out << kUsage;
        return kAllRead;
    }
    const Options& o = *options;
    if (!o.mergeOutput.empty()) {
        std::vector<std::filesystem::path> parts;
        for (const auto& part : o.mergeParts) parts.push_back(output::PathFromUtf8(part));
        const output::Status merged = output::MergeCsvParts(output::PathFromUtf8(o.mergeOutput), parts);
        if (!merged.ok()) {
            err << "quorvane-batch: " << output::message(merged.code) << ": " << merged.detail << "\n";
            return kNotDone;
        }
        return kAllRead;
    }

    output::RunRequest request;
    request.OutputPath = o.outputPath;
    request.Kind = o.kind;

    const auto read = templates::readTemplateFile(QString::fromStdString(o.templatePath));
    if (!read.ok()) {
        err << "quorvane-batch: " << o.templatePath << ": "
            << templates::templateErrorMessage(read.error).toStdString();
        if (!read.detail.isEmpty())
            err << " (" << read.detail.toStdString() << ")";
        err << "\n";
        return kNotDone;
    }
    if (read.skippedLines > 0)
        err << "quorvane-batch: " << o.templatePath << ": " << read.skippedLines << " malformed lines left out\n";
    for (const auto& item : read.rows)
        request.TemplateItems.push_back(
            {item.Checked, item.FieldName.toStdString(), item.Tag.toStdString(), item.SpaceCode.toStdString()});

    if (!o.fileListPath.empty()) {
        const auto list = drawings::readFileList(QString::fromStdString(o.fileListPath));
        if (list.error != drawings::FileListError::None) {
            err << "quorvane-batch: " << o.fileListPath << ": "
                << drawings::fileListErrorMessage(list.error).toStdString() << "\n";
            return kNotDone;
        }
        if (list.skippedLines > 0)
            err << "quorvane-batch: " << o.fileListPath << ": " << list.skippedLines << " malformed lines left out\n";
        for (const auto& row : list.rows) request.Drawings.push_back({row.Checked, row.Path.toStdString()});
    } else {
        const QString folder = QString::fromStdString(o.folder);
        if (!QFileInfo(folder).isDir()) {
            err << "quorvane-batch: " << o.folder << ": no such folder\n";
            return kNotDone;
        }
        for (const QString& path : drawings::findDrawings(QDir(folder).absolutePath(), o.subfolders, o.pattern))
            request.Drawings.push_back({true, path.toStdString()});
    }

    request.Jobs = o.jobs;
    if (o.shards != 0) {
        request.Drawings = output::ShardOf(request.Drawings, o.shard, o.shards);
        request.CsvAlwaysUtf8 = true;
    }
    output::ProcessingRun run;
    output::RunCallbacks callbacks;
    const bool progressLine = errIsTerminal && !o.quiet;
    bool lineShown = false;
    auto clearLine = [&] {
        if (lineShown)
            err << "\r\033[K";
        lineShown = false;
    };
    std::chrono::steady_clock::time_point lastShown{};
    callbacks.Progress = [&](const output::RunProgress& p, const std::string& path) {
        if (o.verbose) {
            clearLine();
            err << "[" << p.Done << "/" << p.Total << "] " << path << "\n";
        }
        const auto now = std::chrono::steady_clock::now();
        // A few updates a second are enough to read and cost nothing.
        if (!progressLine || (now - lastShown < std::chrono::milliseconds(200) && p.Done != p.Total))
            return;
        lastShown = now;
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f", p.Rate());
        err << "\r" << p.Done << " of " << p.Total << " drawings, " << rate << " drawings/s";
        if (p.SecondsLeft() >= 0)
            err << ", " << output::DurationText(p.SecondsLeft()) << " left";
        err << "\033[K" << std::flush;
        lineShown = true;
    };
    callbacks.DrawingNotProcessed = [&](std::uint16_t code, const std::string& path) {
        clearLine();
        err << output::DrawingMessage(code, path) << "\n";
        return output::FailureChoice::GoOn;
    };
    callbacks.RunFailed = [&](const std::string& message) {
        clearLine();
        err << message << "\n";
    };

    const output::RunResult result = run.Run(request, callbacks);
    clearLine();
    if (!result.Error.ok() && result.DrawingsHandled == 0)
        return kNotDone;  // the message says it all
    err << output::RunReport(result);
    if (!result.completed())
        return kNotDone;
    return result.DrawingsNotProcessed > 0 ? kSomeNotRead : kAllRead;
}

}  // namespace batch
