#include "mainfrm.h"

#include "afxres.h"
#include "bookmarkpanel.h"
#include "chartable.h"
#include "doctemplate.h"
#include "document.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"
#include "winapp.h"

#include <QAction>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>

namespace {

struct ButtonImage {
    unsigned nID;
    const char* theme;   // freedesktop icon name, or nullptr for our own picture
    const char* file;
};

const ButtonImage kButtonImages[] = {
    {ID_FILE_NEW, "document-new", ":/icons/new.svg"},
    {ID_FILE_OPEN, "document-open", ":/icons/open.svg"},
    {ID_FILE_SAVE, "document-save", ":/icons/save.svg"},
    {ID_EDIT_CUT, "edit-cut", ":/icons/cut.svg"},
    {ID_EDIT_COPY, "edit-copy", ":/icons/copy.svg"},
    {ID_EDIT_PASTE, "edit-paste", ":/icons/paste.svg"},
    {ID_FILE_PRINT_DIRECT, "document-print", ":/icons/print.svg"},
    {ID_APP_ABOUT, "help-about", ":/icons/about.svg"},
    {ID_CODEPAGE_GB, nullptr, ":/icons/codepage-gb.svg"},
    {ID_CODEPAGE_BIG5, nullptr, ":/icons/codepage-big5.svg"},
    {ID_CODEPAGE_SJIS, nullptr, ":/icons/codepage-sjis.svg"},
    {ID_CODEPAGE_UTF8, nullptr, ":/icons/codepage-utf8.svg"},
};

// Whether the desktop has an icon theme to draw the common commands. Without
// one, Qt looks in its fallback theme, "hicolor", which holds programs' own
// icons and none of these; each lookup there parses the theme's index for
// nothing, a few milliseconds of the program's start.
bool DesktopHasIconTheme()
{
    const QString theme = QIcon::themeName();
    return !theme.isEmpty() && theme != QLatin1String("hicolor");
}

QIcon ButtonIcon(unsigned nID, bool bThemed)
{
    for (const ButtonImage& image : kButtonImages) {
        if (image.nID != nID)
            continue;
        const QIcon own(QString::fromLatin1(image.file));
        return image.theme && bThemed ? QIcon::fromTheme(QString::fromLatin1(image.theme), own) : own;
    }
    return QIcon();
}

// "&Toolbar" -> "Toolbar", "ﾂｰﾙ ﾊﾞｰ(&T)" -> "ﾂｰﾙ ﾊﾞｰ".
QString PlainMenuText(QString text)
{
    text = text.section(QLatin1Char('\t'), 0, 0);
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return text.trimmed();
}

} // namespace

