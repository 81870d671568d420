#pragma once

#include <string>
#include <string_view>

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

    // A batch is what one undo takes back: one press of the editor's save, one bulk run, one
    // companion command. False when its writes must not go ahead (there is no journal and
    // writing without one was declined). Writes outside a batch are not journaled.
    virtual bool beginBatch(std::string_view /*name*/) { return true; }
    // Ends the batch begun last and makes its records durable.
    virtual void endBatch() { }
};

// Begins a batch and ends it on every way out.
class TagWriteBatch
{
public:
    TagWriteBatch(ITagWriter &writer, std::string_view name)
        : m_writer(writer)
        , m_started(writer.beginBatch(name))
    { }
    ~TagWriteBatch()
    {
        if (m_started)
            m_writer.endBatch();
    }
    TagWriteBatch(const TagWriteBatch &) = delete;
    TagWriteBatch &operator=(const TagWriteBatch &) = delete;

    // False: write nothing.
    bool started() const { return m_started; }

private:
    ITagWriter &m_writer;
    bool m_started;
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
