#include "lists/row.h"

#include "tags/bytetext.h"
#include "tags/genretable.h"

namespace lists {

Row makeRow(const std::string &path, const tags::TTagRecord &tag)
{
    Row row;
    row.subItem(SubItem::Title) = tags::trimmed(tag.Title);
    row.subItem(SubItem::Artist) = tags::trimmed(tag.Artist);
    row.subItem(SubItem::Album) = tags::trimmed(tag.Album);
    row.subItem(SubItem::Year) = tags::trimmed(tag.Year);
    row.subItem(SubItem::Genre) = tags::GenreCodeToName(tag.Genre);
    row.subItem(SubItem::Comment) = tags::trimmed(tags::commentText(tag));
    row.subItem(SubItem::Path) = path;
    return row;
}

std::string_view Row::caption() const
{
    return fileNamePart(path());
}

std::string_view shownBytes(const Row &row, int column)
{
    const std::string_view text = row.columnText(column);
    return text.substr(0, text.find('\0'));
}

std::string AddBackslash(std::string_view path)
{
    std::string joined(path);
    if (!joined.empty() && joined.back() != '/')
        joined += '/';
    return joined;
}

std::string_view fileNamePart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace lists
