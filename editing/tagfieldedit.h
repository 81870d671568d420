#pragma once

#include <optional>
#include <string>

#include <QLineEdit>

#include "editing/fieldbytes.h"

// A tag field: a line edit over the bytes it will write (editing::FieldBytes). Bytes that
// are not valid in the tag code page and invisible characters show as one mark each, written
// back as they were. What the user types is encoded, and what the field refuses (invisible
// characters, characters the code page cannot hold, bytes past its limit, a character that
// would join a kept byte) is turned away before the text changes, so the line edit's undo
// history stays whole; a paste that fits in part goes in as that part. A refusal beeps,
// shows a tooltip and is told by refused().
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

protected:
    bool event(QEvent *event) override;

private:
    class Gate;
    // An edit the gate turned away, and what of it fits.
    struct Turned
    {
        QString proposed;
        QString kept;
        editing::Refusal refusal;
    };

    bool admits(const QString &proposed, int cursorUnits);
    void finishTurned();
    void spliceEdit(const QString &edited);
    void showText(const std::u32string &text, std::size_t cursor);
    void tell(editing::Refusal refusal);

    editing::FieldBytes m_field;
    editing::LimitNote m_note = editing::LimitNote::None;
    bool m_settingText = false;
    std::optional<Turned> m_turned;
};
