#include "lists/row.h"

#include "platform/bytetext.h"
#include "platform/paths.h"
#include "tags/genretable.h"

namespace lists {

namespace {

// A text field of a tag record as a scan shows it.
std::string shownText(const tags::TTagRecord &tag, tags::TextField field)
{
    switch (field) {
    case tags::TextField::Title:
        return platform::trimmed(tag.Title);
    case tags::TextField::Artist:
        return platform::trimmed(tag.Artist);
    case tags::TextField::Album:
        return platform::trimmed(tag.Album);
    case tags::TextField::Year:
        return platform::trimmed(tag.Year);
    case tags::TextField::Comment:
    case tags::TextField::Count:
        break;
    }
    return platform::trimmed(tags::commentText(tag));
}

} // namespace

Row makeRow(const std::string &path, const tags::TTagRecord &tag)
{
    Row row;
    for (const ColumnSpec &spec : Columns) {
        if (spec.tagPart == TagPart::Text)
            row.subItem(spec.subItem) = shownText(tag, spec.textField);
        else if (spec.tagPart == TagPart::Genre)
            row.subItem(spec.subItem) = tags::GenreCodeToName(tag.Genre);
    }
    row.subItem(SubItem::Path) = path;
    return row;
}

std::string_view Row::caption() const
{
    return platform::fileNamePart(path());
}

std::string_view shownBytes(const Row &row, Column column)
{
    const std::string_view text = row.columnText(column);
    return text.substr(0, text.find('\0'));
}

CellChanges cellsAfter(const tags::TagMerge &merge)
{
    CellChanges cells;
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i) {
        const tags::TextChange &change = merge.texts[i];
        if (change.kind != tags::TextChange::Kind::Keep)
            cells.emplace_back(columnOf(static_cast<tags::TextField>(i)).subItem, change.text);
    }
    const SubItem genre = genreColumn().subItem;
    if (merge.genre.kind == tags::GenreChange::Kind::Erase)
        cells.emplace_back(genre, std::string());
    else if (merge.genre.kind == tags::GenreChange::Kind::Set)
        cells.emplace_back(genre, tags::GenreCodeToName(merge.genre.code));
    return cells;
}

tags::TagMerge mergeOf(const tags::CompleteTag &tag)
{
    tags::TagMerge merge;
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i)
        merge.texts[i] = tags::TextChange::set(tag.texts[i]);
    merge.genre = {tags::GenreChange::Kind::Set, tag.genre};
    return merge;
}

tags::TagMerge shownMerge(const tags::TTagRecord &tag)
{
    tags::TagMerge merge;
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i)
        merge.texts[i] = tags::TextChange::set(shownText(tag, static_cast<tags::TextField>(i)));
    merge.genre = {tags::GenreChange::Kind::Set, tag.Genre};
    return merge;
}

} // namespace lists
