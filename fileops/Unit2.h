#pragma once

#include <optional>
#include <string>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace fileops {
class IFolderMaker;
}

// The new-folder dialog: takes the name of a folder for its folder maker (which knows where)
// to make, and stays open when the folder cannot be made.
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    TForm2(QWidget *parent, fileops::IFolderMaker &folderMaker);

    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

    // Runs the dialog with `name` preset and selected, so that typing replaces it. Gives the
    // folder it made, or nothing when it was cancelled; a refused name keeps it open with the
    // error shown.
    std::optional<std::string> ask(const QString &name);

    // Makes the folder and closes; a refusal is raised as an input/output error.
    void Button1Click(QObject *Sender);
    void Button2Click(QObject *Sender);

    // Escape and the close box do what "キャンセル" does.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    fileops::IFolderMaker &m_folderMaker;
    std::optional<std::string> m_made; // the folder the last run made
};
