#pragma once

#include <string>
#include <vector>

#include "editing/tagwriter.h"
#include "platform/runcontrol.h"

namespace editing {

// Told of each file of a bulk run as it is written.
class IBulkTagReport : public platform::IRunControl
{
public:
    // File `index` of the run has the merge now.
    virtual void written(std::size_t index) = 0;
};

struct BulkTagResult
{
    enum class Outcome { Done, FileMissing, Stopped };
    Outcome outcome = Outcome::Done;
    std::size_t written = 0;
    std::string missingPath; // with FileMissing: the file that had gone
};

// Merges the same fields into the tag of each file in turn and reports each one written. The
// run ends at the first file that has gone (nothing is written to it or after it), or when
// asked to stop; any other failure of a write leaves as platform::Error, the files before it
// written and reported.
BulkTagResult runBulkTagSetting(const std::vector<std::string> &paths, const tags::TagMerge &merge,
    ITagWriter &writer, IBulkTagReport &report);

} // namespace editing
