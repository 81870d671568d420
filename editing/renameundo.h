#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/journalformat.h"
#include "editing/restorerun.h"
#include "editing/tagjournal.h"

namespace editing {

// The name of a batch of renames in the journal and the history.
constexpr const char *RenameBatchName = "ファイル名の変更";

// A file a rename run is about to rename.
struct PlannedRename
{
    std::string path;
    std::string newPath;
    dev_t device = 0;
    ino_t inode = 0;
    long long birth = 0; // platform::birthTime of the file, 0 when not told
};

// A run of renames kept in the journal as one batch: its whole plan goes in one append before
// the first file is renamed, so that undo knows every file a run cut short may have renamed.
// The batch ends (and the journal's lock is given up) when the object goes.
class JournaledRenames
{
public:
    // No journal (null): nothing is recorded.
    explicit JournaledRenames(ITagJournal *journal);
    ~JournaledRenames();
    JournaledRenames(const JournaledRenames &) = delete;
    JournaledRenames &operator=(const JournaledRenames &) = delete;

    // Begins the batch and records the plan, the paths made absolute. Throws platform::Error
    // when the journal cannot take it: then nothing may be renamed.
    void begin(const std::vector<PlannedRename> &plan);

private:
    ITagJournal *m_journal;
    std::uint64_t m_id = 0;
    bool m_open = false;
};

// Puts the files of a batch of renames back under their old names (undo, the last renamed
// first) or gives them their new names again (redo, in the plan's order). A file moves only
// when the name it is to leave still names the very file the batch renamed (device and inode)
// and the name it is to take is free; otherwise it is left alone and reported, as a tag undo
// does. `record` is told of each decision before it is acted on. False when stopped.
bool restoreRenames(const std::vector<journal::RenameRecord> &renames, journal::RunKind kind,
    const std::function<void(const std::string &, journal::RestoreAction)> &record,
    IRestoreReport &report, RestoreResult &result);

} // namespace editing
