// The main window's conditional search command.

#include <QComboBox>
#include <QLineEdit>

#include "app/Unit1.h"
#include "platform/modal.h"
#include "search/Unit4.h"

void TForm1::Button2Click(QObject *)
{
    // Every launch starts from empty conditions.
    for (QLineEdit *edit :
        {Form4->Edit1, Form4->Edit2, Form4->Edit3, Form4->Edit4, Form4->Edit5, Form4->Edit6})
        edit->clear();
    Form4->ComboBox1->setCurrentIndex(0);
    Form4->ComboBox2->setCurrentIndex(0);
    Form4->ComboBox3->setCurrentIndex(0);
    platform::modal().execDialog(Form4);
    if (Form4->ComboBox3->currentIndex() == 0)
        ListView2DragDrop(nullptr, nullptr);
}
