#include "editing/exportrun.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "editing/journalfile.h"
#include "editing/journalformat.h"
#include "editing/tagjournal.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/scopeguard.h"
#include "tags/tagregion.h"

namespace editing {

namespace {

std::string mebibytes(std::uint64_t bytes)
{
    const std::uint64_t tenths = (bytes * 10 + (1u << 20) - 1) >> 20;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MiB";
}

// Keeps each file's Region record in the journal before its change, and a Left record of what
// the change left with the next record (or the batch's end).
class RegionJournal final : public tags::ITagRegionObserver
{
public:
    RegionJournal(ITagJournal &journal, std::uint64_t id)
        : m_journal(journal)
        , m_id(id)
    { }

    void aboutToReplace(const std::string &path, const struct stat &status,
        const tags::TagRegionChange &change) override
    {
        journal::RegionRecord record;
        record.path = platform::absolutePath(path);
        record.device = status.st_dev;
        record.inode = status.st_ino;
        record.size = change.fileSize;
        record.newSize
            = change.fileSize - off_t(change.oldRegion.size()) + off_t(change.newRegion.size());
        record.mode = status.st_mode;
        record.mtimeSeconds = status.st_mtim.tv_sec;
        record.mtimeNanoseconds = status.st_mtim.tv_nsec;
        record.hasTail = change.tail.has_value();
        if (change.tail)
            record.tail = *change.tail;
        record.oldRegion = change.oldRegion;
        record.newRegion = change.newRegion;
        const std::size_t waiting = m_records.size();
        try {
            journal::appendRegion(m_records, m_id, record);
            m_journal.appendRecords(m_records);
        } catch (const std::length_error &) {
            m_records.resize(waiting);
            throw platform::Error(
                journalRoomRefusal(journal::regionPayloadSize(record.path.size(),
                                       record.oldRegion.size(), record.newRegion.size()),
                    journal::MaxPayload));
        } catch (...) {
            m_records.resize(waiting);
            throw;
        }
        m_records.clear();
    }

    void replaced(const std::string &path) override
    {
        struct stat st;
        if (platform::fileSystem().stat(path.c_str(), &st, true) != 0)
            return;
        journal::appendLeft(m_records, m_id,
            {platform::absolutePath(path), static_cast<std::uint64_t>(st.st_dev),
                static_cast<std::uint64_t>(st.st_ino), st.st_size, st.st_mtim.tv_sec,
                st.st_mtim.tv_nsec});
    }

    void end()
    {
        journal::appendEnd(m_records, m_id);
        m_journal.endBatch(m_records);
        m_records.clear();
    }

private:
    ITagJournal &m_journal;
    std::uint64_t m_id;
    std::string m_records;
};

ExportProblem problemOf(const std::string &path, const platform::Error &error)
{
    return {path, error.message()};
}

} // namespace

std::string journalRoomRefusal(std::uint64_t bytes, std::uint64_t bound)
{
    if (bytes <= bound)
        return {};
    return "元に戻すために履歴に残すタグが " + mebibytes(bytes) + " になり、履歴の上限 "
        + mebibytes(bound) + " を超えます。ファイルを分けて書き出してください";
}

ExportRunResult runExport(const std::vector<std::string> &paths, const tags::ExportOptions &options,
    ITagJournal *journal, IExportReport &report, std::string_view batchName)
{
    ExportRunResult result;
    // What the journal would keep, before anything is written.
    if (journal) {
        std::uint64_t bytes = 0;
        std::uint64_t largest = 0;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (report.stopRequested()) {
                result.stopped = true;
                return result;
            }
            report.progress({i, paths.size(), paths[i]});
            try {
                const tags::ExportPlan plan
                    = tags::planExport(tags::readExportSource(paths[i]), options);
                if (!plan.writes())
                    continue;
                const std::uint64_t size = journal::FrameSize
                    + journal::regionPayloadSize(platform::absolutePath(paths[i]).size(),
                        plan.region.oldRegion.size(), plan.region.newRegion.size());
                bytes += size;
                largest = std::max(largest, size);
            } catch (const platform::Error &) {
                // Reported when its turn comes.
            }
        }
        const std::vector<JournalFile *> files = journal->files();
        const std::uint64_t bound
            = files.empty() ? JournalFile::DefaultSizeBound : files.front()->sizeBound();
        result.refusal = journalRoomRefusal(bytes, bound);
        if (result.refusal.empty())
            result.refusal = journalRoomRefusal(largest, journal::MaxPayload);
        if (!result.refusal.empty())
            return result;
    }

    std::optional<RegionJournal> records;
    if (journal)
        records.emplace(*journal, journal->beginBatch(batchName));
    // The batch ends on every way out: its records are in the journal already.
    const platform::ScopeGuard ended([&records] {
        if (records)
            records->end();
    });
    {
        tags::TagRegionBatch batch(records ? &*records : nullptr);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const std::string &path = paths[i];
            if (report.stopRequested()) {
                result.stopped = true;
                break;
            }
            try {
                const tags::ExportPlan plan = tags::exportToId3v2(path, options, batch);
                if (plan.state == tags::ExportState::Refused)
                    result.refused.push_back({path, {plan.refusal, {}, {}}});
                else if (plan.state == tags::ExportState::Nothing)
                    ++result.nothing;
                else
                    ++result.written;
                report.exported(path, plan);
            } catch (const platform::Error &error) {
                result.failed.push_back(problemOf(path, error));
            }
            report.progress({i + 1, paths.size(), path});
        }
        for (const tags::TagRegionBatch::Failure &failure : batch.finish()) {
            --result.written;
            result.failed.push_back({failure.path, {failure.message, {}, {}}});
        }
    }
    return result;
}

} // namespace editing
