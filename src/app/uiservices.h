#pragma once
// Dialogs, message boxes and the desktop, as the main window asks for them.
// The window talks only to this interface, so tests answer without a person
// (ScriptedUiServices below); QtUiServices is the real one.

#include "platform/openfile.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
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

class UiServices {
public:
    virtual ~UiServices() = default;
    // A message box titled "Quorvane" with one OK button; waits for the user.
    virtual void message(const QString& text, MessageIcon icon) = 0;
    // A Yes/No box titled "Quorvane"; true for Yes.
    virtual bool question(const QString& text) = 0;
    // A message box with a button per choice; the 0-based choice clicked.
    // Escape picks the last.
    virtual int choose(const QString& text, MessageIcon icon, const QStringList& choices) = 0;
    // A long text the user can read, copy and save as a text file.
    virtual void report(const QString& text) = 0;
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
    int choose(const QString& text, MessageIcon icon, const QStringList& choices) override;
    void report(const QString& text) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;
    platform::OpenResult openWithAssociatedProgram(const QString& path) override;

private:
    QWidget* owner_;
};

// Answers from queues filled by a test, and records every request. An empty
// queue answers "cancel" to a file dialog, "No" to a question and the first
// choice to a choice.
class ScriptedUiServices : public UiServices {
public:
    struct Message {
        QString text;
        MessageIcon icon;
    };

    std::vector<Message> messages;
    std::vector<QString> questions;
    std::deque<bool> questionAnswers;
    struct Choice {
        QString text;
        QStringList choices;
    };
    std::vector<Choice> choicesAsked;
    std::deque<int> choiceAnswers;
    std::function<void()> whileChoosing;  // runs before a choice is answered
    std::vector<QString> reports;
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
    int choose(const QString& text, MessageIcon icon, const QStringList& choices) override;
    void report(const QString& text) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;
    platform::OpenResult openWithAssociatedProgram(const QString& path) override;
};

// The path with the chosen file type's extension ("Text (*.txt)": ".txt")
// added when its name has none; a name typed between double quotes is the
// text inside them. Empty when no name is left ("").
QString withTypeExtension(const QString& path, const QString& filter);
// The same for a save dialog's answer: the type is the request's filter at
// the chosen 1-based index.
QString completeSaveName(const QString& path, const FileDialogRequest& request, int filterIndex);
