#pragma once

#include <array>
#include <string>

#include <QDialog>

#include "tags/id3v1.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class Cp932LineEdit;
class TForm1;

// The tag editor: shows one file's tag as the file holds it now and writes a complete new
// tag from the dialog alone.
class TForm3 final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm3(TForm1 *mainWindow);

    QLineEdit *Edit1;     // the full path, read only
    Cp932LineEdit *Edit2; // Title
    Cp932LineEdit *Edit3; // Album
    Cp932LineEdit *Edit6; // Artist
    Cp932LineEdit *Edit4; // Year
    QComboBox *ComboBox1; // genre
    Cp932LineEdit *Edit5; // Comment
    QPushButton *Button1;
    QPushButton *Button2;

    void FormCreate();
    // Fills the dialog from the file's tag (texts trimmed).
    void fill(const std::string &path, const tags::TTagRecord &tag);
    void Button1Click();
    void Button2Click();

    // After a save: the bytes written for each text field, in block order (Title, Artist,
    // Album, Year, Comment), and the genre list's text.
    const std::array<std::string, tags::TextFieldCount> &savedTexts() const { return m_saved; }
    std::string savedGenreName() const;

protected:
    // Neither button is pressed by Enter or Escape.
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::string m_path;
    std::array<std::string, tags::TextFieldCount> m_saved;
};