CMainFrame::CMainFrame()
{
    OnCommand(ID_FILE_CLOSE, [this] { OnFileClose(); });
    OnCommand(ID_FILE_SAVE, [this] {
        if (CDocument* pDoc = GetActiveDocument())
            pDoc->DoFileSave();
    });
    OnCommand(ID_FILE_SAVE_AS, [this] {
        if (CDocument* pDoc = GetActiveDocument())
            pDoc->DoSave(QString());
    });
    OnCommand(ID_APP_EXIT, [this] { close(); });
    OnCommand(ID_WINDOW_NEW, [this] { OnWindowNew(); });
    OnCommand(ID_WINDOW_CASCADE, [this] { OnWindowCascade(); });
    OnCommand(ID_WINDOW_TILE_HORZ, [this] { OnWindowTile(Qt::Horizontal); });
    OnCommand(ID_WINDOW_TILE_VERT, [this] { OnWindowTile(Qt::Vertical); });
    OnCommand(ID_WINDOW_ARRANGE, [this] { OnWindowArrange(); });
    for (unsigned nID : {ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_WINDOW_NEW, ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_TILE_VERT,
                         ID_WINDOW_ARRANGE})
        OnUpdateCommand(nID, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(MDIGetActive() != nullptr); });

    OnCommand(ID_VIEW_TOOLBAR, [this] { m_wndToolBar.setVisible(m_wndToolBar.isHidden()); });
    OnUpdateCommand(ID_VIEW_TOOLBAR, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(true);
        pCmdUI->SetCheck(!m_wndToolBar.isHidden());
    });
    OnCommand(ID_VIEW_STATUS_BAR, [this] { m_wndStatusBar.setVisible(m_wndStatusBar.isHidden()); });
    OnUpdateCommand(ID_VIEW_STATUS_BAR, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(true);
        pCmdUI->SetCheck(!m_wndStatusBar.isHidden());
    });
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::LoadFrame(unsigned nIDResource)
{
    setWindowTitle(AfxLoadString(nIDResource));
    setWindowIcon(QIcon(QStringLiteral(":/icons/zorbel.svg")));
    m_menus.insert(IDR_MAINFRAME, BuildMenu(IDR_MAINFRAME));
    m_menus.insert(IDR_ZORBELTYPE, BuildMenu(IDR_ZORBELTYPE));
    ShowMenu(IDR_MAINFRAME);
    LoadAccelTable(nIDResource);
    if (OnCreate() == -1)
        return false;
    CreatePanels();
    CreateSearchDialogs();
    if (CWinApp* pApp = AfxGetApp())
        connect(pApp, &CWinApp::recentFilesChanged, this, &CMainFrame::UpdateRecentFileMenu);
    UpdateRecentFileMenu();
    return true;
}

int CMainFrame::OnCreate()
{
    QList<QIcon> images;
    const bool bThemed = DesktopHasIconTheme();
    for (unsigned nID : AfxLoadToolBar(IDR_MAINFRAME))
        if (nID != ID_SEPARATOR)
            images.append(ButtonIcon(nID, bThemed));
    m_wndToolBar.setObjectName(QStringLiteral("toolbar"));
    m_wndToolBar.setIconSize(QSize(16, 16));
    if (!m_wndToolBar.LoadToolBar(IDR_MAINFRAME, this, images))
        return -1;
    m_wndToolBar.setWindowTitle(PlainMenuText(CommandAction(ID_VIEW_TOOLBAR)->text()));

    if (!m_wndStatusBar.SetIndicators({ID_SEPARATOR, ID_SEPARATOR, ID_INDICATOR_OVR, ID_INDICATOR_NUM, ID_SEPARATOR,
                                      ID_SEPARATOR}))
        return -1;
    setStatusBar(&m_wndStatusBar);
    m_wndStatusBar.SetPaneInfo(1, ID_SEPARATOR, SBPS_POPOUT, 0);
    DragAcceptFiles();

    // The toolbar docks on any side or floats; its place is not remembered.
    m_wndToolBar.setMovable(true);
    m_wndToolBar.setFloatable(true);
    m_wndToolBar.setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, &m_wndToolBar);
    CreateBookmarkPanel();
    return 0;
}

void CMainFrame::OnChildActivated(CMDIChildWnd* pChild)
{
    if (pChild) {
        connect(pChild, &QWidget::windowTitleChanged, this, &CMainFrame::UpdateFrameTitle, Qt::UniqueConnection);
        connect(pChild, &CMDIChildWnd::modifiedChanged, this, &CMainFrame::UpdateFrameTitle, Qt::UniqueConnection);
        connect(pChild, &QMdiSubWindow::windowStateChanged, this, &CMainFrame::UpdateFrameTitle,
                Qt::UniqueConnection);
    }
    ShowMenu(HasDocumentWindow() ? IDR_ZORBELTYPE : IDR_MAINFRAME);
    UpdateFrameTitle();
    ShowViewStatus(pChild ? qobject_cast<CHexView*>(pChild->GetActiveView()) : nullptr);
    ShowPanelsFor(pChild ? qobject_cast<CHexView*>(pChild->GetActiveView()) : nullptr);
    m_pBookmarkPanel->SetView(pChild ? qobject_cast<CHexView*>(pChild->GetActiveView()) : nullptr);
    OnIdleUpdateCmdUI();
}

