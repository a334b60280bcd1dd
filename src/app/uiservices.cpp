#include "app/uiservices.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

QString applicationTitle() { return QStringLiteral("Quorvane"); }

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

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    return icon == MessageIcon::Critical      ? QMessageBox::Critical
           : icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                              : QMessageBox::Information;
}

}  // namespace

QString withTypeExtension(const QString& path, const QString& filter)
{
    const QFileInfo info(path);
    QString name = info.fileName();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty())
        return {};
    const QRegularExpressionMatch pattern = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    if (!name.contains(QLatin1Char('.')) && pattern.hasMatch())
        name += QLatin1Char('.') + pattern.captured(1);
    const QString folder = path.left(path.size() - info.fileName().size());
    return folder + name;
}

QString completeSaveName(const QString& path, const FileDialogRequest& request, int filterIndex)
{
    const int i = filterIndex - 1;
    return withTypeExtension(path, i >= 0 && i < request.filters.size() ? request.filters[i] : QString());
}

void QtUiServices::message(const QString& text, MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), applicationTitle(), text, QMessageBox::Ok, owner_);
    box.exec();
}

int QtUiServices::choose(const QString& text, MessageIcon icon, const QStringList& choices)
{
    QMessageBox box(boxIcon(icon), applicationTitle(), text, QMessageBox::NoButton, owner_);
    QList<QAbstractButton*> buttons;
    for (const QString& choice : choices) buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
    if (!buttons.isEmpty()) {
        box.setDefaultButton(static_cast<QPushButton*>(buttons.first()));
        box.setEscapeButton(buttons.last());
    }
    box.exec();
    const auto at = buttons.indexOf(box.clickedButton());
    return at < 0 ? int(choices.size()) - 1 : int(at);
}

void QtUiServices::report(const QString& text)
{
    QDialog dialog(owner_);
    dialog.setWindowTitle(applicationTitle());
    auto* layout = new QVBoxLayout(&dialog);
    auto* view = new QPlainTextEdit(text, &dialog);
    view->setObjectName(QStringLiteral("txtReport"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QPushButton* save = buttons->addButton(QObject::tr("Save As..."), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        FileDialogRequest request;
        request.title = QObject::tr("Save Report As");
        request.filters = {QObject::tr("Text (*.txt)")};
        const FileDialogResult chosen = runDialog(&dialog, request, true);
        if (!chosen.accepted)
            return;
        QSaveFile file(withTypeExtension(chosen.path, request.filters.constFirst()));
        QString lines = text;
        lines.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        if (!file.open(QIODevice::WriteOnly) || file.write(lines.toUtf8()) < 0 || !file.commit())
            QMessageBox(QMessageBox::Warning, applicationTitle(),
                        QObject::tr("The report could not be saved: %1. Choose another folder or name.")
                            .arg(file.errorString()),
                        QMessageBox::Ok, &dialog)
                .exec();
    });
    dialog.resize(720, 420);
    dialog.exec();
}

bool QtUiServices::question(const QString& text)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No, owner_);
    return box.exec() == QMessageBox::Yes;
}

FileDialogResult QtUiServices::openFile(const FileDialogRequest& request) { return runDialog(owner_, request, false); }

FileDialogResult QtUiServices::saveFile(const FileDialogRequest& request) { return runDialog(owner_, request, true); }

platform::OpenResult QtUiServices::openWithAssociatedProgram(const QString& path)
{
    return platform::openWithAssociatedProgram(path);
}
