#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/tagwriter.h"
#include "platform/error.h"
#include "platform/runcontrol.h"
#include "tags/id3v1.h"

namespace editing {

// The journal of every tag write the program makes, kept so that a batch of writes can be
// undone and redone after the files were saved, across restarts, by the window and the
// companion alike. It is one file that only grows by appending, each record with a
// checksum; a torn or damaged tail is ignored. It is written in $XDG_STATE_HOME/bellwick/
// (default ~/.local/state/bellwick/), else (that folder full or read-only) in
// $XDG_CACHE_HOME/bellwick/; the journals of both folders are read as one history.

// The folders of the journal, the state folder's first ("" when it has no base: no
// XDG variable nor HOME).
std::vector<std::string> journalFolders();

// A batch as the undo list shows it.
struct BatchSummary
{
    std::uint64_t id = 0;
    std::int64_t startedAt = 0; // seconds since the epoch, local time is the reader's business
    std::string name;           // "タグ変更", "タグ一括設定", "bellwick-cli set", ...
    std::size_t files = 0;      // distinct files the batch wrote
    bool undone = false;
    bool damaged = false;      // some of its records could not be read
    std::size_t leftAlone = 0; // files its last undo left alone
    std::int64_t stamp = 0;    // when it began, in nanoseconds since the epoch
    std::int64_t order = 0;    // when it or the last undo or redo of it began (nanoseconds)
    // The next undo only: the batch partly undone that it goes past, said before it acts
    // (none, or one).
    std::vector<BatchSummary> passesOver;
};

class TagJournal
{
public:
    virtual ~TagJournal() = default;

    // Opens (creating it when needed) the journal in the state folder, or in the cache folder
    // when the state folder cannot be written; nullptr when neither can. The journal of the
    // other folder, when there is one, is read with it. Reads nothing of them yet.
    // One object serves a whole process: a batch holds the journal's lock from its begin to
    // its end, and a second object, even in the same thread, waits for that end as another
    // process does.
    static std::unique_ptr<TagJournal> open();

    // The journal file in use.
    virtual const std::string &path() const = 0;

    // Read anew from the file on each call, so that batches another process appended since
    // are seen. The batch the next undo would take, and the one the next redo would take.
    virtual std::optional<BatchSummary> nextUndo() = 0;
    virtual std::optional<BatchSummary> nextRedo() = 0;
    // The last `count` batches, newest first (undo and redo runs are not batches).
    virtual std::vector<BatchSummary> history(std::size_t count) = 0;
};

// Writes into the files and records each write in the journal, inside batches. With no
// journal (null), each batch first asks `mayWriteWithoutJournal` (the window asks its user
// once per session; the companion answers by its --no-journal option).
class JournaledTagWriter final : public ITagWriter
{
public:
    JournaledTagWriter(
        std::shared_ptr<TagJournal> journal, std::function<bool()> mayWriteWithoutJournal);
    ~JournaledTagWriter() override;

    tags::WriteOutcome write(const std::string &path, const tags::Block &block) override;
    tags::WriteOutcome write(const std::string &path, const tags::TagMerge &merge) override;
    bool beginBatch(std::string_view name) override;
    void endBatch() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

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

// Undoes the newest batch not yet undone / applies again the batch undone last. Holds the
// journal's lock throughout and journals itself, so that an interrupted run can be finished
// by running it again. Failures of the journal itself throw platform::Error.
RestoreResult undoLatest(TagJournal &journal, IRestoreReport &report);
RestoreResult redoLatest(TagJournal &journal, IRestoreReport &report);
// Undoes batch `id` again, whatever came after it: the retry for files an undo left alone.
// nothingToDo when the journals hold no such batch.
RestoreResult undoBatch(TagJournal &journal, std::uint64_t id, IRestoreReport &report);

} // namespace editing
