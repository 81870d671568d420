#include "widgets/cursortable.h"

#include <map>

#include <QPixmap>

// The resources of a static library are registered by hand, once.
static void registerWidgetResources()
{
    Q_INIT_RESOURCE(widgets);
}

namespace widgets {

namespace {

std::map<int, QCursor> &table()
{
    static std::map<int, QCursor> cursors;
    return cursors;
}

} // namespace

void installCursor(int number, const QCursor &cursor)
{
    table()[number] = cursor;
}

QCursor cursorOf(int number)
{
    const auto it = table().find(number);
    return it == table().end() ? QCursor() : it->second;
}

int cursorCount()
{
    return static_cast<int>(table().size());
}

QCursor handPointCursor()
{
    static const bool registered = (registerWidgetResources(), true);
    (void)registered;
    return QCursor(QPixmap(QStringLiteral(":/cursors/HANDPOINT")), 7, 1);
}

} // namespace widgets
