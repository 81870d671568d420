// The main window's status line and the code page its tag texts are shown in.

#include <QAction>
#include <QLabel>

#include "app/Unit1.h"
#include "app/startup.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/textcodec.h"

void TForm1::CodePageClick(QObject *Sender)
{
    const auto *item = qobject_cast<QAction *>(Sender);
    if (!item)
        return;
    if (const std::optional<platform::CodePage> codePage
        = platform::codePageOfNumber(item->data().toInt())) {
        platform::setTagCodePage(*codePage);
        showInCodePage();
    }
}

void TForm1::setStatusText(const std::string &path)
{
    m_statusPath = path;
    StatusBar1->setText(QString::fromStdString(platform::shownPath(path)));
}

void TForm1::clearStatusText()
{
    m_statusPath.reset();
    StatusBar1->clear();
}

void TForm1::showInCodePage()
{
    const int number = static_cast<int>(platform::tagCodePage());
    for (QAction *item : std::as_const(CodePageItems))
        item->setChecked(item->data().toInt() == number);
    app::useTextFonts(platform::tagCodePage());
    // dataChanged, not a reset: a reset would lose the selection and the current row.
    ListView1->model()->redecode();
    ListView2->model()->redecode();
    if (m_statusPath && m_busyDepth == 0)
        setStatusText(*m_statusPath);
}
