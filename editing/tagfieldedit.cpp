#include "editing/tagfieldedit.h"

#include <algorithm>

#include <QApplication>
#include <QToolTip>

TagFieldEdit::TagFieldEdit(std::size_t maxBytes, QWidget *parent)
    : QLineEdit(parent)
    , m_field(maxBytes)
{
    // textChanged, not textEdited: the line edit's own undo and redo change the text too.
    connect(this, &QLineEdit::textChanged, this, &TagFieldEdit::spliceEdit);
}

void TagFieldEdit::setOriginalBytes(const std::string &bytes)
{
    m_field.setOriginal(bytes);
    const std::u32string text = m_field.text();
    showText(text, text.size());
    setModified(false);
}

void TagFieldEdit::setMaxBytes(std::size_t maxBytes, editing::LimitNote note)
{
    m_field.setMaxBytes(maxBytes);
    m_note = note;
}

void TagFieldEdit::showText(const std::u32string &text, std::size_t cursor)
{
    m_settingText = true;
    setText(QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size())));
    m_settingText = false;
    // Every character the field holds is in the Basic Multilingual Plane, so code points
    // and UTF-16 positions agree.
    setCursorPosition(static_cast<int>(cursor));
}

void TagFieldEdit::spliceEdit(const QString &edited)
{
    if (m_settingText)
        return;
    // The cursor counts UTF-16 units; the field's text counts code points.
    const int cursorUnits = std::min(cursorPosition(), static_cast<int>(edited.size()));
    const std::size_t cursor = static_cast<std::size_t>(edited.left(cursorUnits).toUcs4().size());
    const QList<uint> codes = edited.toUcs4();
    const std::u32string text(codes.begin(), codes.end());
    const editing::FieldBytes::EditResult result = m_field.apply(text, cursor);
    if (result.text != text)
        showText(result.text, result.cursor);
    setModified(true);
    if (result.refusal == editing::Refusal::None)
        return;
    const QString message
        = QString::fromStdString(editing::refusalText(result.refusal, m_field.maxBytes(), m_note));
    QApplication::beep();
    if (isVisible())
        QToolTip::showText(mapToGlobal(QPoint(0, height())), message, this);
    Q_EMIT refused(result.refusal, message);
}
