#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TForm1;

// The new-folder dialog: takes the name of a folder to make inside the folder the main
// window's second folder browser chose last, and stays open when the folder cannot be made.
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm2(TForm1 *mainWindow);

    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

    // Makes the folder and closes; a refusal is raised as an input/output error.
    void Button1Click(QObject *Sender);
    void Button2Click(QObject *Sender);

    // Escape and the close box do what "キャンセル" does.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
};
