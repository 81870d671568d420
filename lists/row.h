#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lists/columns.h"
#include "tags/id3v1.h"

namespace lists {

// One row of either list, all bytes: the six tag texts (trimmed, the genre as its name) and
// the full path, which has no column and is never shown. The caption, the file name, is the
// path's last part, so it is derived rather than stored a second time.
struct Row
{
    std::array<std::string, SubItemCount> subItems;

    std::string_view caption() const;

    const std::string &subItem(SubItem item) const
    {
        return subItems[static_cast<std::size_t>(item)];
    }
    std::string &subItem(SubItem item) { return subItems[static_cast<std::size_t>(item)]; }
    const std::string &path() const { return subItem(SubItem::Path); }
    // The text a column shows (the file-name column the caption).
    std::string_view columnText(Column column) const
    {
        const SubItem item = columnSpec(column).subItem;
        return item == SubItem::Path ? caption() : std::string_view(subItem(item));
    }
};

// New texts for some of a row's cells, as a tag write leaves them.
using CellChanges = std::vector<std::pair<SubItem, std::string>>;

// The bytes a cell shows: its column's text up to the first zero byte (the row keeps the
// whole text).
std::string_view shownBytes(const Row &row, Column column);

// The row of the file at `path` with the tag read from it.
Row makeRow(const std::string &path, const tags::TTagRecord &tag);

// The cells of a row whose file took `merge`: a set text as given, an erased text or genre
// empty, a set genre by its name; kept fields are not among the changes. Every write that
// changes a row's cells goes through here.
CellChanges cellsAfter(const tags::TagMerge &merge);

// The merge that writes a complete tag: every field set.
tags::TagMerge mergeOf(const tags::CompleteTag &tag);

// The merge whose cells are those a scan shows for `tag`: every text trimmed (the comment
// without an ID3v1.1 track number), the genre by its code.
tags::TagMerge shownMerge(const tags::TTagRecord &tag);

} // namespace lists
