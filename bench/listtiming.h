#pragma once

#include <QAbstractItemView>
#include <QApplication>

#include "bench/benchtree.h"
#include "lists/filelistview.h"

namespace bench {

// Runs an action on a list and repaints it; gives the seconds both took.
template<typename F> double timedOnList(FileListView *list, F &&action)
{
    const long long start = nowNanoseconds();
    action();
    list->currentView()->viewport()->repaint();
    QApplication::processEvents();
    return secondsSince(start);
}

} // namespace bench
