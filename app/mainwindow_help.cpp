// The main window's shell execution, help page and version box.

#include <unistd.h>

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/programfiles.h"
#include "platform/modal.h"
#include "platform/paths.h"
#include "platform/programfolder.h"
#include "platform/textcodec.h"

long TForm1::ShellExecute(const std::string &FileName, const std::string &Params,
    const std::string &Verb, const std::string &WorkDir, int)
{
    // The desktop's opener knows one action, the default application: "OPEN" and "PLAY"
    // both go to it. It takes any argument that begins with "-" as an option and has no
    // "--", so a relative name is joined to the work folder first.
    (void)Verb;
    std::string workDir = WorkDir;
    if (workDir.empty()) {
        char buffer[4096];
        if (::getcwd(buffer, sizeof buffer))
            workDir = buffer;
    }
    std::string target = FileName;
    const bool isAddress
        = target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0;
    if (!isAddress && (target.empty() || target.front() != '/'))
        target = platform::AddBackslash(workDir) + target;
    // The opener takes one document and no parameters; the program never passes any.
    (void)Params;
    const std::vector<std::string> argv = {"xdg-open", target};
    const QString name
        = QString::fromStdString(platform::shownPath(platform::fileNamePart(target)));
    return platform::modal().spawn(argv, workDir,
        QString::fromUtf8(
            "%1 を開けません。ファイルがないか、開くアプリケーションが登録されていません。")
            .arg(name),
        name);
}

void TForm1::N15Click(QObject *)
{
    // The page in the current folder, else the copy beside the program: "ファイル追加" and
    // a start from another folder move the current folder away from it.
    char current[4096];
    const std::string page = app::findHelpPage(app::HelpPageName,
        ::getcwd(current, sizeof current) ? current : "", platform::programFolder());
    ShellExecute(page.empty() ? app::HelpPageName : page, "", "OPEN", "", 5);
}

void TForm1::About1Click(QObject *)
{
    platform::modal().execDialog(Form5);
}
