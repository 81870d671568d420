#include "app/Unit1.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>

#include "app/Unit5.h"
#include "app/settingsfile.h"
#include "app/statusprogress.h"
#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/exportpreview.h"
#include "editing/tagjournal.h"
#include "fileops/Unit2.h"
#include "fileops/foldermaker.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/error.h"
#include "platform/scopeguard.h"
#include "platform/textcodec.h"
#include "search/Unit4.h"
#include "search/searchstep.h"
#include "widgets/BrowsDlg.h"
#include "widgets/PanelEx.h"
#include "widgets/SplitPnl.h"
#include "widgets/alignlayout.h"
#include "widgets/errorreport.h"
#include "widgets/heldkeyfilter.h"

using widgets::TAlign;

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

constexpr int DesignWidth = 780;
constexpr int DesignHeight = 540;
// The least size at which every button bar and both lists still show.
constexpr int MinimumWidth = 320;
constexpr int MinimumHeight = 240;
constexpr int BarHeight = 41;
constexpr int DesignViewHeight = 200;
// The least of the work list that the result list's height leaves visible.
constexpr int LeastWorkListHeight = 60;

// A setting's place among the window settings; `column` counts from a column group's first.
constexpr std::size_t at(app::SettingKey key, int column = 0)
{
    return static_cast<std::size_t>(key) + static_cast<std::size_t>(column);
}

// Puts the keyboard focus back, when a command ends, on the control that had it when the
// command started: its dialogs and message boxes block the window, which then forgets its
// focus, and a button greyed meanwhile gives its focus up.
class FocusKeeper
{
public:
    explicit FocusKeeper(QWidget *window)
        : m_widget(window->focusWidget())
    { }
    ~FocusKeeper()
    {
        if (m_widget && m_widget->isEnabled() && m_widget->isVisible())
            m_widget->setFocus(Qt::OtherFocusReason);
    }
    FocusKeeper(const FocusKeeper &) = delete;
    FocusKeeper &operator=(const FocusKeeper &) = delete;

private:
    QPointer<QWidget> m_widget;
};

} // namespace

TForm1::TForm1(QWidget *parent, app::RunIntervals intervals)
    : QMainWindow(parent)
    , m_intervals(intervals)
{
    setWindowTitle(QStringLiteral("Bellwick"));
    // A held Enter or Escape acts once, in this window and in every dialog and box it opens.
    qApp->installEventFilter(new HeldKeyFilter(this));
    buildControls();
    buildMenus();
    connectHandlers();
    setMinimumSize(MinimumWidth, MinimumHeight);
    resize(DesignWidth, DesignHeight);
    move(96, 97);
    FormCreate();
}

TForm1::~TForm1()
{
    FormDestroy();
}

QPushButton *TForm1::addBarButton(QWidget *bar, int left, int width, const char *caption)
{
    auto *button = new QPushButton(text(caption), bar);
    button->setGeometry(left, 8, width, 25);
    // Enter presses the focused bar button, as on the original platform.
    button->setAutoDefault(true);
    return button;
}

