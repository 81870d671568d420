#pragma once

#include <optional>

#include <QDialog>

#include "tags/id3v1.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TagFieldEdit;

// The bulk tag setting: the fields every selected file is to get, and "消去" boxes for the
// fields to clear in all of them; empty fields leave the files' values alone.
class TForm6 final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm6(QWidget *parent);

    TagFieldEdit *Edit2;  // Title
    TagFieldEdit *Edit3;  // Album
    TagFieldEdit *Edit6;  // Artist
    TagFieldEdit *Edit4;  // Year
    QComboBox *ComboBox1; // genre
    TagFieldEdit *Edit5;  // Comment
    QCheckBox *CheckBox1; // Title
    QCheckBox *CheckBox2; // Album
    QCheckBox *CheckBox3; // Artist
    QCheckBox *CheckBox4; // Year
    QCheckBox *CheckBox5; // Genre
    QCheckBox *CheckBox6; // Comment
    QLabel *Label7;
    QPushButton *Button1;
    QPushButton *Button2;

    // Runs the dialog from empty fields, the empty genre and unticked boxes. Gives what the
    // run writes, decided the same for every file, when "セーブ" closed it; nothing when it
    // was cancelled.
    std::optional<tags::TagMerge> ask();

    // The box's field is disabled while it is ticked (its text stays).
    void CheckBox1Click(QObject *Sender);
    void Button1Click();
    void Button2Click();

private:
    // Empties every field, sets the genre to the empty entry and unticks every box.
    void reset();
    tags::TagMerge decide() const;
    bool m_saved = false; // "セーブ" closed the last run
    QWidget *fieldOf(QObject *box) const;
};
