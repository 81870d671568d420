#include "lists/columns.h"

namespace lists {

namespace {

// The table's own rules, checked when it is compiled: each entry sits at its column's
// index, shows a sub-item of its own, and each tag text field has exactly one column.
constexpr bool tableIsConsistent()
{
    std::array<int, SubItemCount> shown {};
    std::array<int, tags::TextFieldCount> texts {};
    int genres = 0;
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const ColumnEntry &entry = Columns[i];
        if (static_cast<std::size_t>(entry.column) != i || entry.defaultWidth <= 0)
            return false;
        ++shown[static_cast<std::size_t>(entry.subItem)];
        if (entry.tagPart == TagPart::Text)
            ++texts[static_cast<std::size_t>(entry.textField)];
        if (entry.tagPart == TagPart::Genre)
            ++genres;
        if ((entry.tagPart == TagPart::None) != (entry.span.width == 0))
            return false;
    }
    for (const int count : shown) {
        if (count > 1)
            return false;
    }
    for (const int count : texts) {
        if (count != 1)
            return false;
    }
    return genres == 1;
}
static_assert(tableIsConsistent());

} // namespace

std::optional<Column> columnNamed(std::string_view name)
{
    for (const ColumnEntry &entry : Columns) {
        if (name == entry.name)
            return entry.column;
    }
    return std::nullopt;
}

} // namespace lists
