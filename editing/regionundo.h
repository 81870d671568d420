#pragma once

#include <sys/stat.h>

#include <string>

#include "editing/journalformat.h"
#include "editing/restorerun.h"

namespace editing {

struct BatchFile;

// Undo and redo of a batch's replacement of a file's ID3v2 tag region.

// The steps of an undo or redo run's journal for one file: its decision, before the file is
// touched, and what the restore left.
class IRegionRestoreJournal
{
public:
    virtual ~IRegionRestoreJournal() = default;
    virtual void decided(const std::string &path, journal::RestoreAction action) = 0;
    virtual void left(const std::string &path, const struct stat &status) = 0;
};

struct RegionRestore
{
    enum class Outcome { Restored, AlreadyDone, LeftAlone, Failed };
    Outcome outcome = Outcome::Restored;
    LeftAloneFile file;   // LeftAlone and Failed: why
    tags::TTagRecord tag; // Restored and AlreadyDone: the ID3v1 tag the file keeps
};

// Puts back the region the file had before the batch (undo) or the one the batch wrote (redo)
// by the same safe write as the export (replaceTagRegion), when the file is the one the batch
// (or the last run on it) left: with the record of what that left, the same file, size and
// time; without it (a kill came first), its bytes alone decide, and a write in place torn by
// a kill, each page old or new, is finished. Anything else is left alone. Told to `journal`
// as RestoreRun tells its own steps.
RegionRestore restoreRegion(const BatchFile &file, bool undo, IRegionRestoreJournal &journal);

} // namespace editing
