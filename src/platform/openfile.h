#pragma once
// Handing a file to the desktop, which opens it in the program associated with
// its type.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace platform {

enum class OpenResult {
    Opened,               // a program was started with the file
    NoAssociatedProgram,  // the desktop knows no program for the file's type
    Failed,               // anything else: missing file, no desktop tools, access denied
};

// The external commands used on desktops without a shell API of their own.
// Tests replace them to script the desktop's answers.
struct DesktopCommands {
    // Runs program with arguments, waits, returns its standard output, or
    // nothing when it could not run or exited with an error.
    std::function<std::optional<QString>(const QString& program, const QStringList& arguments)> query;
    // Starts program with arguments without waiting; false when it could not start.
    std::function<bool(const QString& program, const QStringList& arguments)> start;
};

DesktopCommands systemDesktopCommands();

// Does not wait for the opened program.
OpenResult openWithAssociatedProgram(const QString& path);
OpenResult openWithAssociatedProgram(const QString& path, const DesktopCommands& commands);

}  // namespace platform
