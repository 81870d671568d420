#pragma once

#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace editing {

// The layout both tag dialogs share: one line a field (label, field, and in the bulk dialog
// its erase box), Year and Genre on one line, then Comment, a note and the buttons.
// `erase` holds the boxes by line (Title, Album, Artist, Year, Genre, Comment) or is null;
// with boxes the dialog gets the red note, which is returned.
QLabel *layOutTagFields(QDialog *dialog,
    const std::vector<std::pair<const char *, QWidget *>> &lines, QWidget *year, QComboBox *genre,
    QWidget *comment, const std::vector<QCheckBox *> *erase, QPushButton *save,
    QPushButton *cancel);

// An empty first entry, then the genre names in the table's order.
void fillGenreList(QComboBox *combo);

} // namespace editing
