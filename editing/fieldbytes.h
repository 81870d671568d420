#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/textcodec.h"

namespace editing {

// One character of a tag field: what it shows and the bytes it writes. A byte that does not
// start a valid character of the tag code page shows as the invisible mark and writes that
// same byte; an invisible character (platform::isInvisible) shows as one mark for all its
// bytes.
struct FieldChar
{
    char32_t shown;
    std::string bytes;

    bool operator==(const FieldChar &other) const
    {
        return shown == other.shown && bytes == other.bytes;
    }
};

constexpr char32_t ReplacementMark = 0xFFFD;
constexpr char32_t InvisibleMark = platform::InvisibleMark;

// The characters of bytes in the tag code page, one mark per byte that starts no valid
// character.
std::vector<FieldChar> tagChars(const std::string &bytes);

// True for the marks, which cannot be typed.
bool isMark(char32_t c);

// Why an edit dropped something.
enum class Refusal {
    None,
    Control,     // an invisible character: a control, format or separator one
    Unencodable, // a character the tag code page cannot hold
    TooLong,     // past the field's byte limit
    Joins,       // a kept byte and its new neighbour would read as another character
};

// What the field's limit note adds to the too-long text.
enum class LimitNote { None, TrackNumber };

// The tooltip of a refusal, in UTF-8. Every refusal text of the tag fields is here.
std::string refusalText(Refusal reason, std::size_t maxBytes, LimitNote note);

// The bytes behind a tag field's text, one byte list per character, kept in step with the
// text as the user edits it. The field shows its bytes up to the first zero byte; untouched
// it gives back all of them, once edited exactly what it shows.
class FieldBytes final
{
public:
    explicit FieldBytes(std::size_t maxBytes);

    void setMaxBytes(std::size_t maxBytes) { m_maxBytes = maxBytes; }
    std::size_t maxBytes() const { return m_maxBytes; }

    // Shows the bytes up to the first zero and keeps them all; the field is untouched.
    void setOriginal(const std::string &bytes);

    std::u32string text() const;
    const std::vector<FieldChar> &chars() const { return m_chars; }
    // The original bytes while untouched, else the bytes of the characters shown.
    std::string bytes() const;
    bool isTouched() const { return m_touched; }

    struct EditResult
    {
        std::u32string text; // what the field must show now
        std::size_t cursor;  // where its cursor goes
        Refusal refusal;     // the first reason something was dropped, or None
        std::u32string kept; // what the field kept of the inserted characters
    };

    // Takes the field's text after an edit, with the cursor behind what the edit inserted.
    // Unchanged characters around the cursor keep their bytes; inserted ones are encoded,
    // and those that are control characters, that the code page cannot hold, that would join a kept
    // byte into another character, or that pass the limit are dropped (the rest kept while
    // it fits). A removal that would join kept bytes is undone. A text the field showed
    // before, brought back with its marks (the line edit's undo and redo), gets back its
    // bytes.
    EditResult apply(const std::u32string &edited, std::size_t cursor);
    // What apply() would give, changing nothing.
    EditResult check(const std::u32string &edited, std::size_t cursor) const;

private:
    struct Outcome
    {
        std::vector<FieldChar> chars; // the characters after the edit
        bool changes;                 // false when the edit is undone whole
        EditResult result;
    };
    Outcome evaluate(const std::u32string &edited, std::size_t cursor) const;

    std::size_t byteCount(const std::vector<FieldChar> &chars) const;
    void remember();

    std::size_t m_maxBytes;
    std::string m_original;
    std::vector<FieldChar> m_chars;
    std::vector<std::vector<FieldChar>> m_history; // earlier states, the latest last
    bool m_touched = false;
};

} // namespace editing
