#include "lists/scanrun.h"

#include <utility>

#include "lists/readahead.h"

namespace lists {

ScanRun::ScanRun(IScanHost &host, std::chrono::milliseconds eventStep)
    : m_host(host)
    , m_eventStep(eventStep)
{ }

void ScanRun::addFile(const std::string &path, tags::FileKind kind)
{
    // The tag is read before the row is made, so a file that cannot be read leaves no row.
    addRow(path, tags::ReadTag(path, kind));
}

void ScanRun::addRow(const std::string &path, const tags::TTagRecord &tag)
{
    m_pending.push_back(makeRow(path, tag));
    ++m_filesRead;
    m_host.progress({m_filesRead, 0, path});
    eventStep();
}

void ScanRun::scanFolder(const std::string &folder)
{
    // The walk steps between folders and entries too, so events keep being handled where
    // no audio file is found, and so does a wait for a slow read.
    scanFolderReadingAhead(
        folder, [this](const std::string &path, const tags::TTagRecord &tag) { addRow(path, tag); },
        [this] {
            eventStep();
            return m_host.stopRequested();
        },
        m_eventStep);
}

void ScanRun::flush()
{
    if (!m_pending.empty())
        m_host.appendRows(std::exchange(m_pending, {}));
}

void ScanRun::eventStep()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_lastStep && now - *m_lastStep < m_eventStep)
        return;
    m_lastStep = now;
    flush();
    m_host.handleWaitingEvents();
}

} // namespace lists
