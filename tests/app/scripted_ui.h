#pragma once
// The window's dialogs answered from queues a test fills, with every request
// recorded. An empty queue answers "cancel" to a file dialog and "No" to a
// question; a choice is answered by its first button.

#include "app/uiservices.h"

#include <deque>
#include <functional>
#include <vector>

class ScriptedUiServices : public UiServices {
public:
    struct Message {
        QString text;
        MessageIcon icon;
    };

    std::vector<Message> messages;
    std::vector<QString> questions;
    std::deque<bool> questionAnswers;
    std::vector<QString> choicesAsked;
    std::function<void()> whileChoosing;  // runs before a choice is answered
    std::vector<QString> reports;
    std::vector<FileDialogRequest> openRequests;
    std::deque<FileDialogResult> openAnswers;
    std::vector<FileDialogRequest> saveRequests;
    std::deque<FileDialogResult> saveAnswers;
    std::vector<QString> openedFiles;
    platform::OpenResult openResult = platform::OpenResult::Opened;

    void answerOpen(const QString& path, int filterIndex = 1) { openAnswers.push_back({true, path, filterIndex}); }
    void answerSave(const QString& path, int filterIndex = 1) { saveAnswers.push_back({true, path, filterIndex}); }
    void cancelSave() { saveAnswers.push_back({}); }

    void message(const QString& text, MessageIcon icon) override { messages.push_back({text, icon}); }
    bool question(const QString& text) override { return questions.push_back(text), next(questionAnswers, false); }
    int choose(const QString& text, MessageIcon, const QStringList&) override
    {
        choicesAsked.push_back(text);
        if (whileChoosing)
            whileChoosing();
        return 0;
    }
    void report(const QString& text) override { reports.push_back(text); }
    FileDialogResult openFile(const FileDialogRequest& r) override
    {
        return openRequests.push_back(r), next(openAnswers, {});
    }
    FileDialogResult saveFile(const FileDialogRequest& r) override
    {
        return saveRequests.push_back(r), next(saveAnswers, {});
    }
    platform::OpenResult openWithAssociatedProgram(const QString& path) override
    {
        return openedFiles.push_back(path), openResult;
    }

private:
    template <typename T>
    static T next(std::deque<T>& queue, const T& otherwise)
    {
        const T answer = queue.empty() ? otherwise : queue.front();
        if (!queue.empty())
            queue.pop_front();
        return answer;
    }
};