void CMainFrame::ShowViewStatus(CHexView* pView)
{
    if (pView == m_pStatusView && pView)
        return;
    for (const QMetaObject::Connection& connection : std::as_const(m_statusConnections))
        disconnect(connection);
    m_statusConnections.clear();
    m_pStatusView = pView;
    if (!pView) {
        m_wndStatusBar.SetPaneInfo(1, ID_SEPARATOR, SBPS_POPOUT, 0);
        m_wndStatusBar.SetPaneText(1, QString());
        m_wndStatusBar.SetPaneInfo(kCaretPane, ID_SEPARATOR, SBPS_NORMAL, 0);
        m_wndStatusBar.SetPaneText(kCaretPane, QString());
        m_wndStatusBar.SetPaneText(kTablePane, QString());
        return;
    }
    ShowTableName();
    // The panes the view feeds change with every key; they repaint with the next
    // frame, not at once: a pane's synchronous repaint paints everything the
    // window has waiting, the view's rows too, so a burst of keys would paint the
    // whole view once per key instead of once.
    m_statusConnections = {
        connect(pView, &CHexView::statusMessage, this, [this](const QString& text) { m_wndStatusBar.SetPaneText(0, text); }),
        connect(pView, &CHexView::byteCountChanged, this, &CMainFrame::ShowByteCount),
        connect(pView, &CHexView::editModeChanged, this,
                [this](const QString& text) { m_wndStatusBar.SetPaneText(2, text, false); }),
        connect(pView, &CHexView::caretChanged, this, &CMainFrame::ShowCaret),
        // Showing a table or leaving it for a code page.
        connect(pView->GetDocument(), &CHexDoc::codePageChanged, this, &CMainFrame::ShowTableName),
    };
}

// The pane is 6 pixels a character wide.
void CMainFrame::ShowByteCount(const QString& text)
{
    if (m_wndStatusBar.GetPaneText(1) == text)
        return;
    m_wndStatusBar.SetPaneInfo(1, ID_SEPARATOR, SBPS_POPOUT, 6 * int(text.size()));
    m_wndStatusBar.SetPaneText(1, text, false);
}

// The pane is as wide as the caret's text gets in the document, so that it
// does not jump as the caret moves; a selection's text may widen it.
void CMainFrame::ShowCaret(const QString& text, const QString& widest)
{
    if (m_wndStatusBar.GetPaneText(kCaretPane) == text)
        return;
    m_wndStatusBar.SetPaneInfo(kCaretPane, ID_SEPARATOR, SBPS_NORMAL,
                               m_wndStatusBar.PaneLabel(kCaretPane)->fontMetrics().horizontalAdvance(widest));
    m_wndStatusBar.SetPaneText(kCaretPane, text, false);
}

void CMainFrame::ShowTableName()
{
    const CCharTable* pTable = m_pStatusView ? m_pStatusView->GetDocument()->GetCharTable() : nullptr;
    m_wndStatusBar.SetPaneText(kTablePane, pTable ? AfxLoadString(IDS_TABLE_PANE).arg(pTable->Name()) : QString());
}

// With a maximized document window QMdiSubWindow adds " - [title]" itself.
// The child's caption brings its "[*]", which this window shows as "*" while
// the active document is modified.
void CMainFrame::UpdateFrameTitle()
{
    const QString title = AfxLoadString(IDR_MAINFRAME);
    CMDIChildWnd* pChild = MDIGetActive();
    if (pChild && !pChild->isMaximized())
        setWindowTitle(title + QStringLiteral(" - ") + pChild->windowTitle());
    else
        setWindowTitle(title);
    setWindowModified(pChild && pChild->isWindowModified());
}

