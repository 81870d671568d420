#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <QString>

#include "platform/modal.h"

namespace testing_support {

// The modal interface for widget tests: answers every question from queues and records
// what was asked. A question with no answer queued fails the test and is answered with
// IDNO (or cancel).
class ScriptedModal final : public platform::IModal
{
public:
    struct Question
    {
        QString text;
        QString caption;
        unsigned flags;
    };

    // Queues the answer (IDYES, IDNO, IDOK) to the next message box.
    void answer(int button) { m_answers.push_back(button); }
    // Queues what the next open-file dialog gives (empty: cancelled).
    void chooseFiles(std::vector<std::string> paths) { m_files.push_back(std::move(paths)); }
    // Queues what happens to the next modal dialog: the function acts on it (fills fields,
    // presses buttons) and gives the dialog's result, as exec() would.
    void onDialog(std::function<int(QDialog *)> action) { m_dialogs.push_back(std::move(action)); }
    // Answers the message boxes that find no answer queued, instead of failing the test: for
    // tests that answer at random or by the question. Called after the box is recorded.
    std::function<int(const Question &)> unqueuedAnswer;

    int messageBox(
        QWidget *parent, const QString &text, const QString &caption, unsigned flags) override;
    std::vector<std::string> openFiles(
        QWidget *parent, const platform::OpenFilesRequest &request) override;
    int execDialog(QDialog *dialog) override;
    long spawn(const std::vector<std::string> &argv, const std::string &workDir,
        const QString &failureText, const QString &failureCaption) override;

    std::vector<Question> questions; // every message box, in order
    std::vector<platform::OpenFilesRequest> fileRequests;
    std::vector<QDialog *> dialogsShown;
    std::vector<std::vector<std::string>> spawned; // argv of every spawn
    std::vector<std::string> spawnedWorkDirs;
    long nextSpawnResult = 4242;

    bool allAnswersUsed() const
    {
        return m_answers.empty() && m_files.empty() && m_dialogs.empty();
    }

private:
    std::deque<int> m_answers;
    std::deque<std::vector<std::string>> m_files;
    std::deque<std::function<int(QDialog *)>> m_dialogs;
};

} // namespace testing_support