void TForm1::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    m_layout = new widgets::AlignLayout(central);

    Panel1 = new QWidget(central);
    Panel1->resize(DesignWidth, BarHeight);
    Button1 = addBarButton(Panel1, 8, 81, "ファイル検索");
    Button2 = addBarButton(Panel1, 96, 75, "条件検索");
    Button12 = addBarButton(Panel1, 400, 75, "全て選択");
    Button13 = addBarButton(Panel1, 480, 91, "選択項目を反転");
    Button14 = addBarButton(Panel1, 576, 89, "リストから削除");
    Button6 = addBarButton(Panel1, 672, 75, "クリア");

    ListView1 = new FileListView(FileListView::Role::ResultList, central);
    ListView1->setGeometry(0, BarHeight, DesignWidth, DesignViewHeight);
    m_viewHeight = m_shownViewHeight = DesignViewHeight;

    SplitPanel1 = new TSplitPanel(central);
    SplitPanel1->setGeometry(0, BarHeight + DesignViewHeight, DesignWidth, 4);

    PanelEx1 = new TPanelEx(central);
    PanelEx1->setGeometry(0, BarHeight + DesignViewHeight + 4, DesignWidth, BarHeight);
    Button8 = addBarButton(PanelEx1, 8, 105, "フォルダ新規作成");
    Button3 = addBarButton(PanelEx1, 120, 75, "コピー");
    Button4 = addBarButton(PanelEx1, 200, 75, "移動");
    Button5 = addBarButton(PanelEx1, 280, 75, "削除");
    Button11 = addBarButton(PanelEx1, 400, 75, "全て選択");
    Button10 = addBarButton(PanelEx1, 480, 91, "選択項目を反転");
    Button9 = addBarButton(PanelEx1, 576, 89, "リストから削除");
    Button7 = addBarButton(PanelEx1, 672, 75, "クリア");

    ListView2 = new FileListView(FileListView::Role::WorkList, central);

    StatusBar1 = new QLabel(central);
    StatusBar1->resize(DesignWidth, 19);
    StatusBar1->setFrameShape(QFrame::Panel);
    StatusBar1->setFrameShadow(QFrame::Sunken);
    StatusBar1->setTextFormat(Qt::PlainText);
    StatusBar1->setContentsMargins(2, 0, 2, 0);

    m_layout->addWidget(Panel1, TAlign::alTop);
    m_layout->addWidget(ListView1, TAlign::alTop);
    m_layout->addWidget(SplitPanel1, TAlign::alTop);
    m_layout->addWidget(PanelEx1, TAlign::alTop);
    m_layout->addWidget(ListView2, TAlign::alClient);
    m_layout->addWidget(StatusBar1, TAlign::alBottom);
    // Dragging the split bar sets the result list's height.
    SplitPanel1->SetAlign(TAlign::alTop);
    SplitPanel1->SetHostComponent(ListView1);
    // A drag sets the user's height, as far as the window shows it.
    SplitPanel1->OnEndSizing = [this](QObject *) {
        m_viewHeight = std::clamp(ListView1->height(), 0, resultListRoom());
        boundResultList();
    };

    for (FileListView *list : {ListView1, ListView2}) {
        for (int c = 0; c < lists::ColumnCount; ++c)
            list->reportView()->header()->resizeSection(c, lists::Columns[c].defaultWidth);
    }

    const QList<QWidget *> order = tabOrder();
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    ListView2->setFocus();

    BrowseDialog1 = new TBrowseDialog(this);
    BrowseDialog1->Caption = "MP3ファイルのあるディレクトリを指定してください";
    BrowseDialog2 = new TBrowseDialog(this);
}

QList<QWidget *> TForm1::tabOrder() const
{
    // The work list, the result list, the result bar, the work bar; each list by both of its
    // views, the hidden one skipped.
    return {ListView2->reportView(), ListView2->iconView(), ListView1->reportView(),
        ListView1->iconView(), Button1, Button2, Button6, Button12, Button13, Button14, Button7,
        Button5, Button4, Button3, Button8, Button9, Button10, Button11};
}

