#pragma once

class FileListView;

namespace search {

struct Conditions;

// The work of the search dialog's start button: apply the conditions somewhere.
class ISearchStep
{
public:
    virtual ~ISearchStep() = default;
    virtual void run(const Conditions &conditions) = 0;
};

// Selects exactly the rows of a list that match the conditions.
class ListSearch final : public ISearchStep
{
public:
    explicit ListSearch(FileListView &list)
        : m_list(list)
    { }
    void run(const Conditions &conditions) override;

private:
    FileListView &m_list;
};

} // namespace search
