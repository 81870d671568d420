#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace search {
struct Conditions;
class ISearchStep;
} // namespace search

// The conditional search dialog: conditions on the file path and the tag fields, the
// search method, and what happens with the matching rows afterwards.
class TForm4 final : public QDialog
{
    Q_OBJECT

public:
    TForm4(QWidget *parent, search::ISearchStep &searchStep);

    QLineEdit *Edit1;     // file name (matched against the full path)
    QLineEdit *Edit6;     // Title
    QLineEdit *Edit2;     // Artist
    QLineEdit *Edit3;     // Album
    QLineEdit *Edit4;     // Year
    QComboBox *ComboBox1; // genre
    QLineEdit *Edit5;     // Comment
    QComboBox *ComboBox2; // search method
    QComboBox *ComboBox3; // after the search
    QPushButton *Button1;
    QPushButton *Button2;
    QLabel *Label7;

    void FormCreate();
    void Button1Click();
    void Button2Click();
    // The conditions the boxes hold, encoded for matching.
    search::Conditions conditions() const;

    // Escape and the close box cancel, as "キャンセル" does.
    void reject() override;

private:
    search::ISearchStep &m_searchStep;
};
