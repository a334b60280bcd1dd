#pragma once
// Dialogs, message boxes and the desktop, as the main window asks for them.
// The window talks only to this interface, so tests answer without a person
// (ScriptedUiServices below); QtUiServices is the real one.

#include "platform/openfile.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

class QWidget;

enum class MessageIcon { Information, Exclamation, Critical };

struct FileDialogRequest {
    QString title;
    QString folder;          // where the dialog opens
    QString fileName;        // preset name, may be empty or a full path
    QStringList filters;     // Qt name filters: "Drawing Files (*.dwg)"
    int filterIndex = 1;     // 1-based, the preselected filter
    bool confirmOverwrite = true; // save dialogs only
};

struct FileDialogResult {
    bool accepted = false;   // false: the user cancelled
    QString path;            // full path of the chosen file
    int filterIndex = 1;     // 1-based, the filter chosen in the dialog
};

// The file a save dialog's answer stands for. A name typed in double quotes
// is taken as the text inside them; the chosen file type's extension (its
// first pattern's) is added when the name has none. Empty when no name is left.
QString completeSaveName(const QString& path, const FileDialogRequest& request, int filterIndex);

class UiServices {
public:
    virtual ~UiServices() = default;
    // A message box titled "Quorvane" with one OK button; waits for the user.
    virtual void message(const QString& text, MessageIcon icon) = 0;
    // A Yes/No box titled "Quorvane"; true for Yes.
    virtual bool question(const QString& text) = 0;
    virtual FileDialogResult openFile(const FileDialogRequest& request) = 0;
    virtual FileDialogResult saveFile(const FileDialogRequest& request) = 0;
    virtual platform::OpenResult openWithAssociatedProgram(const QString& path) = 0;
};

class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    void message(const QString& text, MessageIcon icon) override;
    bool question(const QString& text) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;
    platform::OpenResult openWithAssociatedProgram(const QString& path) override;

private:
    QWidget* owner_;
};

// Answers from queues filled by a test, and records every request. An empty
// queue answers "cancel" to a file dialog and "No" to a question.
class ScriptedUiServices : public UiServices {
public:
    struct Message {
        QString text;
        MessageIcon icon;
    };

    std::vector<Message> messages;
    std::vector<QString> questions;
    std::deque<bool> questionAnswers;
    std::vector<FileDialogRequest> openRequests;
    std::deque<FileDialogResult> openAnswers;
    std::vector<FileDialogRequest> saveRequests;
    std::deque<FileDialogResult> saveAnswers;
    std::vector<QString> openedFiles;
    platform::OpenResult openResult = platform::OpenResult::Opened;

    // Convenience for scripting: the next open/save dialog picks path.
    void answerOpen(const QString& path, int filterIndex = 1) { openAnswers.push_back({true, path, filterIndex}); }
    void answerSave(const QString& path, int filterIndex = 1) { saveAnswers.push_back({true, path, filterIndex}); }
    void cancelOpen() { openAnswers.push_back({}); }
    void cancelSave() { saveAnswers.push_back({}); }

    void message(const QString& text, MessageIcon icon) override;
    bool question(const QString& text) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;
    platform::OpenResult openWithAssociatedProgram(const QString& path) override;
};
