#pragma once

#include <optional>

#include <QDialog>

#include "search/searchmatch.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace search {
class ISearchStep;
}

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

    // What a finished search gives: the conditions it searched for and whether the matching
    // rows go on to the work list ("作業リストに追加") or stay only marked.
    struct Choice
    {
        search::Conditions conditions;
        bool addToWorkList = true;
    };
    // Runs the dialog from empty conditions (OR search, adding to the work list); its start
    // button selects the matching rows through the search step. Gives the choice of the
    // search that closed it, or nothing when it was cancelled.
    std::optional<Choice> ask();

    void FormCreate();
    void Button1Click();
    void Button2Click();
    // The conditions the boxes hold, encoded for matching.
    search::Conditions conditions() const;

    // Escape and the close box cancel, as "キャンセル" does.
    void reject() override;

private:
    search::ISearchStep &m_searchStep;
    std::optional<search::Conditions> m_searched; // what the start button searched for
};
