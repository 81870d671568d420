#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// How far a long run has come: the files done, the files in all (0 while the run cannot
// know, as in a scan) and the file at hand.
struct RunProgress
{
    std::size_t done = 0;
    std::size_t total = 0;
    std::string_view path;
};

// What every long run (scan, bulk tag setting, copy, move, delete) asks of whoever started
// it: where to report its progress, and whether to stop. A run asks between two files; one
// told to stop ends as if its files had run out, with everything done so far applied.
class IRunControl
{
public:
    virtual ~IRunControl() = default;

    virtual void progress(const RunProgress &) { }
    virtual bool stopRequested() { return false; }
};

} // namespace platform
