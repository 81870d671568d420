#include "editing/tagfields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "tags/genretable.h"

namespace editing {

QLabel *layOutTagFields(QDialog *dialog,
    const std::vector<std::pair<const char *, QWidget *>> &lines, QWidget *year, QComboBox *genre,
    QWidget *comment, const std::vector<QCheckBox *> *erase, QPushButton *save, QPushButton *cancel)
{
    auto *grid = new QGridLayout(dialog);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    int row = 0;
    std::size_t box = 0;
    const auto addBox = [&](int at) {
        if (erase && box < erase->size())
            grid->addWidget((*erase)[box++], at, 5);
    };
    for (const auto &[caption, field] : lines) {
        grid->addWidget(new QLabel(QString::fromUtf8(caption), dialog), row, 0);
        grid->addWidget(field, row, 1, 1, 4);
        if (std::string(caption) != "Filename")
            addBox(row);
        ++row;
    }
    grid->addWidget(new QLabel(QStringLiteral("Year"), dialog), row, 0);
    if (!erase || box >= erase->size()) {
        grid->addWidget(year, row, 1);
    } else {
        year->setMinimumWidth(60);
        auto *yearBox = new QHBoxLayout;
        yearBox->addWidget(year);
        yearBox->addWidget((*erase)[box++]);
        grid->addLayout(yearBox, row, 1);
    }
    grid->addWidget(new QLabel(QStringLiteral("Genere"), dialog), row, 2);
    grid->addWidget(genre, row, 3, 1, 2);
    addBox(row);
    ++row;
    grid->addWidget(new QLabel(QStringLiteral("Comment"), dialog), row, 0);
    grid->addWidget(comment, row, 1, 1, 4);
    addBox(row);
    ++row;
    QLabel *note = nullptr;
    if (erase) {
        note = new QLabel(QString::fromUtf8("※空欄の項目は無視されます"), dialog);
        note->setStyleSheet(QStringLiteral("color: red"));
        grid->addWidget(note, row++, 0, 1, 6);
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row, 0, 1, 6);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(1, 80);
    grid->setColumnMinimumWidth(3, 150);
    dialog->setFixedWidth(440);
    return note;
}

void fillGenreList(QComboBox *combo)
{
    combo->clear();
    for (const std::string &name : tags::genreListEntries())
        combo->addItem(QString::fromStdString(name));
    combo->setMaxVisibleItems(20);
}

} // namespace editing
