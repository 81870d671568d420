#include "fileops/transferrun.h"

#include "fileops/filetransfer.h"
#include "platform/paths.h"

namespace fileops {

void runTransfer(const std::vector<std::string> &sources, const std::string &folder, Transfer kind,
    ITransferReport &report)
{
    const std::string target = platform::AddBackslash(folder);
    for (std::size_t i = 0; i < sources.size() && !report.stopRequested(); ++i) {
        const std::string &source = sources[i];
        const std::string destination = target + std::string(platform::fileNamePart(source));
        const bool go
            = !fileExists(destination) || report.mayReplace(platform::fileNamePart(destination));
        const bool done = go
            && (kind == Transfer::Copy ? copyFile(source, destination)
                                       : moveFile(source, destination))
                == 0;
        report.finished(i, done);
        report.progress({i + 1, sources.size(), source});
    }
}

void runDelete(const std::vector<std::string> &paths, ITransferReport &report)
{
    for (std::size_t i = 0; i < paths.size() && !report.stopRequested(); ++i) {
        report.finished(i, deleteFile(paths[i]) == 0);
        report.progress({i + 1, paths.size(), paths[i]});
    }
}

} // namespace fileops
