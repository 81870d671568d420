#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/runcontrol.h"
#include "tags/id3v2export.h"

namespace editing {

class ITagJournal;

// The export of many files' ID3v1 texts to ID3v2 tags as one batch of the undo journal.

constexpr char ExportBatchName[] = "ID3v2 タグに書き出す";

struct ExportProblem
{
    std::string path;
    platform::PathMessage message;
};

struct ExportRunResult
{
    // Not empty: nothing was written, for this reason (the batch would not fit the journal).
    std::string refusal;
    std::size_t written = 0;
    std::size_t nothing = 0;            // files that needed no frame
    std::vector<ExportProblem> refused; // as the preview shows them, with why
    std::vector<ExportProblem> failed;  // a write that failed; the file is as it was
    bool stopped = false;
};

class IExportReport : public platform::IRunControl
{
public:
    // A file done: written (the ID3v2 tag now holds `plan`), or left as it was.
    virtual void exported(const std::string & /*path*/, const tags::ExportPlan & /*plan*/) { }
};

// Why a batch whose journal records take `bytes` cannot be kept by a journal of `bound`
// bytes, or empty when it can.
std::string journalRoomRefusal(std::uint64_t bytes, std::uint64_t bound);

// Exports each file in turn. Every file is read first, to know what the journal must keep:
// a batch that would not fit its bound writes nothing. Then each file's Region record goes
// to `journal` before its one changing step (none: written without a record, the caller has
// decided so). The journal's lock is held by the caller or taken here for the batch. A file
// that fails is reported and the rest go on; a stop ends the run between files, with the files
// already written kept.
ExportRunResult runExport(const std::vector<std::string> &paths, const tags::ExportOptions &options,
    ITagJournal *journal, IExportReport &report, std::string_view batchName = ExportBatchName);

} // namespace editing
