#include "editing/fieldbytes.h"

#include <algorithm>
#include <optional>

#include "platform/textcodec.h"

namespace editing {

namespace {

constexpr std::size_t HistoryDepth = 200;

// The code points of valid UTF-8 (as the text codec gives it).
std::u32string fromUtf8(const std::string &utf8)
{
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        std::size_t length = b0 < 0x80 ? 1 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? b0 : b0 & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += code;
        i += length;
    }
    return out;
}

std::string toUtf8(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// The one character that `bytes` decode to, or nothing when they are not exactly one valid
// character.
std::optional<char32_t> singleChar(const std::string &bytes)
{
    const std::u32string decoded = fromUtf8(platform::tagTextToUtf8(bytes));
    if (decoded.size() != 1 || (decoded[0] == ReplacementMark && bytes != "\xEF\xBF\xBD"))
        return std::nullopt;
    return decoded[0];
}

std::string joined(const std::vector<FieldChar> &chars)
{
    std::string bytes;
    for (const FieldChar &c : chars)
        bytes += c.bytes;
    return bytes;
}

// True when the characters' bytes, read back from disk, split into the same characters: no
// kept lone lead byte has become the first half of a character with what now follows it.
bool readsBackTheSame(const std::vector<FieldChar> &chars)
{
    const std::vector<FieldChar> read = tagChars(joined(chars));
    if (read.size() != chars.size())
        return false;
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (read[i].bytes != chars[i].bytes)
            return false;
    }
    return true;
}

std::u32string textOf(const std::vector<FieldChar> &chars)
{
    std::u32string text;
    for (const FieldChar &c : chars)
        text += c.shown;
    return text;
}

// How the refusal texts name the code page.
std::string codePageCaption(platform::CodePage codePage)
{
    if (codePage == platform::CodePage::Cp932)
        return "シフト JIS";
    return platform::codePageTitle(codePage);
}

} // namespace

std::vector<FieldChar> tagChars(const std::string &bytes)
{
    const std::size_t longest = platform::maxCharBytes(platform::tagCodePage());
    std::vector<FieldChar> chars;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = 1;
        std::optional<char32_t> c;
        for (; length <= longest && i + length <= bytes.size(); ++length) {
            if ((c = singleChar(bytes.substr(i, length))))
                break;
        }
        if (!c) {
            chars.push_back({InvisibleMark, bytes.substr(i, 1)});
            ++i;
            continue;
        }
        // A character no font draws shows as one mark for all its bytes.
        chars.push_back({platform::isInvisible(*c) ? InvisibleMark : *c, bytes.substr(i, length)});
        i += length;
    }
    return chars;
}

bool isMark(char32_t c)
{
    return c == ReplacementMark || c == InvisibleMark;
}

std::string refusalText(Refusal reason, std::size_t maxBytes, LimitNote note)
{
    switch (reason) {
    case Refusal::None:
        break;
    case Refusal::Control:
        return "制御文字は入力できません";
    case Refusal::Unencodable:
        return codePageCaption(platform::tagCodePage()) + " で表せない文字は入力できません";
    case Refusal::TooLong: {
        std::string text = std::to_string(maxBytes) + " バイトを超える分は入力できません";
        if (note == LimitNote::TrackNumber)
            text += "（最後の 2 バイトにはトラック番号が入っています）";
        return text;
    }
    case Refusal::Joins:
        return "前後のバイトとつながって別の文字になるため入力できません";
    }
    return {};
}

FieldBytes::FieldBytes(std::size_t maxBytes)
    : m_maxBytes(maxBytes)
{ }

void FieldBytes::setOriginal(const std::string &bytes)
{
    m_original = bytes;
    m_chars = tagChars(bytes.substr(0, bytes.find('\0')));
    m_history.clear();
    remember();
    m_touched = false;
}

std::u32string FieldBytes::text() const
{
    return textOf(m_chars);
}

std::string FieldBytes::bytes() const
{
    return m_touched ? joined(m_chars) : m_original;
}

