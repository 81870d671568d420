#include "editing/tagfieldedit.h"

#include <algorithm>

#include <QApplication>
#include <QToolTip>
#include <QValidator>

namespace {

std::u32string codePoints(const QString &text)
{
    const QList<uint> codes = text.toUcs4();
    return std::u32string(codes.begin(), codes.end());
}

QString fromCodePoints(const std::u32string &text, std::size_t count = std::u32string::npos)
{
    count = std::min(count, text.size());
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(count));
}

} // namespace

// Asks the field before the line edit takes an edit. Turned away, the edit never happens: the
// line edit puts its text, cursor and selection back and its undo history stays as it was.
class TagFieldEdit::Gate final : public QValidator
{
public:
    explicit Gate(TagFieldEdit &edit)
        : QValidator(&edit)
        , m_edit(edit)
    { }

    State validate(QString &input, int &pos) const override
    {
        return m_edit.admits(input, pos) ? Acceptable : Invalid;
    }

private:
    TagFieldEdit &m_edit;
};

TagFieldEdit::TagFieldEdit(std::size_t maxBytes, QWidget *parent)
    : QLineEdit(parent)
    , m_field(maxBytes)
{
    setValidator(new Gate(*this));
    // textChanged, not textEdited: the line edit's own undo and redo change the text too,
    // and so does setText, which no gate stops.
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

bool TagFieldEdit::admits(const QString &proposed, int cursorUnits)
{
    const std::u32string edited = codePoints(proposed);
    if (m_settingText || edited == m_field.text())
        return true;
    // The line edit counts UTF-16 units, the field code points.
    const std::size_t cursor = codePoints(proposed.left(std::max(cursorUnits, 0))).size();
    const editing::FieldBytes::EditResult result = m_field.check(edited, cursor);
    if (result.refusal == editing::Refusal::None && result.text == edited)
        return true;
    // Finished once the line edit has put its text back (or, for setText, which it does not
    // put back, by spliceEdit). The queued call serves edits that come from outside the
    // field's own events, as the context menu's paste.
    m_turned = Turned {proposed, fromCodePoints(result.kept), result.refusal};
    QMetaObject::invokeMethod(this, &TagFieldEdit::finishTurned, Qt::QueuedConnection);
    return false;
}

bool TagFieldEdit::event(QEvent *event)
{
    const bool handled = QLineEdit::event(event);
    finishTurned();
    return handled;
}

void TagFieldEdit::finishTurned()
{
    if (!m_turned)
        return;
    const Turned turned = *m_turned;
    m_turned.reset();
    if (text() == turned.proposed)
        return;
    // In place of the edit, what fits of it: one step of the undo history.
    if (!turned.kept.isEmpty())
        insert(turned.kept);
    tell(turned.refusal);
}

void TagFieldEdit::showText(const std::u32string &text, std::size_t cursor)
{
    m_settingText = true;
    setText(fromCodePoints(text));
    m_settingText = false;
    setCursorPosition(static_cast<int>(fromCodePoints(text, cursor).size()));
}

void TagFieldEdit::spliceEdit(const QString &edited)
{
    if (m_settingText)
        return;
    // Taken whole: the gate turned it away only where nothing puts the text back.
    m_turned.reset();
    const int cursorUnits = std::min(cursorPosition(), static_cast<int>(edited.size()));
    const std::u32string text = codePoints(edited);
    const editing::FieldBytes::EditResult result
        = m_field.apply(text, codePoints(edited.left(cursorUnits)).size());
    if (result.text != text)
        showText(result.text, result.cursor);
    setModified(true);
    tell(result.refusal);
}

void TagFieldEdit::tell(editing::Refusal refusal)
{
    if (refusal == editing::Refusal::None)
        return;
    const QString message
        = QString::fromStdString(editing::refusalText(refusal, m_field.maxBytes(), m_note));
    QApplication::beep();
    if (isVisible())
        QToolTip::showText(mapToGlobal(QPoint(0, height())), message, this);
    Q_EMIT refused(refusal, message);
}
