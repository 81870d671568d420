#pragma once

// The main window shown and active, with the scripted modal interface, for the tests of its
// focus, its progress display and its layout.

#include <gtest/gtest.h>

#include <functional>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeView>

#include "app/Unit1.h"
#include "editing/Unit6.h"
#include "editing/tagfieldedit.h"
#include "lists/filelistview.h"
#include "platform/runcontrol.h"
#include "tags/tagfile.h"
#include "tests/support/mainwindowfixture.h"
#include "widgets/BrowsDlg.h"
#include "widgets/PanelEx.h"
#include "widgets/SplitPnl.h"
#include "widgets/folderchooser.h"

namespace desktop_window {

using testing_support::text;

class DesktopWindow : public testing_support::MainWindowTest
{
protected:
    DesktopWindow()
    {
        form.show();
        form.activateWindow();
        QApplication::processEvents();
    }

    // The chooser shown next moves the focus (as a blocked window forgets its own) and
    // confirms `folder`.
    void chooseFolder(const std::string &folder)
    {
        modal.onDialog([this, folder](QDialog *d) {
            auto *chooser = qobject_cast<FolderChooser *>(d);
            EXPECT_NE(chooser, nullptr);
            form.Button2->setFocus();
            if (chooser) {
                EXPECT_TRUE(chooser->selectPath(folder));
            }
            return QDialog::Accepted;
        });
    }

    void addWorkRows(const std::vector<std::string> &names)
    {
        std::vector<lists::Row> rows;
        for (const std::string &name : names)
            rows.push_back(lists::makeRow(tree.file(name, name), tags::TTagRecord()));
        form.ListView2->appendRows(std::move(rows));
    }

    QWidget *pressTab()
    {
        QWidget *focused = form.focusWidget();
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(focused, &tab);
        return form.focusWidget();
    }
};

// Collects the status line's text at every repaint.
class PaintWatch final : public QObject
{
public:
    explicit PaintWatch(QLabel *label, std::function<void()> atFirst = {})
        : m_label(label)
        , m_atFirst(std::move(atFirst))
    {
        label->installEventFilter(this);
    }
    std::vector<QString> texts;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_label && event->type() == QEvent::Paint
            && (texts.empty() || texts.back() != m_label->text())) {
            texts.push_back(m_label->text());
            if (texts.size() == 1 && m_atFirst)
                m_atFirst();
        }
        return false;
    }

private:
    QLabel *m_label;
    std::function<void()> m_atFirst;
};

} // namespace desktop_window
