#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lists/row.h"

namespace search {

// The conditions of a conditional search, as bytes: the file-name condition in the file
// system's encoding (matched against the full path), the tag conditions in the tag code
// page, the genre as its name. An empty text is no condition; a text of spaces is one. A tag
// condition that could not be encoded is given as nothing and matches no row.
struct Conditions
{
    std::string fileName;
    std::optional<std::string> title = std::string();
    std::optional<std::string> artist = std::string();
    std::optional<std::string> album = std::string();
    std::optional<std::string> year = std::string();
    std::optional<std::string> comment = std::string();
    std::string genre;
    bool allMustMatch = false; // AND instead of OR
};

// Decides rows by the conditions: seven match flags per row (file name, Title, Artist,
// Album, Year, genre, Comment) start at the method's value (false for OR, true for AND);
// each filled text condition sets its flag to whether its text occurs in the field after
// both are ASCII-folded (a plain byte substring test); the genre condition to whether the
// genre names are equal. OR matches when any flag is true, AND when all are.
class Matcher
{
public:
    explicit Matcher(const Conditions &conditions);
    bool matches(const lists::Row &row) const;
    // The selection flags of every row.
    std::vector<bool> matchAll(const std::vector<lists::Row> &rows) const;

private:
    struct Text
    {
        lists::SubItem field;
        std::string folded; // the condition, folded once
        bool encodable;
    };
    std::vector<Text> m_texts;
    std::string m_genre;
    bool m_hasGenre;
    bool m_all;
};

} // namespace search
