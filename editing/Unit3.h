#pragma once

#include <optional>
#include <string>

#include <QDialog>

#include "tags/id3v1.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class TagFieldEdit;

namespace editing {
class ITagWriter;
}

// The tag editor: shows one file's tag as the file holds it now and writes a complete new
// tag from the dialog alone, through its tag writer.
class TForm3 final : public QDialog
{
    Q_OBJECT

public:
    TForm3(QWidget *parent, editing::ITagWriter &tagWriter);

    QLineEdit *Edit1;     // the full path, read only
    TagFieldEdit *Edit2;  // Title
    TagFieldEdit *Edit3;  // Album
    TagFieldEdit *Edit6;  // Artist
    TagFieldEdit *Edit4;  // Year
    QComboBox *ComboBox1; // genre
    TagFieldEdit *Edit5;  // Comment
    QPushButton *Button1;
    QPushButton *Button2;

    // Runs the dialog on the file's tag as it is now (texts trimmed). Gives the texts and the
    // genre written when "セーブ" wrote them; nothing when it was cancelled.
    std::optional<tags::CompleteTag> ask(const std::string &path, const tags::TTagRecord &tag);

    void FormCreate();
    void Button1Click();
    void Button2Click();

protected:
    // Neither button is pressed by Enter or Escape.
    void keyPressEvent(QKeyEvent *event) override;

private:
    editing::ITagWriter &m_tagWriter;
    void fill(const std::string &path, const tags::TTagRecord &tag);

    std::string m_path;
    std::optional<tags::CompleteTag> m_saved; // what the last run wrote
};
