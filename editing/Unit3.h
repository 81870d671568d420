#pragma once

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

    void FormCreate();
    // Fills the dialog from the file's tag (texts trimmed).
    void fill(const std::string &path, const tags::TTagRecord &tag);
    void Button1Click();
    void Button2Click();

    // After a save: the texts and the genre written.
    const tags::CompleteTag &savedTag() const { return m_saved; }

protected:
    // Neither button is pressed by Enter or Escape.
    void keyPressEvent(QKeyEvent *event) override;

private:
    editing::ITagWriter &m_tagWriter;
    std::string m_path;
    tags::CompleteTag m_saved;
};
