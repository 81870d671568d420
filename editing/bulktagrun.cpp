#include "editing/bulktagrun.h"

namespace editing {

BulkTagResult runBulkTagSetting(const std::vector<std::string> &paths, const tags::TagMerge &merge,
    ITagWriter &writer, IBulkTagReport &report)
{
    BulkTagResult result;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (report.stopRequested()) {
            result.outcome = BulkTagResult::Outcome::Stopped;
            return result;
        }
        if (writer.write(paths[i], merge) == tags::WriteOutcome::FileMissing) {
            result.outcome = BulkTagResult::Outcome::FileMissing;
            result.missingPath = paths[i];
            return result;
        }
        ++result.written;
        report.written(i);
        report.progress({result.written, paths.size(), paths[i]});
    }
    return result;
}

} // namespace editing