std::size_t FieldBytes::byteCount(const std::vector<FieldChar> &chars) const
{
    std::size_t count = 0;
    for (const FieldChar &c : chars)
        count += c.bytes.size();
    return count;
}

void FieldBytes::remember()
{
    if (m_history.size() == HistoryDepth)
        m_history.erase(m_history.begin());
    m_history.push_back(m_chars);
}

FieldBytes::EditResult FieldBytes::apply(const std::u32string &edited, std::size_t cursor)
{
    Outcome outcome = evaluate(edited, cursor);
    if (outcome.changes) {
        m_chars = std::move(outcome.chars);
        m_touched = true;
        remember();
    }
    return outcome.result;
}

FieldBytes::EditResult FieldBytes::check(const std::u32string &edited, std::size_t cursor) const
{
    return evaluate(edited, cursor).result;
}

FieldBytes::Outcome FieldBytes::evaluate(const std::u32string &edited, std::size_t cursor) const
{
    const std::vector<FieldChar> &old = m_chars;
    cursor = std::min(cursor, edited.size());
    // The edit replaced old[prefix, old.size() - suffix) by edited[prefix, cursor): what it
    // inserted ends at the cursor, so of two equal marks the one the user removed goes.
    std::size_t suffix = 0;
    const std::size_t maxSuffix = std::min(edited.size() - cursor, old.size());
    while (suffix < maxSuffix
        && edited[edited.size() - 1 - suffix] == old[old.size() - 1 - suffix].shown)
        ++suffix;
    std::size_t prefix = 0;
    const std::size_t maxPrefix = std::min(cursor, old.size() - suffix);
    while (prefix < maxPrefix && edited[prefix] == old[prefix].shown)
        ++prefix;
    const std::u32string inserted = edited.substr(prefix, edited.size() - suffix - prefix);

    // Marks cannot be typed: a text that brings them back is an earlier state come back.
    if (std::any_of(inserted.begin(), inserted.end(), isMark)) {
        for (auto state = m_history.rbegin(); state != m_history.rend(); ++state) {
            if (textOf(*state) == edited)
                return {*state, true, {edited, cursor, Refusal::None, {}}};
        }
    }

    const std::vector<FieldChar> head(old.begin(), old.begin() + static_cast<long>(prefix));
    const std::vector<FieldChar> tail(old.end() - static_cast<long>(suffix), old.end());
    std::vector<FieldChar> result = head;
    std::size_t used = byteCount(head) + byteCount(tail);
    Refusal refusal = Refusal::None;
    const auto refuse = [&refusal](Refusal why) {
        if (refusal == Refusal::None)
            refusal = why;
    };
    std::u32string kept;
    for (const char32_t c : inserted) {
        // Marks are refused even where the code page could hold them (U+FFFD in UTF-8).
        if (!isMark(c) && platform::isInvisible(c)) {
            refuse(Refusal::Control);
            continue;
        }
        const std::optional<std::string> bytes
            = isMark(c) ? std::nullopt : platform::utf8ToTagText(toUtf8(c));
        if (!bytes || bytes->empty()) {
            refuse(Refusal::Unencodable);
            continue;
        }
        if (used + bytes->size() > m_maxBytes) {
            refuse(Refusal::TooLong); // cut after the last whole character that fits
            break;
        }
        std::vector<FieldChar> candidate = result;
        candidate.push_back({c, *bytes});
        candidate.insert(candidate.end(), tail.begin(), tail.end());
        if (!readsBackTheSame(candidate)) {
            refuse(Refusal::Joins);
            continue;
        }
        result.push_back({c, *bytes});
        kept += c;
        used += bytes->size();
    }
    const std::size_t newCursor = result.size();
    result.insert(result.end(), tail.begin(), tail.end());
    if (!readsBackTheSame(result)) {
        // What the edit removed held two kept bytes apart: the edit is undone.
        return {{}, false, {textOf(old), old.size() - suffix, Refusal::Joins, {}}};
    }
    std::u32string text = textOf(result);
    return {std::move(result), true, {std::move(text), newCursor, refusal, std::move(kept)}};
}

} // namespace editing
