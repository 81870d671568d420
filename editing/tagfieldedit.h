#pragma once

#include <string>

#include <QLineEdit>

#include "editing/fieldbytes.h"

// A tag field: a line edit over the bytes it will write (editing::FieldBytes). Bytes that
// are not valid in the tag code page show as one U+FFFD mark each, and controls and
// private-use characters as one U+25AF mark each; both are written back as they were. What
// the user types is encoded, and what the field refuses (control characters, characters the
// code page cannot hold, bytes past its limit, a character that would join a kept byte) is
// dropped with a beep and a tooltip, and told by refused().
class TagFieldEdit final : public QLineEdit
{
    Q_OBJECT

public:
    explicit TagFieldEdit(std::size_t maxBytes, QWidget *parent = nullptr);

    // Shows the bytes up to their first zero and keeps them all; the field is untouched.
    void setOriginalBytes(const std::string &bytes);
    // The bytes to write: all the original ones while untouched, else those shown.
    std::string bytes() const { return m_field.bytes(); }
    std::size_t maxBytes() const { return m_field.maxBytes(); }
    // The byte limit, and what its tooltip adds.
    void setMaxBytes(std::size_t maxBytes, editing::LimitNote note = editing::LimitNote::None);

Q_SIGNALS:
    // An edit dropped something; `text` is the tooltip shown.
    void refused(editing::Refusal reason, const QString &text);

private:
    void spliceEdit(const QString &edited);
    void showText(const std::u32string &text, std::size_t cursor);

    editing::FieldBytes m_field;
    editing::LimitNote m_note = editing::LimitNote::None;
    bool m_settingText = false;
};
