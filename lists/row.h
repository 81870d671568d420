#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tags/id3v1.h"

namespace lists {

// The columns both lists show. Column 0 is the caption; column i > 0 shows sub-item i - 1.
enum class Column { FileName, Title, Artist, Album, Year, Genre, Comment, Count };
constexpr int ColumnCount = static_cast<int>(Column::Count);

// Sub-items of a row: 0 Title, 1 Artist, 2 Album, 3 Year, 4 genre name, 5 Comment, 6 path.
enum class SubItem { Title, Artist, Album, Year, Genre, Comment, Path, Count };
constexpr int SubItemCount = static_cast<int>(SubItem::Count);

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
    // The text a column shows (column 0 the caption).
    std::string_view columnText(int column) const
    {
        return column == 0 ? caption()
                           : std::string_view(subItems[static_cast<std::size_t>(column - 1)]);
    }
};

// New texts for some of a row's cells, as a tag write leaves them.
using CellChanges = std::vector<std::pair<SubItem, std::string>>;

// The bytes a cell shows: its column's text up to the first zero byte (the row keeps the
// whole text).
std::string_view shownBytes(const Row &row, int column);

// The row of the file at `path` with the tag read from it.
Row makeRow(const std::string &path, const tags::TTagRecord &tag);

} // namespace lists
