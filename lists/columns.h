#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "tags/id3v1.h"

namespace lists {

// The columns both lists show, left to right.
enum class Column { FileName, Title, Artist, Album, Year, Genre, Comment, Count };
constexpr int ColumnCount = static_cast<int>(Column::Count);

// The texts a row holds: a sub-item for every tag column and the full path, which has no
// column of its own (the file-name column shows its last part).
enum class SubItem { Title, Artist, Album, Year, Genre, Comment, Path, Count };
constexpr int SubItemCount = static_cast<int>(SubItem::Count);

// What a column shows of a file's tag.
enum class TagPart { None, Text, Genre };

// Everything the program knows of one column.
struct ColumnSpec
{
    Column column;
    const char *caption; // the header's caption (UTF-8)
    int defaultWidth;    // pixels, until the settings file gives another
    SubItem subItem;     // the row's text it shows (the path: by its file-name part)
    TagPart tagPart;
    tags::TextField textField; // with TagPart::Text: the tag's text field
    tags::FieldSpan span;      // the bytes of its tag field in the block ({0, 0}: none)
    const char *name;          // the companion's name for it: --sort, --erase, the field options
};

// The table of columns, in column order. The settings file keeps each column's width under
// "Columns" + the list's number + the column's index ("Columns10" ... "Columns26").
constexpr std::array<ColumnSpec, ColumnCount> Columns = {{
    {Column::FileName, "ファイル名", 160, SubItem::Path, TagPart::None, tags::TextField::Count,
        {0, 0}, "name"},
    {Column::Title, "Title", 130, SubItem::Title, TagPart::Text, tags::TextField::Title,
        tags::TitleSpan, "title"},
    {Column::Artist, "Artist", 120, SubItem::Artist, TagPart::Text, tags::TextField::Artist,
        tags::ArtistSpan, "artist"},
    {Column::Album, "Album", 120, SubItem::Album, TagPart::Text, tags::TextField::Album,
        tags::AlbumSpan, "album"},
    {Column::Year, "Year", 50, SubItem::Year, TagPart::Text, tags::TextField::Year, tags::YearSpan,
        "year"},
    {Column::Genre, "Genere", 50, SubItem::Genre, TagPart::Genre, tags::TextField::Count,
        {tags::GenreOffset, 1}, "genre"},
    {Column::Comment, "Comment", 120, SubItem::Comment, TagPart::Text, tags::TextField::Comment,
        tags::CommentSpan, "comment"},
}};

constexpr const ColumnSpec &columnSpec(Column column)
{
    return Columns[static_cast<std::size_t>(column)];
}

// The column that shows a tag text field.
constexpr const ColumnSpec &columnOf(tags::TextField field)
{
    for (const ColumnSpec &spec : Columns) {
        if (spec.tagPart == TagPart::Text && spec.textField == field)
            return spec;
    }
    return Columns[0];
}

// The column that shows the genre.
constexpr const ColumnSpec &genreColumn()
{
    for (const ColumnSpec &spec : Columns) {
        if (spec.tagPart == TagPart::Genre)
            return spec;
    }
    return Columns[0];
}

// The column the companion calls `name`, if any.
std::optional<Column> columnNamed(std::string_view name);

} // namespace lists