void TForm1::buildMenus()
{
    const auto addAction = [](QMenu *menu, const char *caption) {
        QAction *action = caption[0] == '-' && caption[1] == '\0' ? menu->addSeparator()
                                                                  : menu->addAction(text(caption));
        // A held shortcut runs its command once.
        action->setAutoRepeat(false);
        return action;
    };
    PopupMenu1 = new QMenu(this);
    N9 = addAction(PopupMenu1, "タグ変更");
    N17 = addAction(PopupMenu1, "タグ一括設定(選択ファイル)");
    N10 = addAction(PopupMenu1, "-");
    N1 = addAction(PopupMenu1, "詳細");
    N2 = addAction(PopupMenu1, "小さなアイコン");
    N3 = addAction(PopupMenu1, "大きなアイコン");
    N4 = addAction(PopupMenu1, "一覧");
    PopupMenu2 = new QMenu(this);
    N12 = addAction(PopupMenu2, "タグ変更");
    N18 = addAction(PopupMenu2, "タグ一括設定(選択ファイル)");
    N11 = addAction(PopupMenu2, "-");
    N5 = addAction(PopupMenu2, "詳細");
    N6 = addAction(PopupMenu2, "小さなアイコン");
    N7 = addAction(PopupMenu2, "大きなアイコン");
    N8 = addAction(PopupMenu2, "一覧");
    addAction(PopupMenu2, "-");
    N19 = addAction(PopupMenu2, "タグからファイル名を付ける(&N)...");
    N20 = addAction(PopupMenu2, "ファイル名からタグを読む(&F)...");
    N21 = addAction(PopupMenu2, "ID3v2 タグに書き出す(&2)...");

    File1 = menuBar()->addMenu(text("ファイル(&F)"));
    N13 = addAction(File1, "ファイル検索");
    N16 = addAction(File1, "ファイル追加");
    N14 = addAction(File1, "-");
    Exit1 = addAction(File1, "終了(&C)");
    Edit1 = menuBar()->addMenu(text("編集(&E)"));
    Undo1 = addAction(Edit1, "元に戻す(&U)");
    Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo1 = addAction(Edit1, "やり直し(&R)");
    Redo1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    View1 = menuBar()->addMenu(text("表示(&V)"));
    CodePage1 = View1->addMenu(text("文字コード"));
    CodePage1->menuAction()->setAutoRepeat(false);
    auto *codePages = new QActionGroup(this);
    const std::pair<platform::CodePage, const char *> codePageItems[] = {
        {platform::CodePage::Cp932, "日本語 (シフト JIS / CP932)"},
        {platform::CodePage::Cp1252, "西欧 (Windows-1252)"},
        {platform::CodePage::Cp1251, "キリル (Windows-1251)"},
        {platform::CodePage::Cp936, "中国語簡体字 (GBK)"},
        {platform::CodePage::Cp949, "韓国語 (CP949)"},
        {platform::CodePage::Cp950, "中国語繁体字 (Big5)"},
        {platform::CodePage::Utf8, "Unicode (UTF-8)"},
    };
    for (const auto &[codePage, caption] : codePageItems) {
        QAction *item = addAction(CodePage1, caption);
        item->setCheckable(true);
        item->setData(static_cast<int>(codePage));
        codePages->addAction(item);
        CodePageItems.append(item);
    }
    Tools1 = menuBar()->addMenu(text("ツール(&T)"));
    NamesFromTags1 = addAction(Tools1, "タグからファイル名を付ける(&N)...");
    TagsFromNames1 = addAction(Tools1, "ファイル名からタグを読む(&F)...");
    ExportV21 = addAction(Tools1, "ID3v2 タグに書き出す(&2)...");
    Help1 = menuBar()->addMenu(text("ヘルプ(&H)"));
    N15 = addAction(Help1, "ヘルプ表示");
    About1 = addAction(Help1, "バージョン情報");
    for (QAction *menu : menuBar()->actions())
        menu->setAutoRepeat(false);
}

