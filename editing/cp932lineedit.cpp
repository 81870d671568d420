#include "editing/cp932lineedit.h"

#include "platform/textcodec.h"

namespace {

// The CP932 length of a text, or nothing when CP932 cannot hold it.
std::optional<std::size_t> encodedLength(const QString &text)
{
    const std::optional<std::string> bytes = platform::utf8ToCp932(text.toStdString());
    return bytes ? std::optional<std::size_t>(bytes->size()) : std::nullopt;
}

} // namespace

Cp932LineEdit::Cp932LineEdit(std::size_t maxBytes, QWidget *parent)
    : QLineEdit(parent)
    , m_maxBytes(maxBytes)
{
    connect(this, &QLineEdit::textEdited, this, &Cp932LineEdit::fitEdit);
}

void Cp932LineEdit::setOriginalBytes(const std::string &bytes)
{
    m_original = bytes;
    m_lastText = QString::fromStdString(platform::cp932ToUtf8(bytes));
    setText(m_lastText);
    setModified(false);
}

std::optional<std::string> Cp932LineEdit::bytes() const
{
    if (!isModified())
        return m_original;
    return platform::utf8ToCp932(text().toStdString());
}

void Cp932LineEdit::fitEdit(const QString &edited)
{
    const std::optional<std::size_t> length = encodedLength(edited);
    if (length && *length <= m_maxBytes) {
        m_lastText = edited;
        return;
    }
    // Find what the edit inserted between the kept start and end of the old text, and keep
    // of it only the characters CP932 holds, while they fit.
    const QString &old = m_lastText;
    int prefix = 0;
    while (prefix < old.size() && prefix < edited.size() && old[prefix] == edited[prefix])
        ++prefix;
    int suffix = 0;
    while (suffix < old.size() - prefix && suffix < edited.size() - prefix
        && old[old.size() - 1 - suffix] == edited[edited.size() - 1 - suffix])
        ++suffix;
    const QString head = edited.left(prefix);
    const QString tail = edited.right(suffix);
    const QString inserted = edited.mid(prefix, edited.size() - prefix - suffix);
    const std::optional<std::size_t> keptLength = encodedLength(head + tail);
    std::size_t used = keptLength.value_or(0);
    QString fitted;
    for (const uint code : inserted.toUcs4()) {
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        const std::optional<std::size_t> size = encodedLength(character);
        if (!size)
            continue; // a character CP932 cannot hold is refused
        if (used + *size > m_maxBytes)
            break; // cut after the last whole character that fits
        used += *size;
        fitted += character;
    }
    const QString result = head + fitted + tail;
    m_lastText = result;
    setText(result);
    setCursorPosition(static_cast<int>(head.size() + fitted.size()));
    setModified(true);
}
