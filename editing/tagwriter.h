#pragma once

#include <string>

#include "tags/tagfile.h"

namespace editing {

// Every tag write of the editor, the bulk setting and the companion goes through one of these,
// so that a write can be seen or recorded without the code that asks for it knowing.
class ITagWriter
{
public:
    virtual ~ITagWriter() = default;

    // As tags::WriteTagBlock: Written or FileMissing; other failures throw platform::Error.
    virtual tags::WriteOutcome write(const std::string &path, const tags::Block &block) = 0;
    virtual tags::WriteOutcome write(const std::string &path, const tags::TagMerge &merge) = 0;
};

// Writes straight into the files.
class FileTagWriter final : public ITagWriter
{
public:
    tags::WriteOutcome write(const std::string &path, const tags::Block &block) override
    {
        return tags::WriteTagBlock(path, block);
    }
    tags::WriteOutcome write(const std::string &path, const tags::TagMerge &merge) override
    {
        return tags::WriteTagBlock(path, merge);
    }
};

} // namespace editing
