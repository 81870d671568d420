#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QString>

class QDialog;
class QWidget;

namespace platform {

// Message-box flags and answers, with the values of the original platform's message box.
enum MessageBoxFlag : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5, // the buttons read "再試行" and "閉じる"
    MB_ICONERROR = 0x10,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100,
};
enum MessageBoxAnswer : int { IDOK = 1, IDCANCEL = 2, IDRETRY = 4, IDYES = 6, IDNO = 7 };

// What the open-file dialog is asked for.
struct OpenFilesRequest
{
    QString filter;        // e.g. "MPEG AUDIO(*.MP2;*.MP3) (*.MP2 *.MP3)"
    std::string directory; // where it opens; empty: the current directory
};

// Every modal step of the program passes through here: message boxes, the open-file dialog,
// modal dialogs (the folder chooser among them) and shell execution. The program uses the
// Qt implementation; tests install a scripted one that answers from a queue and records
// every question.
class IModal
{
public:
    virtual ~IModal() = default;

    // Shows a message box; gives IDOK, IDYES or IDNO.
    virtual int messageBox(
        QWidget *parent, const QString &text, const QString &caption, unsigned flags)
        = 0;
    // Lets the user choose existing files; gives their full paths as file-system bytes, in
    // the dialog's order, or nothing when cancelled.
    virtual std::vector<std::string> openFiles(QWidget *parent, const OpenFilesRequest &request)
        = 0;
    // Runs a dialog modally and gives its result (QDialog::Accepted or Rejected).
    virtual int execDialog(QDialog *dialog) = 0;
    // Starts a program from a byte argument vector (argv[0] found on PATH) in `workDir`,
    // never through a shell. Gives its process id, 0 when it could not be started. When it
    // could not be started or later exits non-zero, `failureText` is shown in a warning box
    // captioned `failureCaption`.
    virtual long spawn(const std::vector<std::string> &argv, const std::string &workDir,
        const QString &failureText, const QString &failureCaption)
        = 0;
};

// The one in use: the Qt implementation unless a test installed another.
IModal &modal();

class ScopedModal
{
public:
    explicit ScopedModal(IModal &replacement);
    ~ScopedModal();
    ScopedModal(const ScopedModal &) = delete;
    ScopedModal &operator=(const ScopedModal &) = delete;

private:
    IModal *m_previous;
};

// The Qt implementation.
class QtModal final : public IModal
{
public:
    int messageBox(
        QWidget *parent, const QString &text, const QString &caption, unsigned flags) override;
    std::vector<std::string> openFiles(QWidget *parent, const OpenFilesRequest &request) override;
    int execDialog(QDialog *dialog) override;
    long spawn(const std::vector<std::string> &argv, const std::string &workDir,
        const QString &failureText, const QString &failureCaption) override;
};

} // namespace platform
