#include "tests/support/scriptedmodal.h"

#include <gtest/gtest.h>

#include <QDialog>

namespace testing_support {

int ScriptedModal::messageBox(
    QWidget *, const QString &text, const QString &caption, unsigned flags)
{
    questions.push_back({text, caption, flags});
    if (m_answers.empty() && unqueuedAnswer)
        return unqueuedAnswer(Question {text, caption, flags});
    if (m_answers.empty()) {
        ADD_FAILURE() << "unexpected message box: " << text.toStdString();
        if ((flags & 0xF) == platform::MB_RETRYCANCEL)
            return platform::IDCANCEL;
        return (flags & 0xF) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::vector<std::string> ScriptedModal::openFiles(
    QWidget *, const platform::OpenFilesRequest &request)
{
    fileRequests.push_back(request);
    if (m_files.empty()) {
        ADD_FAILURE() << "unexpected open-file dialog";
        return {};
    }
    std::vector<std::string> files = std::move(m_files.front());
    m_files.pop_front();
    return files;
}

int ScriptedModal::execDialog(QDialog *dialog)
{
    dialogsShown.push_back(dialog);
    if (m_dialogs.empty()) {
        ADD_FAILURE() << "unexpected dialog: " << dialog->windowTitle().toStdString();
        return QDialog::Rejected;
    }
    const std::function<int(QDialog *)> action = std::move(m_dialogs.front());
    m_dialogs.pop_front();
    return action(dialog);
}

long ScriptedModal::spawn(const std::vector<std::string> &argv, const std::string &workDir,
    const QString &, const QString &)
{
    spawned.push_back(argv);
    spawnedWorkDirs.push_back(workDir);
    return nextSpawnResult;
}

} // namespace testing_support
