#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "editing/journalformat.h"
#include "platform/error.h"
#include "platform/runcontrol.h"
#include "tags/id3v1.h"

namespace editing {

class JournalFile;
struct BatchSummary;

// A file undo or redo has put back: the path as the journal holds it and its last 128 bytes
// now (the empty record when the restore removed an appended tag).
struct RestoredFile
{
    std::string path;
    tags::TTagRecord tag;
};

// A file an undo or redo did not touch, and why, in the program's words.
struct LeftAloneFile
{
    enum class Why { Changed, Gone, Failed };
    std::string path;
    Why why = Why::Changed;
    platform::PathMessage message;
};

class IRestoreReport : public platform::IRunControl
{
public:
    virtual void restored(const RestoredFile &file) = 0;
    // A file of a batch of renames has been given its name back (or its new name again).
    virtual void renamed(const std::string & /*from*/, const std::string & /*to*/) { }
    // Told before a plain undo acts when the batch undone last left files alone: the undo
    // goes on to the batch before it.
    virtual void passingOver(const BatchSummary & /*partly*/, const BatchSummary & /*next*/) { }
};

struct RestoreResult
{
    bool nothingToDo = false; // no batch to undo (redo)
    std::uint64_t batch = 0;  // the batch taken
    std::size_t restored = 0; // files put back, or already as wanted
    std::vector<LeftAloneFile> leftAlone;
    // Files of the batch its journal lost to damage, and the paths of those still named.
    std::size_t lost = 0;
    std::vector<std::string> lostPaths;
};

// The text of a batch's lost files: "履歴が壊れています: N 個のファイルは戻せません".
std::string lostFilesMessage(std::size_t count);

// Undoes the newest batch not yet undone (kind Undo) or applies again the batch undone last
// (Redo) of the journals (one history, the one written first), as a run named `name` in the
// journal of that batch. Holds that journal's lock throughout and journals itself, so that an
// interrupted run can be finished by running it again. Failures of the journal itself throw
// platform::Error.
RestoreResult restoreLatest(const std::vector<JournalFile *> &journals, journal::RunKind kind,
    std::string_view name, IRestoreReport &report);
// Undoes batch `id` again, whatever came after it; nothingToDo when no journal holds it.
RestoreResult restoreBatch(const std::vector<JournalFile *> &journals, std::uint64_t id,
    std::string_view name, IRestoreReport &report);

} // namespace editing
