#include "platform/openfile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace platform {

DesktopCommands systemDesktopCommands()
{
    DesktopCommands commands;
    commands.query = [](const QString& program, const QStringList& arguments) -> std::optional<QString> {
        QProcess process;
        process.start(program, arguments, QIODevice::ReadOnly);
        // xdg-mime asks the desktop's database; it answers in well under a second.
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(1000);
            return std::nullopt;
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    };
    commands.start = [](const QString& program, const QStringList& arguments) {
        // A fixed working folder, so the opened program does not hold ours.
        return QProcess::startDetached(program, arguments, QDir::rootPath());
    };
    return commands;
}

#ifdef Q_OS_WIN

OpenResult openWithAssociatedProgram(const QString& path, const DesktopCommands&)
{
    return openWithAssociatedProgram(path);
}

OpenResult openWithAssociatedProgram(const QString& path)
{
    const std::wstring file = QFileInfo(path).absoluteFilePath().toStdWString();
    const auto code = reinterpret_cast<INT_PTR>(
        ShellExecuteW(GetDesktopWindow(), L"open", file.c_str(), nullptr, L"C:\\", SW_SHOWNORMAL));
    if (code > 32)
        return OpenResult::Opened;
    if (code == SE_ERR_NOASSOC)
        return OpenResult::NoAssociatedProgram;
    return OpenResult::Failed;
}

#else

OpenResult openWithAssociatedProgram(const QString& path)
{
    return openWithAssociatedProgram(path, systemDesktopCommands());
}

// xdg-open gives no way to tell "no program for this type" from other
// failures, so the association is asked for first, as xdg-open would.
OpenResult openWithAssociatedProgram(const QString& path, const DesktopCommands& commands)
{
    const QFileInfo file(path);
    if (!file.isFile())
        return OpenResult::Failed;
    const QString absolute = file.absoluteFilePath();
    const auto type =
        commands.query(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("filetype"), absolute});
    if (!type)
        return OpenResult::Failed;
    // Some versions append parameters ("text/plain; charset=us-ascii").
    const QString mime = type->section(QLatin1Char(';'), 0, 0).trimmed();
    if (mime.isEmpty())
        return OpenResult::Failed;
    const auto program =
        commands.query(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mime});
    if (!program)
        return OpenResult::Failed;
    if (program->trimmed().isEmpty())
        return OpenResult::NoAssociatedProgram;
    if (!commands.start(QStringLiteral("xdg-open"), {absolute}))
        return OpenResult::Failed;
    return OpenResult::Opened;
}

#endif

}  // namespace platform
