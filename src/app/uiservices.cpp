#include "app/uiservices.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QMessageBox>

namespace {

QString applicationTitle()
{
    return QStringLiteral("Quorvane");
}

int filterPosition(const FileDialogRequest& request, const QString& chosen)
{
    const auto at = request.filters.indexOf(chosen);
    return at < 0 ? request.filterIndex : int(at) + 1;
}

QString preselected(const FileDialogRequest& request)
{
    const int i = request.filterIndex - 1;
    return i >= 0 && i < request.filters.size() ? request.filters[i] : QString();
}

QString startPath(const FileDialogRequest& request)
{
    if (request.fileName.isEmpty())
        return request.folder;
    if (QFileInfo(request.fileName).isAbsolute() || request.folder.isEmpty())
        return request.fileName;
    return request.folder + QLatin1Char('/') + request.fileName;
}

FileDialogResult runDialog(QWidget* owner, const FileDialogRequest& request, bool save)
{
    QFileDialog dialog(owner, request.title, startPath(request));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name of a file that does not exist is accepted, as the program expects.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(save && request.confirmOverwrite));
    dialog.setNameFilters(request.filters);
    if (const QString filter = preselected(request); !filter.isEmpty())
        dialog.selectNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {true, dialog.selectedFiles().constFirst(), filterPosition(request, dialog.selectedNameFilter())};
}

} // namespace

QString completeSaveName(const QString& path, const FileDialogRequest& request, int filterIndex)
{
    const QFileInfo info(path);
    QString name = info.fileName().trimmed();
    if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
        name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty())
        return {};
    if (QFileInfo(name).suffix().isEmpty()) {
        const int i = filterIndex - 1;
        const QString filter = i >= 0 && i < request.filters.size() ? request.filters[i] : QString();
        // "Template Files (*.xat)" -> ".xat"
        static const QRegularExpression firstPattern(QStringLiteral(R"(\(\*(\.[^ ;)*?]+))"));
        if (const QRegularExpressionMatch m = firstPattern.match(filter); m.hasMatch())
            name += m.captured(1);
    }
    return info.path() + u'/' + name;
}

void QtUiServices::message(const QString& text, MessageIcon icon)
{
    const QMessageBox::Icon shown = icon == MessageIcon::Critical      ? QMessageBox::Critical
                                    : icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                                       : QMessageBox::Information;
    QMessageBox box(shown, applicationTitle(), text, QMessageBox::Ok, owner_);
    box.exec();
}

bool QtUiServices::question(const QString& text)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No, owner_);
    return box.exec() == QMessageBox::Yes;
}

FileDialogResult QtUiServices::openFile(const FileDialogRequest& request)
{
    return runDialog(owner_, request, false);
}

FileDialogResult QtUiServices::saveFile(const FileDialogRequest& request)
{
    return runDialog(owner_, request, true);
}

platform::OpenResult QtUiServices::openWithAssociatedProgram(const QString& path)
{
    return platform::openWithAssociatedProgram(path);
}

void ScriptedUiServices::message(const QString& text, MessageIcon icon)
{
    messages.push_back({text, icon});
}

bool ScriptedUiServices::question(const QString& text)
{
    questions.push_back(text);
    if (questionAnswers.empty())
        return false;
    const bool answer = questionAnswers.front();
    questionAnswers.pop_front();
    return answer;
}

FileDialogResult ScriptedUiServices::openFile(const FileDialogRequest& request)
{
    openRequests.push_back(request);
    if (openAnswers.empty())
        return {};
    FileDialogResult answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

FileDialogResult ScriptedUiServices::saveFile(const FileDialogRequest& request)
{
    saveRequests.push_back(request);
    if (saveAnswers.empty())
        return {};
    FileDialogResult answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

platform::OpenResult ScriptedUiServices::openWithAssociatedProgram(const QString& path)
{
    openedFiles.push_back(path);
    return openResult;
}
