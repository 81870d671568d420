#pragma once

#include <optional>
#include <string>

#include <QLineEdit>

// A tag field: it takes only what Shift-JIS (CP932) can hold, up to a number of bytes, so
// what the user types is exactly what is stored. Typing, a paste or an input-method commit
// that does not fit is cut after the last whole character that fits; characters CP932
// cannot hold are refused. A field the user did not change gives back the very bytes it
// was filled with, so a save never garbles text that was not touched (CP932 has
// duplicate codes, and bytes that are not valid CP932 show as replacement marks).
class Cp932LineEdit final : public QLineEdit
{
    Q_OBJECT

public:
    explicit Cp932LineEdit(std::size_t maxBytes, QWidget *parent = nullptr);

    // Shows the bytes decoded and keeps them; the field counts as unchanged.
    void setOriginalBytes(const std::string &bytes);
    // The field's bytes: the original ones when unchanged, else the text encoded; nothing
    // when a changed text holds a character CP932 cannot hold (a replacement mark).
    std::optional<std::string> bytes() const;
    std::size_t maxBytes() const { return m_maxBytes; }

private:
    void fitEdit(const QString &edited);

    std::size_t m_maxBytes;
    std::string m_original;
    QString m_lastText;
};
