#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class TURLLabel;

// The version box: the program's name and version, and where its author can be reached.
class TForm5 final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm5(QWidget *parent);

    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    TURLLabel *URLLabel1;
    QPushButton *Button1;

    void Button1Click();

    // A caption of the window definitions: "&&" stands for one "&".
    static QString captionText(const char *utf8);

protected:
    void showEvent(QShowEvent *event) override;
};
