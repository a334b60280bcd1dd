#include "batch.h"

#include <QDir>
#include <QFileInfo>

#include "drawings/filelist.h"
#include "drawings/search.h"
#include "output/processing_run.h"
#include "templates/templatefile.h"

namespace batch {

const char* const kUsage =
    R"(Usage: quorvane-batch --template FILE.xat (--file-list FILE.xal | --folder DIR [--subfolders] [--pattern dwg|dxf|both])
                      --output PATH --kind access97|access2000|csv [--quiet]

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
                       its field name) or csv (a header line "File Name" and
                       the tags, then one line per drawing)
  --quiet              no progress lines; reports are still written
  --help               this text

Progress and the report of every drawing that could not be processed go to
standard error.

Exit codes:
  0  every ticked drawing was read and has its row
  1  some drawings were missing or unreadable (reported); the output holds
     the rows of all the others
  2  nothing was done, or the run stopped: wrong arguments, a template or
     file list that cannot be read, no ticked field, field names a database
     refuses, an output file that cannot be created or written (reported)
)";

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Options o;
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
        } else if (name == "--kind") {
            std::string kind;
            ok = value(kind);
            if (ok) {
                if (kind == "access97") o.kind = output::OutputKind::Access97;
                else if (kind == "access2000") o.kind = output::OutputKind::Access2000;
                else if (kind == "csv") o.kind = output::OutputKind::Csv;
                else {
                    error = "unknown kind \"" + kind + "\" (access97, access2000 or csv)";
                    ok = false;
                }
                haveKind = ok;
            }
        } else {
            error = "unknown argument \"" + args[i] + "\"";
            ok = false;
        }
        if (!ok) return std::nullopt;
    }
    if (o.help) return o;
    if (o.templatePath.empty()) error = "--template is missing";
    else if (o.fileListPath.empty() == o.folder.empty()) error = "give either --file-list or --folder";
    else if (o.subfolders && o.folder.empty()) error = "--subfolders goes with --folder";
    else if (o.havePattern && o.folder.empty()) error = "--pattern goes with --folder";
    else if (o.outputPath.empty()) error = "--output is missing";
    else if (!haveKind) error = "--kind is missing";
    if (!error.empty()) return std::nullopt;
    return o;
}

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
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

    output::RunRequest request;
    request.OutputPath = o.outputPath;
    request.Kind = o.kind;

    const auto read = templates::readTemplateFile(QString::fromStdString(o.templatePath));
    if (!read.ok()) {
        err << "quorvane-batch: " << o.templatePath << ": " << templates::templateErrorMessage(read.error).toStdString();
        if (!read.detail.isEmpty()) err << " (" << read.detail.toStdString() << ")";
        err << "\n";
        return kNotDone;
    }
    if (read.skippedLines > 0)
        err << "quorvane-batch: " << o.templatePath << ": " << read.skippedLines << " malformed lines left out\n";
    for (const auto& item : read.items)
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

    int ticked = 0;
    for (const auto& row : request.Drawings) ticked += row.Checked ? 1 : 0;

    output::ProcessingRun run;
    run.ReportLimit = 0;
    output::RunCallbacks callbacks;
    std::size_t next = 0;
    if (!o.quiet) {
        // The run reports a drawing's number only after reading it; name it then.
        callbacks.SetProgress = [&](int value) {
            while (next < request.Drawings.size() && !request.Drawings[next].Checked) ++next;
            err << "[" << value << "/" << ticked << "] ";
            if (next < request.Drawings.size()) err << request.Drawings[next++].Path;
            err << "\n";
        };
    }
    callbacks.DrawingNotProcessed = [&](std::uint16_t code, const std::string& path) {
        err << output::DrawingMessage(code, path) << "\n";
    };
    callbacks.RunFailed = [&](const std::string& message) { err << message << "\n"; };
    callbacks.ValuesChanged = [&](const std::string& message) { err << message << "\n"; };

    const output::RunResult result = run.Run(request, callbacks);
    if (!result.completed()) return kNotDone;
    err << "Wrote " << (result.DrawingsHandled - result.DrawingsNotProcessed) << " of " << result.DrawingsHandled
        << " drawings to " << o.outputPath << ".\n";
    return result.DrawingsNotProcessed > 0 ? kSomeNotRead : kAllRead;
}

}  // namespace batch
