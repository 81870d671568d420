#pragma once

#include <array>
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
    using Texts = std::array<std::optional<std::string>, tags::TextFieldCount>;

    std::string fileName;
    Texts texts = noTexts(); // by tag text field
    std::string genre;
    bool allMustMatch = false; // AND instead of OR

    std::optional<std::string> &text(tags::TextField field)
    {
        return texts[static_cast<std::size_t>(field)];
    }
    const std::optional<std::string> &text(tags::TextField field) const
    {
        return texts[static_cast<std::size_t>(field)];
    }
    static Texts noTexts()
    {
        Texts none;
        none.fill(std::string());
        return none;
    }
};

// Decides rows by the conditions: a match flag per column and row start at the method's value
// (false for OR, true for AND); each filled text condition sets its flag to whether its text occurs
// in the field after both are ASCII-folded (a plain byte substring test); the genre condition to
// whether the genre names are equal. OR matches when any flag is true, AND when all are.
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
        lists::SubItem field; // the file name's condition is matched against the whole path
        std::string folded;   // the condition, folded once
        bool encodable;
    };
    std::vector<Text> m_texts;
    std::string m_genre;
    bool m_hasGenre;
    bool m_all;
};

} // namespace search
