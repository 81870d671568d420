#pragma once

#include <string>

#include <QObject>

// Lets the user choose one folder; holds the chosen folder's path (bytes) afterwards.
class TBrowseDialog : public QObject
{
    Q_OBJECT

public:
    explicit TBrowseDialog(QObject *owner);

    std::string Directory;
    std::string Caption;

    virtual bool Execute();
};
