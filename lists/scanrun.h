#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "lists/row.h"
#include "platform/runcontrol.h"
#include "tags/tagfile.h"

namespace lists {

// Where a scan's rows go, and how the program stays alive while it runs.
class IScanHost : public platform::IRunControl
{
public:
    // Rows read since the last batch, in scan order.
    virtual void appendRows(std::vector<Row> rows) = 0;
    // Handles the events that are waiting (and repaints what shows the progress).
    virtual void handleWaitingEvents() = 0;
};

// Reads files' tags into rows for a list: one file at a time, or every audio file below a
// folder. Rows are handed to the host in batches: at every event step (at most one per
// `eventStep`, so that handling events costs less than reading files; the walk asks for one
// at every folder and entry, so they keep coming where no audio file is found) the rows read
// so far go to the host first, then the host handles waiting events, so every command that
// runs meanwhile sees every row. Each file read is reported as progress (its path, the count so
// far, no total). The rows still pending at the end are the caller's to flush().
class ScanRun final
{
public:
    explicit ScanRun(IScanHost &host, std::chrono::milliseconds eventStep);
    ScanRun(const ScanRun &) = delete;
    ScanRun &operator=(const ScanRun &) = delete;

    // Reads the file's tag, then adds its row. A file that cannot be read leaves no row: its
    // error leaves this function.
    void addFile(const std::string &path, tags::FileKind kind = tags::FileKind::Unknown);
    // Adds a row for every audio file below the folder, in walk order, until the walk ends,
    // a file cannot be read, or the host asks to stop. The tags are read ahead of their rows
    // (scanFolderReadingAhead); the rows, progress and errors are those of reading each file
    // in its turn.
    void scanFolder(const std::string &folder);
    // Hands the rows read since the last batch to the host.
    void flush();

    std::size_t filesRead() const { return m_filesRead; }

private:
    void addRow(const std::string &path, const tags::TTagRecord &tag);
    void eventStep();

    IScanHost &m_host;
    std::chrono::milliseconds m_eventStep;
    std::optional<std::chrono::steady_clock::time_point> m_lastStep; // none yet: step now
    std::vector<Row> m_pending;
    std::size_t m_filesRead = 0;
};

} // namespace lists
