#include "search/searchmatch.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/bytetext.h"

namespace search {

namespace {

// Whether `needle` (already folded) occurs in `text` once folded.
bool containsFolded(const std::string &text, const std::string &needle)
{
    if (needle.size() > text.size())
        return false;
    thread_local std::string folded;
    folded.assign(text);
    for (char &c : folded)
        c = platform::asciiUpper(c);
    return folded.find(needle) != std::string::npos;
}

} // namespace

Matcher::Matcher(const Conditions &conditions)
    : m_genre(conditions.genre)
    , m_hasGenre(!conditions.genre.empty())
    , m_all(conditions.allMustMatch)
{
    if (!conditions.fileName.empty())
        m_texts.push_back({lists::SubItem::Path, platform::asciiUpper(conditions.fileName), true});
    for (const lists::ColumnSpec &spec : lists::Columns) {
        if (spec.tagPart != lists::TagPart::Text)
            continue;
        const std::optional<std::string> &text = conditions.text(spec.textField);
        if (!text)
            m_texts.push_back({spec.subItem, std::string(), false});
        else if (!text->empty())
            m_texts.push_back({spec.subItem, platform::asciiUpper(*text), true});
    }
}

bool Matcher::matches(const lists::Row &row) const
{
    // Conditions left empty keep the method's start value: they decide nothing.
    for (const Text &text : m_texts) {
        const bool found = text.encodable && containsFolded(row.subItem(text.field), text.folded);
        if (m_all && !found)
            return false;
        if (!m_all && found)
            return true;
    }
    if (m_hasGenre) {
        const bool equal = row.subItem(lists::genreColumn().subItem) == m_genre;
        if (m_all != equal)
            return equal;
    }
    return m_all;
}

std::vector<bool> Matcher::matchAll(const std::vector<lists::Row> &rows) const
{
    std::vector<bool> flags(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        flags[i] = matches(rows[i]);
    return flags;
}

} // namespace search