void TForm1::connectHandlers()
{
    // Every handler runs inside the error guard and learns which control sent the event; the
    // focus goes back where it was when the handler started.
    const auto bind = [this](auto *control, auto signal, void (TForm1::*handler)(QObject *)) {
        connect(control, signal, this, [this, control, handler] {
            const FocusKeeper keep(this);
            widgets::guarded([&] { (this->*handler)(control); });
        });
    };
    bind(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    bind(Button12, &QPushButton::clicked, &TForm1::Button11Click);
    bind(Button13, &QPushButton::clicked, &TForm1::Button10Click);
    bind(Button14, &QPushButton::clicked, &TForm1::Button9Click);
    bind(Button6, &QPushButton::clicked, &TForm1::Button6Click);
    bind(Button8, &QPushButton::clicked, &TForm1::Button8Click);
    bind(Button3, &QPushButton::clicked, &TForm1::Button3Click);
    bind(Button4, &QPushButton::clicked, &TForm1::Button4Click);
    bind(Button5, &QPushButton::clicked, &TForm1::Button5Click);
    bind(Button11, &QPushButton::clicked, &TForm1::Button11Click);
    bind(Button10, &QPushButton::clicked, &TForm1::Button10Click);
    bind(Button9, &QPushButton::clicked, &TForm1::Button9Click);
    bind(Button7, &QPushButton::clicked, &TForm1::Button7Click);

    for (QAction *entry : {N9, N12})
        bind(entry, &QAction::triggered, &TForm1::N9Click);
    for (QAction *entry : {N17, N18})
        bind(entry, &QAction::triggered, &TForm1::N17Click);
    for (QAction *entry : {ExportV21, N21})
        bind(entry, &QAction::triggered, &TForm1::ExportV21Click);
    for (QAction *entry : {N1, N2, N3, N4, N5, N6, N7, N8})
        bind(entry, &QAction::triggered, &TForm1::N1Click);
    bind(N13, &QAction::triggered, &TForm1::N13Click);
    bind(N16, &QAction::triggered, &TForm1::N16Click);
    bind(Exit1, &QAction::triggered, &TForm1::Exit1Click);
    bind(Undo1, &QAction::triggered, &TForm1::Undo1Click);
    bind(Redo1, &QAction::triggered, &TForm1::Redo1Click);
    connect(Edit1, &QMenu::aboutToShow, this,
        [this] { widgets::guarded([this] { Edit1Popup(Edit1); }); });
    // Greyed entries take no shortcut: they are greyed only while the menu shows.
    connect(Edit1, &QMenu::aboutToHide, this, [this] {
        Undo1->setEnabled(true);
        Redo1->setEnabled(true);
    });
    connect(Tools1, &QMenu::aboutToShow, this, [this] {
        for (QAction *entry : {NamesFromTags1, TagsFromNames1, ExportV21})
            entry->setEnabled(ListView2->rowCount() > 0);
    });
    for (QAction *entry : {NamesFromTags1, N19})
        bind(entry, &QAction::triggered, &TForm1::NamesFromTags1Click);
    for (QAction *entry : {TagsFromNames1, N20})
        bind(entry, &QAction::triggered, &TForm1::TagsFromNames1Click);
    bind(N15, &QAction::triggered, &TForm1::N15Click);
    bind(About1, &QAction::triggered, &TForm1::About1Click);
    for (QAction *entry : CodePageItems)
        bind(entry, &QAction::triggered, &TForm1::CodePageClick);

    for (FileListView *list : {ListView1, ListView2}) {
        bind(list, &FileListView::clicked, &TForm1::ListView1Click);
        bind(list, &FileListView::doubleClicked, &TForm1::ListView1DblClick);
        connect(list, &FileListView::keyPressed, this,
            [this, list](int key, Qt::KeyboardModifiers shift) {
                const FocusKeeper keep(this);
                widgets::guarded([&] { ListView1KeyDown(list, key, shift); });
            });
        connect(list, &FileListView::popupRequested, this, [this, list](const QPoint &at) {
            QMenu *menu = list == ListView1 ? PopupMenu1 : PopupMenu2;
            widgets::guarded([&] { PopupMenu2Popup(menu); });
            // The work list's menu opens centred on the pointer, the result list's with its
            // left edge there.
            QPoint pos = at;
            if (menu == PopupMenu2)
                pos.rx() -= menu->sizeHint().width() / 2;
            menu->popup(pos);
        });
    }
    connect(ListView1, &FileListView::headerClicked, this,
        [this](int column) { widgets::guarded([&] { ListView1ColumnClick(ListView1, column); }); });
    connect(ListView2, &FileListView::headerClicked, this,
        [this](int column) { widgets::guarded([&] { ListView2ColumnClick(ListView2, column); }); });
    ListView2->acceptsDropFrom
        = [this](QObject *source) { return ListView2DragOver(ListView2, source); };
    connect(ListView2, &FileListView::dropped, this, [this](QObject *source) {
        widgets::guarded([&] { ListView2DragDrop(ListView2, source); });
    });
}

void TForm1::createDialogs()
{
    // The journal is opened, not read: what it holds is read when the edit menu opens.
    m_journal = editing::ITagJournal::open();
    m_tagWriter = std::make_unique<editing::JournaledTagWriter>(
        m_journal, [this] { return mayWriteWithoutJournal(); },
        [this](editing::ITagJournal &) { return holdJournal(); });
    m_resultListSearch = std::make_unique<search::ListSearch>(*ListView1);
    m_folderMaker = std::make_unique<fileops::FolderMakerIn>(BrowseDialog2->Directory);
    Form3 = new TForm3(this, *m_tagWriter);
    Form4 = new TForm4(this, *m_resultListSearch);
    Form2 = new TForm2(this, *m_folderMaker);
    Form5 = new TForm5(this);
    Form6 = new TForm6(this);
    ExportPreview = new ExportPreviewDialog(this);
}

void TForm1::FormCreate()
{
    SortKey.reset();
    SortOrder = 1;
    applySettings(app::readSettings(app::settingsPath(), currentSettings()));
    platform::setTagCodePage(app::readCodePage(app::settingsPath()));
    m_nameFormat
        = app::readNameSetting(app::settingsPath(), app::NameFormatKey, app::DefaultNameFormat);
    m_namePattern
        = app::readNameSetting(app::settingsPath(), app::NamePatternKey, app::DefaultNamePattern);
    showInCodePage();
}

void TForm1::FormDestroy()
{
    const std::string &path = app::settingsPath();
    if (path.empty())
        return;
    app::makeSettingsFolder(path);
    // The tools' texts are kept once they differ from what the file gave (or the defaults),
    // so that a user who never runs a tool keeps the file as it was.
    const auto keepNameSetting
        = [&path](const char *key, const char *fallback, const std::string &value) {
              return value == app::readNameSetting(path, key, fallback)
                  || app::writeNameSetting(path, key, value);
          };
    if (!app::writeSettings(path, currentSettings())
        || !app::writeCodePage(path, platform::tagCodePage())
        || !keepNameSetting(app::NameFormatKey, app::DefaultNameFormat, m_nameFormat)
        || !keepNameSetting(app::NamePatternKey, app::DefaultNamePattern, m_namePattern))
        widgets::showErrorReport(platform::cannotWriteMessage(path));
}

app::WindowSettings TForm1::currentSettings() const
{
    app::WindowSettings s {};
    using app::SettingKey;
    s[at(SettingKey::Top)] = y();
    s[at(SettingKey::Left)] = x();
    s[at(SettingKey::Width)] = width();
    s[at(SettingKey::Height)] = height();
    // The user's height, not the one a small window squeezed it to.
    s[at(SettingKey::ViewHeight)] = userViewHeight();
    for (int c = 0; c < lists::ColumnCount; ++c) {
        s[at(SettingKey::Columns10, c)] = ListView1->reportView()->header()->sectionSize(c);
        s[at(SettingKey::Columns20, c)] = ListView2->reportView()->header()->sectionSize(c);
    }
    return s;
}

void TForm1::applySettings(const app::WindowSettings &s)
{
    // Stored values are kept within what leaves the window usable.
    QSize screen(4096, 4096);
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        screen = primary->availableGeometry().size();
    const QSize least = minimumSize();
    // Positions far outside any screen would overflow the toolkit's geometry arithmetic.
    using app::SettingKey;
    move(std::clamp(s[at(SettingKey::Left)], -32767, 32767),
        std::clamp(s[at(SettingKey::Top)], -32767, 32767));
    resize(std::clamp(
               s[at(SettingKey::Width)], least.width(), std::max(least.width(), screen.width())),
        std::clamp(
            s[at(SettingKey::Height)], least.height(), std::max(least.height(), screen.height())));
    m_viewHeight = std::clamp(s[at(SettingKey::ViewHeight)], 0, std::max(0, screen.height()));
    boundResultList();
    for (int c = 0; c < lists::ColumnCount; ++c) {
        ListView1->reportView()->header()->resizeSection(
            c, std::clamp(s[at(SettingKey::Columns10, c)], 0, 4096));
        ListView2->reportView()->header()->resizeSection(
            c, std::clamp(s[at(SettingKey::Columns20, c)], 0, 4096));
    }
    m_layout->invalidate();
}

void TForm1::Exit1Click(QObject *)
{
    close();
}

void TForm1::N13Click(QObject *)
{
    Button1Click(Button1);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // A close request during a scan or another long operation is carried out when it has
    // returned.
    if (isScanning() || isBusy()) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool TForm1::focusNextPrevChild(bool next)
{
    // A focused control being greyed (the scan button during a scan) keeps the focus to
    // itself rather than handing it to the next button, which a held Enter would press.
    QWidget *focused = focusWidget();
    if (focused && !focused->isEnabled())
        return false;
    // Tab follows the fixed order itself: the focus chain that setTabOrder() builds moves a
    // view without its viewport, so after a style switch the chain would reach a list's
    // view from the wrong place.
    const QList<QWidget *> order = tabOrder();
    for (qsizetype at = 0; focused && at < order.size(); ++at) {
        if (order[at] != focused && !order[at]->isAncestorOf(focused))
            continue;
        for (qsizetype step = 1; step < order.size(); ++step) {
            QWidget *candidate = order[(at + (next ? step : order.size() - step)) % order.size()];
            if (candidate->isVisible() && candidate->isEnabled()) {
                candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                return true;
            }
        }
        break;
    }
    return QMainWindow::focusNextPrevChild(next);
}

void TForm1::runBusy(const char *verb, const std::function<void(platform::IRunControl &)> &work)
{
    runHonouringClose([&] {
        const QString before = StatusBar1->text();
        ++m_busyDepth;
        const platform::ScopeGuard end([this, before] {
            --m_busyDepth;
            StatusBar1->setText(before);
        });
        app::StatusProgress progress(*StatusBar1, text(verb), m_intervals.progressStep);
        work(progress);
    });
}

void TForm1::runHonouringClose(const std::function<void()> &work)
{
    std::exception_ptr failure;
    try {
        work();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!m_closeRequested || isBusy() || isScanning()) {
        // An outer run carries the close out; a failure goes on to its report.
        if (failure)
            std::rethrow_exception(failure);
        return;
    }
    if (failure)
        widgets::guarded([&] { std::rethrow_exception(failure); });
    m_closeRequested = false;
    close();
}

int TForm1::resultListRoom() const
{
    // The window's height less the menu bar, before the window is laid out for the first time.
    const int central = centralWidget()->isVisible() ? centralWidget()->height()
                                                     : height() - menuBar()->sizeHint().height();
    return std::max(0,
        central - Panel1->height() - SplitPanel1->height() - PanelEx1->height()
            - LeastWorkListHeight - StatusBar1->height());
}

int TForm1::userViewHeight() const
{
    // A height the window did not set (the split bar's) is the user's.
    return ListView1->height() == m_shownViewHeight ? m_viewHeight : ListView1->height();
}

void TForm1::boundResultList()
{
    // The work list's bar, the least of the work list and the status line stay visible: the
    // result list gives way first, down to nothing, and takes the user's height back when the
    // window grows.
    const int room = resultListRoom();
    if (ListView1->height() != m_shownViewHeight)
        m_viewHeight = std::min(ListView1->height(), room);
    const int shown = std::min(m_viewHeight, room);
    if (ListView1->height() != shown) {
        ListView1->resize(ListView1->width(), shown);
        m_layout->invalidate();
        m_layout->activate();
    }
    m_shownViewHeight = ListView1->height();
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    boundResultList();
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // The first showing centres the window on the screen; its size stays.
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->geometry();
        move(
            std::max(0, (area.width() - width()) / 2), std::max(0, (area.height() - height()) / 2));
    }
}
