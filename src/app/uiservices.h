#pragma once
// Dialogs, message boxes and the desktop, as the main window asks for them.
// The window talks only to this interface, so tests answer without a person
// (their scripted services live under tests/app); QtUiServices is the real one.

#include "platform/openfile.h"

#include <QString>
#include <QStringList>

class QWidget;

enum class MessageIcon { Information, Exclamation, Critical };

struct FileDialogRequest {
    QString title;
    QString folder;                // where the dialog opens
    QString fileName;              // preset name, may be empty or a full path
    QStringList filters;           // Qt name filters: "Drawing Files (*.dwg)"
    int filterIndex = 1;           // 1-based, the preselected filter
    bool confirmOverwrite = true;  // save dialogs only
};

struct FileDialogResult {
    bool accepted = false;  // false: the user cancelled
    QString path;           // full path of the chosen file
    int filterIndex = 1;    // 1-based, the filter chosen in the dialog
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

// The path with the chosen file type's extension ("Text (*.txt)": ".txt")
// added when its name has none; a name typed between double quotes is the
// text inside them. Empty when no name is left ("").
QString withTypeExtension(const QString& path, const QString& filter);
// The same for a save dialog's answer: the type is the request's filter at
// the chosen 1-based index.
QString completeSaveName(const QString& path, const FileDialogRequest& request, int filterIndex);
