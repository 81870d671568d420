#include "platform/modal.h"

#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <thread>

#include <spawn.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>

extern char **environ;

namespace platform {

namespace {
QtModal qtModal;
IModal *currentModal = &qtModal;
} // namespace

IModal &modal()
{
    return *currentModal;
}

ScopedModal::ScopedModal(IModal &replacement)
    : m_previous(currentModal)
{
    currentModal = &replacement;
}

ScopedModal::~ScopedModal()
{
    currentModal = m_previous;
}

int QtModal::messageBox(
    QWidget *parent, const QString &text, const QString &caption, unsigned flags)
{
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    // Plain text: a file name in the message must never be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((flags & 0xF) == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((flags & MB_DEFBUTTON2) ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    if ((flags & 0xF) == MB_RETRYCANCEL) {
        QPushButton *retry = box.addButton(QString::fromUtf8("再試行"), QMessageBox::AcceptRole);
        QPushButton *close = box.addButton(QString::fromUtf8("閉じる"), QMessageBox::RejectRole);
        box.setDefaultButton(close);
        box.setEscapeButton(close);
        box.exec();
        return box.clickedButton() == retry ? IDRETRY : IDCANCEL;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

std::vector<std::string> QtModal::openFiles(QWidget *parent, const OpenFilesRequest &request)
{
    QFileDialog dialog(parent);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails
        | QFileDialog::ReadOnly);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(request.filter);
    if (!request.directory.empty())
        dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(request.directory)));
    else
        dialog.setDirectory(QDir::currentPath());
    std::vector<std::string> paths;
    if (dialog.exec() != QDialog::Accepted)
        return paths;
    for (const QString &file : dialog.selectedFiles())
        paths.push_back(QFile::encodeName(file).toStdString());
    // As on the original platform, the current directory follows the chosen files.
    if (!paths.empty()) {
        const std::string &first = paths.front();
        const std::string folder = first.substr(0, std::max<std::size_t>(1, first.rfind('/')));
        if (::chdir(folder.c_str()) != 0) {
            // The folder went away meanwhile; the current directory stays.
        }
    }
    return paths;
}

int QtModal::execDialog(QDialog *dialog)
{
    return dialog->exec();
}

long QtModal::spawn(const std::vector<std::string> &argv, const std::string &workDir,
    const QString &failureText, const QString &failureCaption)
{
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    // The program ignores SIGXFSZ for itself; the opener gets the default back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        // No opener to start (xdg-open missing): the user hears of it as of one that failed.
        if (!failureText.isEmpty())
            modal().messageBox(nullptr, failureText, failureCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }

    // Reap the child when it ends, and tell the user when the opener could not open the
    // document: on the main thread, woken by the child's process descriptor, so nothing of
    // the window is touched from another thread. The watch ends with the application.
    QCoreApplication *const app = QCoreApplication::instance();
    const int pidFd = app ? static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    if (pidFd < 0) {
        // No application to tell, or a kernel without process descriptors: only reaped.
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        }).detach();
        return static_cast<long>(pid);
    }
    auto *const ended = new QSocketNotifier(pidFd, QSocketNotifier::Read, app);
    QObject::connect(ended, &QSocketNotifier::activated, ended,
        [ended, pid, pidFd, failureText, failureCaption] {
            ended->setEnabled(false);
            ended->deleteLater();
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
            ::close(pidFd);
            const bool failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
            if (failed && !failureText.isEmpty())
                modal().messageBox(
                    nullptr, failureText, failureCaption, MB_OK | MB_ICONEXCLAMATION);
        });
    return static_cast<long>(pid);
}

} // namespace platform
