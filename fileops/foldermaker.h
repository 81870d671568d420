#pragma once

#include <string>

#include "fileops/filetransfer.h"
#include "platform/paths.h"

namespace fileops {

// Makes a folder of a given name; the new-folder dialog knows no more than this.
class IFolderMaker
{
public:
    virtual ~IFolderMaker() = default;
    virtual FolderOutcome makeFolder(const std::string &name) = 0;
};

// Makes folders inside a parent folder that its owner may change between two uses (the folder
// browser's last choice): it holds a reference to the owner's path, which must outlive it.
class FolderMakerIn final : public IFolderMaker
{
public:
    explicit FolderMakerIn(const std::string &parent)
        : m_parent(parent)
    { }

    // Exactly the given name, joined to the parent: nothing trimmed or checked.
    FolderOutcome makeFolder(const std::string &name) override
    {
        return fileops::makeFolder(platform::AddBackslash(m_parent) + name);
    }

private:
    const std::string &m_parent;
};

} // namespace fileops
