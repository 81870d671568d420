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
        const ColumnSpec &spec = Columns[i];
        if (static_cast<std::size_t>(spec.column) != i || spec.defaultWidth <= 0)
            return false;
        ++shown[static_cast<std::size_t>(spec.subItem)];
        if (spec.tagPart == TagPart::Text)
            ++texts[static_cast<std::size_t>(spec.textField)];
        if (spec.tagPart == TagPart::Genre)
            ++genres;
        if ((spec.tagPart == TagPart::None) != (spec.span.width == 0))
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
    for (const ColumnSpec &spec : Columns) {
        if (name == spec.name)
            return spec.column;
    }
    return std::nullopt;
}

} // namespace lists
