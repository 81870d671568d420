#pragma once

#include <memory>
#include <vector>

#include "editing/journalfile.h"
#include "editing/tagjournal.h"

namespace editing {

// The journals of the state folder and of the cache folder read as one history: a batch
// written into the cache folder's while the state folder was full stays reachable. Batches
// are merged by the time they (or the last undo or redo of them) began. New batches go
// into the first journal.
class JournalSet final : public TagJournal
{
public:
    explicit JournalSet(std::vector<std::unique_ptr<JournalFile>> files);

    const std::string &path() const override { return m_files.front()->path(); }
    std::optional<BatchSummary> nextUndo() override;
    std::optional<BatchSummary> nextRedo() override;
    std::vector<BatchSummary> history(std::size_t count) override;

    std::vector<JournalFile *> files() const;

private:
    std::vector<std::unique_ptr<JournalFile>> m_files;
};

// Holds the locks of several journals, always in the same order.
class JournalLocks
{
public:
    explicit JournalLocks(const std::vector<JournalFile *> &files);

private:
    std::vector<std::unique_ptr<JournalFile::Lock>> m_locks;
};

// The journals a TagJournal reads, the one it writes first; empty for another kind.
std::vector<JournalFile *> journalsOf(TagJournal &journal);

// Of the journals (their locks held), the one whose undo (redo) target was acted on last,
// and that target.
struct JournalTarget
{
    JournalFile *file = nullptr;
    std::uint64_t id = 0;
};
std::optional<JournalTarget> latestTarget(const std::vector<JournalFile *> &files, bool undo);

// The batch partly undone (its last undo left files alone) that an undo of `next` goes past
// for the first time: written after `next`, and no undo since its own has gone past it.
// The newest such batch; none when there is none. The journals' locks held.
std::vector<BatchSummary> partlyUndoneAbove(
    const std::vector<JournalFile *> &files, const BatchSummary &next);

} // namespace editing
