#include "lists/row.h"

#include "platform/bytetext.h"
#include "platform/paths.h"
#include "tags/genretable.h"

namespace lists {

Row makeRow(const std::string &path, const tags::TTagRecord &tag)
{
    Row row;
    row.subItem(SubItem::Title) = platform::trimmed(tag.Title);
    row.subItem(SubItem::Artist) = platform::trimmed(tag.Artist);
    row.subItem(SubItem::Album) = platform::trimmed(tag.Album);
    row.subItem(SubItem::Year) = platform::trimmed(tag.Year);
    row.subItem(SubItem::Genre) = tags::GenreCodeToName(tag.Genre);
    row.subItem(SubItem::Comment) = platform::trimmed(tags::commentText(tag));
    row.subItem(SubItem::Path) = path;
    return row;
}

std::string_view Row::caption() const
{
    return platform::fileNamePart(path());
}

std::string_view shownBytes(const Row &row, int column)
{
    const std::string_view text = row.columnText(column);
    return text.substr(0, text.find('\0'));
}

} // namespace lists
