#include "editing/journalset.h"

#include <algorithm>

namespace editing {

JournalSet::JournalSet(std::vector<std::unique_ptr<JournalFile>> files, std::string elsewhere)
    : m_written(files.front().get())
    , m_files(std::move(files))
    , m_elsewhere(std::move(elsewhere))
{ }

std::vector<JournalFile *> JournalSet::files()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_elsewhere.empty()) {
        if (auto other = JournalFile::openExisting(m_elsewhere)) {
            m_files.push_back(std::move(other));
            m_elsewhere.clear();
        }
    }
    std::vector<JournalFile *> result;
    for (const auto &file : m_files)
        result.push_back(file.get());
    return result;
}

JournalLocks::JournalLocks(const std::vector<JournalFile *> &files)
{
    for (JournalFile *file : files)
        m_locks.push_back(std::make_unique<JournalFile::Lock>(*file));
}

std::optional<JournalTarget> latestTarget(const std::vector<JournalFile *> &files, bool undo)
{
    std::optional<JournalTarget> best;
    std::int64_t bestOrder = 0;
    for (JournalFile *file : files) {
        const std::optional<std::uint64_t> id = undo ? file->undoTarget() : file->redoTarget();
        if (!id)
            continue;
        const std::int64_t order = file->lastActed(*id);
        if (!best || order > bestOrder) {
            best = JournalTarget {file, *id};
            bestOrder = order;
        }
    }
    return best;
}

std::vector<BatchSummary> partlyUndoneAbove(
    const std::vector<JournalFile *> &files, const BatchSummary &next)
{
    std::vector<JournalFile::UndoRun> runs;
    std::vector<BatchSummary> candidates;
    for (JournalFile *file : files) {
        std::vector<JournalFile::UndoRun> some = file->undoRuns();
        runs.insert(runs.end(), some.begin(), some.end());
        std::vector<BatchSummary> partly = file->partlyUndone();
        candidates.insert(candidates.end(), partly.begin(), partly.end());
    }
    std::vector<BatchSummary> found;
    for (const BatchSummary &partly : candidates) {
        if (partly.stamp <= next.stamp || (!found.empty() && partly.order <= found[0].order))
            continue;
        const bool passed = std::any_of(runs.begin(), runs.end(), [&](const auto &run) {
            return run.stamp > partly.order && run.targetStamp < partly.stamp;
        });
        if (!passed)
            found.assign(1, partly);
    }
    return found;
}

// The menu's captions read without any lock: a batch of another process may be under way.
std::optional<BatchSummary> JournalSet::nextUndo()
{
    const std::vector<JournalFile *> journals = files();
    const auto target = latestTarget(journals, true);
    std::optional<BatchSummary> next = target ? target->file->summaryOf(target->id) : std::nullopt;
    if (next)
        next->passesOver = partlyUndoneAbove(journals, *next);
    return next;
}

std::optional<BatchSummary> JournalSet::nextRedo()
{
    const std::vector<JournalFile *> journals = files();
    const auto target = latestTarget(journals, false);
    return target ? target->file->summaryOf(target->id) : std::nullopt;
}

std::vector<BatchSummary> JournalSet::history(std::size_t count)
{
    std::vector<BatchSummary> merged;
    for (JournalFile *file : files()) {
        std::vector<BatchSummary> some = file->history(count);
        merged.insert(merged.end(), some.begin(), some.end());
    }
    std::stable_sort(merged.begin(), merged.end(),
        [](const BatchSummary &a, const BatchSummary &b) { return a.stamp > b.stamp; });
    if (merged.size() > count)
        merged.resize(count);
    return merged;
}

std::string JournalSet::batchInProgress()
{
    // An undo of a batch in the other folder's journal is written there.
    for (JournalFile *file : files()) {
        std::string name = file->batchInProgress();
        if (!name.empty())
            return name;
    }
    return {};
}

std::uint64_t JournalSet::beginBatch(std::string_view name)
{
    // Ids stay apart from those of the other folder's journal, so that a batch number names
    // one batch. Those journals are read, not locked: a batch of theirs written meanwhile
    // has a time of its own, and the ids of its set keep above this one's in turn.
    for (JournalFile *other : files()) {
        if (other != m_written)
            m_written->keepIdsAbove(other->lookedMaxId());
    }
    return m_written->beginBatch(name);
}

RestoreResult JournalSet::undo(std::string_view name, IRestoreReport &report)
{
    return restoreLatest(files(), journal::RunKind::Undo, name, report);
}

RestoreResult JournalSet::redo(std::string_view name, IRestoreReport &report)
{
    return restoreLatest(files(), journal::RunKind::Redo, name, report);
}

RestoreResult JournalSet::undoBatch(std::uint64_t id, std::string_view name, IRestoreReport &report)
{
    return restoreBatch(files(), id, name, report);
}

} // namespace editing
