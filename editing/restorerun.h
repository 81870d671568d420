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
};

struct RestoreResult
{
    bool nothingToDo = false; // no batch to undo (redo)
    std::size_t restored = 0; // files put back, or already as wanted
    std::vector<LeftAloneFile> leftAlone;
};

// Undoes the newest batch not yet undone (kind Undo) or applies again the batch undone last
// (Redo), as a run named `name` in the journal. Holds the journal's lock throughout and
// journals itself, so that an interrupted run can be finished by running it again. Failures
// of the journal itself throw platform::Error.
RestoreResult restoreLatest(
    JournalFile &journal, journal::RunKind kind, std::string_view name, IRestoreReport &report);

} // namespace editing