void CMainFrame::OnIdleUpdateCmdUI()
{
    ShowMenu(HasDocumentWindow() ? IDR_ZORBELTYPE : IDR_MAINFRAME);
    m_wndStatusBar.OnIdleUpdateIndicators();
    // The panes follow the active view whatever changed its length or mode:
    // typing, replacing, another window becoming active.
    if (m_pStatusView) {
        m_pStatusView->UpdateByteCount();
        m_pStatusView->UpdateCaretPane();
        m_pStatusView->UpdateModePane();
    }
}

void CMainFrame::OnFileClose()
{
    CDocument* pDoc = GetActiveDocument();
    if (!pDoc || !pDoc->SaveModified())
        return;
    // Answered once for all of the document's windows.
    pDoc->SetModifiedFlag(false);
    for (CMDIChildWnd* pChild : GetChildFrames())
        if (pChild->GetActiveDocument() == pDoc)
            pChild->close();
}

void CMainFrame::OnWindowNew()
{
    CDocument* pDoc = GetActiveDocument();
    CWinApp* pApp = AfxGetApp();
    if (pDoc && pApp && pApp->GetDocTemplate())
        pApp->GetDocTemplate()->CreateNewFrame(pDoc);
}

// Horizontal tiles are full-width bands stacked from the top, vertical tiles
// full-height columns from the left; the active window comes first.
void CMainFrame::OnWindowTile(Qt::Orientation orientation)
{
    QList<QMdiSubWindow*> windows;
    const QList<QMdiSubWindow*> history = MDIClient()->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto it = history.crbegin(); it != history.crend(); ++it)
        if (!(*it)->isHidden() && !(*it)->isMinimized())
            windows.append(*it);
    const QRect area = MDIClient()->viewport()->rect();
    const int n = windows.size();
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* window = windows[i];
        if (window->isMaximized())
            window->showNormal();
        if (orientation == Qt::Horizontal) {
            const int top = area.height() * i / n;
            window->setGeometry(0, top, area.width(), area.height() * (i + 1) / n - top);
        } else {
            const int left = area.width() * i / n;
            window->setGeometry(left, 0, area.width() * (i + 1) / n - left, area.height());
        }
    }
}

// Each window one title bar lower and to the right of the one before, at the
// size a new window opens with as far as the area allows; the active window
// comes last, on top. Windows that would leave the area start again at the top.
void CMainFrame::OnWindowCascade()
{
    QList<QMdiSubWindow*> windows;
    const QList<QMdiSubWindow*> history = MDIClient()->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (QMdiSubWindow* window : history)
        if (!window->isHidden() && !window->isMinimized())
            windows.append(window);
    const QRect area = MDIClient()->viewport()->rect();
    const int step = std::max(8, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    int offset = 0;
    for (QMdiSubWindow* window : std::as_const(windows)) {
        if (window->isMaximized())
            window->showNormal();
        QSize size = window->sizeHint().boundedTo(area.size() - QSize(offset, offset));
        // Never smaller than half the area: start again at the top-left instead.
        if (offset > 0 && (size.width() < area.width() / 2 || size.height() < area.height() / 2)) {
            offset = 0;
            size = window->sizeHint().boundedTo(area.size());
        }
        window->setGeometry(offset, offset, size.width(), size.height());
        window->raise();
        offset += step;
    }
    if (!windows.isEmpty())
        MDIClient()->setActiveSubWindow(windows.last());
}

// Minimized document windows in rows along the bottom edge, from the left.
void CMainFrame::OnWindowArrange()
{
    const QRect area = MDIClient()->viewport()->rect();
    int x = 0;
    int rowBottom = area.height();
    int rowHeight = 0;
    for (QMdiSubWindow* window : MDIClient()->subWindowList(QMdiArea::CreationOrder)) {
        if (window->isHidden() || !window->isMinimized())
            continue;
        const QSize size = window->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            rowBottom -= rowHeight;
            rowHeight = 0;
        }
        window->move(x, rowBottom - size.height());
        x += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
}
