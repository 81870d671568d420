#include "editing/renameundo.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/pathwatch.h"

namespace editing {

using journal::RestoreAction;

JournaledRenames::JournaledRenames(ITagJournal *journal)
    : m_journal(journal)
{ }

JournaledRenames::~JournaledRenames()
{
    if (!m_open)
        return;
    std::string end;
    journal::appendEnd(end, m_id);
    m_journal->endBatch(end);
}

void JournaledRenames::begin(const std::vector<PlannedRename> &plan)
{
    if (!m_journal || m_open || plan.empty())
        return;
    std::string records;
    m_id = m_journal->beginBatch(RenameBatchName);
    m_open = true;
    for (const PlannedRename &rename : plan)
        journal::appendRename(records, m_id,
            {platform::absolutePath(rename.path), platform::absolutePath(rename.newPath),
                static_cast<std::uint64_t>(rename.device), static_cast<std::uint64_t>(rename.inode),
                rename.birth});
    m_journal->appendRecords(records);
}

namespace {

const char *const ReplacedMessage = "名前の変更の後で別のファイルに置き換わりました";
const char *const TakenMessage = "戻す先の名前はほかのファイルが使っています";
const char *const GoneMessage = "見つかりません";

enum class Names { This, Other, None, Unreadable };

// What a name names now: the renamed file, another one, nothing.
Names named(const std::string &path, const journal::RenameRecord &rename, nlink_t *links = nullptr)
{
    struct stat st;
    if (platform::fileSystem().stat(path.c_str(), &st, false) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Names::None : Names::Unreadable;
    if (links)
        *links = st.st_nlink;
    if (st.st_dev != dev_t(rename.device) || st.st_ino != ino_t(rename.inode))
        return Names::Other;
    // A file made later under a freed inode number is another file.
    const long long birth = rename.birth ? platform::birthTime(path.c_str()) : 0;
    return birth && birth != rename.birth ? Names::Other : Names::This;
}

} // namespace

bool restoreRenames(const std::vector<journal::RenameRecord> &renames, journal::RunKind kind,
    const std::function<void(const std::string &, journal::RestoreAction)> &record,
    IRestoreReport &report, RestoreResult &result)
{
    const bool undo = kind == journal::RunKind::Undo;
    const auto leave
        = [&](const std::string &path, LeftAloneFile::Why why, platform::PathMessage message) {
              record(path, RestoreAction::LeftAlone);
              result.leftAlone.push_back({path, why, std::move(message)});
          };
    for (std::size_t done = 0; done < renames.size(); ++done) {
        if (report.stopRequested())
            return false;
        const journal::RenameRecord &rename = renames[undo ? renames.size() - 1 - done : done];
        const std::string &from = undo ? rename.newPath : rename.path;
        const std::string &to = undo ? rename.path : rename.newPath;
        report.progress({done + 1, renames.size(), from});
        nlink_t links = 0;
        const Names source = named(from, rename, &links);
        const Names target = named(to, rename);
        if (source == Names::This && target == Names::This && links > 1) {
            // Both names link the file (a run killed between the link and the unlink of a
            // file system without the no-replace flag): the name it is to leave goes.
            record(from, RestoreAction::Restore);
            if (platform::fileSystem().unlink(from.c_str()) != 0) {
                result.leftAlone.push_back(
                    {from, LeftAloneFile::Why::Failed, platform::cannotWriteMessage(from)});
                continue;
            }
        } else if (source == Names::This && (target == Names::None || target == Names::This)) {
            // Free, or the same file under a name that differs in case only (FAT).
            record(from, RestoreAction::Restore);
            const int error = platform::renameWithoutReplacing(
                from.c_str(), to.c_str(), dev_t(rename.device), ino_t(rename.inode));
            // Taken or replaced by another program since the look just now.
            if (error == EEXIST || error == platform::NotTheExpectedFile) {
                result.leftAlone.push_back({from, LeftAloneFile::Why::Changed,
                    {error == EEXIST ? TakenMessage : ReplacedMessage, {}, {}}});
                continue;
            }
            if (error != 0) {
                result.leftAlone.push_back(
                    {from, LeftAloneFile::Why::Failed, platform::cannotWriteMessage(from)});
                continue;
            }
        } else if (source == Names::This) {
            leave(from, LeftAloneFile::Why::Changed, {TakenMessage, {}, {}});
            continue;
        } else if (target == Names::This) {
            record(to, RestoreAction::AlreadyDone);
            ++result.restored;
            continue;
        } else if (source == Names::None) {
            leave(from, LeftAloneFile::Why::Gone, {GoneMessage, {}, {}});
            continue;
        } else if (source == Names::Other) {
            leave(from, LeftAloneFile::Why::Changed, {ReplacedMessage, {}, {}});
            continue;
        } else {
            leave(from, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(from));
            continue;
        }
        platform::tellPathChanged(from);
        platform::tellPathChanged(to);
        ++result.restored;
        report.renamed(from, to);
    }
    return true;
}

} // namespace editing
