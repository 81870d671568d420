#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/runcontrol.h"

namespace fileops {

enum class Transfer { Copy, Move };

// Told of each file of a copy, move or delete run as it ends, and asked before a file at the
// destination is replaced.
class ITransferReport : public platform::IRunControl
{
public:
    // Asked before the file named `name` in the target folder is replaced. Every file before
    // this one has been reported finished.
    virtual bool mayReplace(std::string_view name) = 0;
    // File `index` of the run has ended: done (copied, moved, deleted), or skipped or failed.
    virtual void finished(std::size_t index, bool done) = 0;
};

// Copies or moves each file into the folder under its own name, in order, asking before a
// file there is replaced. A file that fails is reported not done and the run goes on.
void runTransfer(const std::vector<std::string> &sources, const std::string &folder, Transfer kind,
    ITransferReport &report);

// Deletes each file in order; a file that cannot be deleted is reported not done.
void runDelete(const std::vector<std::string> &paths, ITransferReport &report);

} // namespace fileops
