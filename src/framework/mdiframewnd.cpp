#include "mdiframewnd.h"

#include "document.h"
#include "filename.h"
#include "longtask.h"
#include "afxres.h"
#include "mdichildwnd.h"
#include "resources.h"
#include "statusbar.h"
#include "view.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {

// Fills a CCmdUI's answer into an action.
class CActionCmdUI : public CCmdUI {
public:
    explicit CActionCmdUI(QAction* pAction, unsigned nID) : CCmdUI(nID), m_pAction(pAction) {}
    void Enable(bool bOn) override
    {
        CCmdUI::Enable(bOn);
        m_pAction->setEnabled(bOn);
    }
    void SetCheck(int nCheck) override
    {
        CCmdUI::SetCheck(nCheck);
        m_pAction->setCheckable(true);
        m_pAction->setChecked(nCheck != 0);
    }
    void SetRadio(bool bOn) override
    {
        // Menus draw a radio mark for an action of an exclusive group; the
        // update handlers, not the group, decide which one is checked.
        if (!m_pAction->actionGroup()) {
            auto* pGroup = new QActionGroup(m_pAction);
            pGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
            pGroup->addAction(m_pAction);
        }
        SetCheck(bOn ? 1 : 0);
    }
    void SetText(const QString& text) override
    {
        // The menu's own text is kept on the action the first time it changes.
        CCmdUI::SetText(text);
        const char* kOwnText = "zorbelOwnText";
        if (!m_pAction->property(kOwnText).isValid())
            m_pAction->setProperty(kOwnText, m_pAction->text());
        m_pAction->setText(text.isEmpty() ? m_pAction->property(kOwnText).toString() : text);
    }

private:
    QAction* m_pAction;
};

// The local files among dragged data; other URLs (web pages, remote files)
// are not offered to the program. A name that is not UTF-8 comes as
// percent-encoded bytes, which toLocalFile() would turn into U+FFFD.
QStringList LocalFiles(const QMimeData* pData)
{
    QStringList paths;
    if (!pData || !pData->hasUrls())
        return paths;
    for (const QUrl& url : pData->urls()) {
        if (!url.isLocalFile())
            continue;
        if (url.host().isEmpty())
            paths.append(AfxDecodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())));
        else
            paths.append(url.toLocalFile());
    }
    return paths;
}

} // namespace

CMDIFrameWnd::CMDIFrameWnd(QWidget* pParent) : QMainWindow(pParent), m_pMdiArea(new QMdiArea(this))
{
    setCentralWidget(m_pMdiArea);
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMDIFrameWnd::OnSubWindowActivated);
    OnCommandRange(AFX_IDM_FIRST_MDICHILD, ID_WINDOW_MORE, [this](unsigned nID) {
        if (nID == ID_WINDOW_MORE) {
            OnWindowMore();
            return;
        }
        const QList<CMDIChildWnd*> windows = GetWindowList();
        const int index = int(nID - AFX_IDM_FIRST_MDICHILD);
        if (index < windows.size())
            MDIActivate(windows[index]);
    });
}

CMDIFrameWnd::~CMDIFrameWnd()
{
    // Document windows still open (the frame is destroyed without having been
    // closed) go before the MDI area: QMdiArea reads freed memory when they
    // are deleted as its grandchildren. Their views leave their documents; no
    // activation is reported to a frame that is half gone.
    disconnect(m_pMdiArea, nullptr, this, nullptr);
    m_pLastActive = nullptr;
    const QList<QMdiSubWindow*> windows = m_pMdiArea->subWindowList();
    for (QMdiSubWindow* window : windows)
        disconnect(window, nullptr, this, nullptr);
    qDeleteAll(windows);
}

void CMDIFrameWnd::AddChildFrame(CMDIChildWnd* pChild)
{
    m_pMdiArea->addSubWindow(pChild);
    connect(pChild, &CMDIChildWnd::documentChangedOnDisk, this, [this, pChild] {
        // The question waits until this window is the active one.
        if (MDIGetActive() == pChild)
            CheckActiveDocumentOnDisk();
    });
    if (CView* view = pChild->GetActiveView())
        connect(view, &CView::popupMenuRequested, this, &CMDIFrameWnd::TrackPopupMenu);
}

CMDIChildWnd* CMDIFrameWnd::MDIGetActive() const
{
    return qobject_cast<CMDIChildWnd*>(m_pMdiArea->activeSubWindow());
}

CView* CMDIFrameWnd::GetActiveView() const
{
    CMDIChildWnd* child = MDIGetActive();
    return child ? child->GetActiveView() : nullptr;
}

CDocument* CMDIFrameWnd::GetActiveDocument() const
{
    CMDIChildWnd* child = MDIGetActive();
    return child ? child->GetActiveDocument() : nullptr;
}

QList<CMDIChildWnd*> CMDIFrameWnd::GetChildFrames() const
{
    QList<CMDIChildWnd*> frames;
    for (QMdiSubWindow* window : m_pMdiArea->subWindowList())
        if (auto* child = qobject_cast<CMDIChildWnd*>(window))
            frames.append(child);
    return frames;
}

QAction* CMDIFrameWnd::CommandAction(unsigned nID)
{
    auto it = m_actions.find(nID);
    if (it != m_actions.end())
        return it.value();
    auto* action = new QAction(this);
    action->setData(nID);
    // Menu shortcuts stay active while a document window has the focus.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, nID] { ExecuteCommand(nID); });
    m_actions.insert(nID, action);
    addAction(action);
    return action;
}

bool CMDIFrameWnd::ExecuteCommand(unsigned nID)
{
    ClearMessage();
    const bool ran = AfxExecuteCommand(this, nID);
    emit idleRequested();
    return ran;
}

bool CMDIFrameWnd::OnCmdMsg(unsigned nID, CCmdUI* pCmdUI)
{
    if (CMDIChildWnd* child = MDIGetActive()) {
        if (child->OnCmdMsg(nID, pCmdUI))
            return true;
    }
    if (CCmdTarget::OnCmdMsg(nID, pCmdUI))
        return true;
    return m_pOwner && m_pOwner->OnCmdMsg(nID, pCmdUI);
}

void CMDIFrameWnd::UpdateCommandUI(const QList<QAction*>& actions)
{
    const QList<QAction*> list = actions.isEmpty() ? QList<QAction*>(m_actions.begin(), m_actions.end()) : actions;
    for (QAction* action : list) {
        bool ok = false;
        const unsigned nID = action->data().toUInt(&ok);
        if (!ok || nID == 0 || action->isSeparator() || action->menu())
            continue;
        CActionCmdUI state(action, nID);
        if (!OnCmdMsg(nID, &state))
            action->setEnabled(false);
    }
}

void CMDIFrameWnd::TrackMenuUpdates(QMenu* pMenu)
{
    connect(pMenu, &QMenu::aboutToShow, this, [this, pMenu] { UpdateCommandUI(pMenu->actions()); });
}

void CMDIFrameWnd::LoadAccelTable(unsigned nIDResource)
{
    m_accelerators.clear();
    for (const CAccelRes& accel : AfxLoadAccelerators(nIDResource))
        if (!m_accelerators.contains(accel.key.toCombined()))
            m_accelerators.insert(accel.key.toCombined(), accel.id);
}

void CMDIFrameWnd::ClearMessage()
{
    if (CStatusBar* bar = GetMessageBar())
        bar->SetPaneText(0, QString());
}

bool CMDIFrameWnd::PreTranslateMessage(QObject* pTarget, QEvent* pEvent)
{
    if (!pTarget->isWidgetType() || static_cast<QWidget*>(pTarget)->window() != this)
        return false;
    if (pEvent->type() != QEvent::KeyPress) {
        if (pEvent->type() == QEvent::MouseButtonPress || pEvent->type() == QEvent::MouseButtonDblClick)
            ClearMessage();
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(pEvent);
    switch (key->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
        break;
    default:
        ClearMessage();
    }
    if (key->key() == Qt::Key_F6 && key->modifiers().testFlag(Qt::ControlModifier)
        && !key->modifiers().testFlag(Qt::AltModifier)) {
        if (key->modifiers().testFlag(Qt::ShiftModifier))
            m_pMdiArea->activatePreviousSubWindow();
        else
            m_pMdiArea->activateNextSubWindow();
        return true;
    }
    // The keypad's Delete is the same key as the other one.
    const QKeyCombination combination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key()));
    auto it = m_accelerators.constFind(combination.toCombined());
    if (it == m_accelerators.constEnd())
        return false;
    // A widget that takes the key itself says so as Qt's shortcuts ask it, by
    // accepting a shortcut override: a line editor keeps Delete and Ctrl+C,
    // a list in a dock panel keeps Delete for its own rows.
    QKeyEvent query(QEvent::ShortcutOverride, key->key(), key->modifiers(), key->text());
    query.ignore();
    QCoreApplication::sendEvent(pTarget, &query);
    if (query.isAccepted())
        return false;
    ExecuteCommand(it.value());
    return true;
}

void CMDIFrameWnd::TrackPopupMenu(unsigned nIDResource, const QPoint& ptScreen)
{
    const QList<CMenuItemRes> menus = AfxLoadMenu(nIDResource);
    if (menus.isEmpty())
        return;
    QMenu menu(this);
    for (const CMenuItemRes& item : menus.first().children) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(item.text);
        action->setData(item.id);
        action->setStatusTip(AfxLoadString(item.id).section(QLatin1Char('\n'), 0, 0));
    }
    UpdateCommandUI(menu.actions());
    if (QAction* chosen = menu.exec(ptScreen))
        ExecuteCommand(chosen->data().toUInt());
}

void CMDIFrameWnd::DragAcceptFiles(bool bAccept)
{
    setAcceptDrops(bAccept);
}

void CMDIFrameWnd::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMDIFrameWnd::dragMoveEvent(QDragMoveEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMDIFrameWnd::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // The file manager waits for the drop to finish: open the files after it,
    // so that a message about one of them does not hold the other program.
    QTimer::singleShot(0, this, [this, paths] { OnDropFiles(paths); });
}

// Each file opens in the order dropped; one that fails is reported by the
// owner and the others still open.
void CMDIFrameWnd::OnDropFiles(const QStringList& paths)
{
    activateWindow();
    emit filesDropped(paths);
    emit idleRequested();
}

void CMDIFrameWnd::SetWindowMenu(QMenu* pMenu)
{
    connect(pMenu, &QMenu::aboutToShow, this, [this, pMenu] { UpdateWindowList(pMenu); });
}

QList<CMDIChildWnd*> CMDIFrameWnd::GetWindowList() const
{
    QList<CMDIChildWnd*> windows;
    // A closing window is hidden at once but deleted only later.
    for (QMdiSubWindow* window : m_pMdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* child = qobject_cast<CMDIChildWnd*>(window); child && !child->isHidden())
            windows.append(child);
    return windows;
}

void CMDIFrameWnd::MDIActivate(CMDIChildWnd* pChild)
{
    if (pChild->isMinimized())
        pChild->showNormal();
    m_pMdiArea->setActiveSubWindow(pChild);
    if (CView* view = pChild->GetActiveView())
        view->setFocus();
}

void CMDIFrameWnd::UpdateWindowList(QMenu* pMenu)
{
    for (unsigned nID = AFX_IDM_FIRST_MDICHILD; nID <= ID_WINDOW_MORE; ++nID)
        if (HasCommandAction(nID))
            pMenu->removeAction(CommandAction(nID));
    // The separator before the list is the menu's own action, told apart by its id.
    for (QAction* action : pMenu->actions())
        if (action->isSeparator() && action->data().toUInt() == AFX_IDM_FIRST_MDICHILD)
            delete action;
    const QList<CMDIChildWnd*> windows = GetWindowList();
    if (windows.isEmpty())
        return;
    pMenu->addSeparator()->setData(AFX_IDM_FIRST_MDICHILD);
    const QString prompt = AfxLoadString(AFX_IDS_MDICHILD);
    CMDIChildWnd* active = MDIGetActive();
    for (int i = 0; i < windows.size() && i < 9; ++i) {
        QAction* action = CommandAction(AFX_IDM_FIRST_MDICHILD + unsigned(i));
        QString title = windows[i]->GetDisplayTitle();
        action->setText(QStringLiteral("&%1 ").arg(i + 1) + title.replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setStatusTip(prompt);
        action->setCheckable(true);
        action->setChecked(windows[i] == active);
        action->setEnabled(true);
        pMenu->addAction(action);
    }
    if (windows.size() > 9) {
        QAction* more = CommandAction(ID_WINDOW_MORE);
        more->setText(AfxLoadString(AFX_IDS_MORE_WINDOWS));
        more->setStatusTip(prompt);
        more->setEnabled(true);
        pMenu->addAction(more);
    }
}

void CMDIFrameWnd::OnWindowMore()
{
    const QList<CMDIChildWnd*> windows = GetWindowList();
    QStringList titles;
    // Numbered, as two files of one name give two windows of one title.
    for (int i = 0; i < windows.size(); ++i)
        titles.append(QStringLiteral("%1 ").arg(i + 1) + windows[i]->GetDisplayTitle());
    QInputDialog dialog(this);
    dialog.setWindowTitle(AfxLoadString(AFX_IDS_SELECT_WINDOW));
    dialog.setLabelText(AfxLoadString(AFX_IDS_SELECT_WINDOW_PROMPT));
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    dialog.setComboBoxItems(titles);
    dialog.setTextValue(titles.value(std::max(0, int(windows.indexOf(MDIGetActive())))));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int index = titles.indexOf(dialog.textValue());
    if (index >= 0 && index < windows.size())
        MDIActivate(windows[index]);
}

CStatusBar* CMDIFrameWnd::GetMessageBar() const
{
    return findChild<CStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
}

void CMDIFrameWnd::OnSubWindowActivated(QMdiSubWindow* pWindow)
{
    auto* child = qobject_cast<CMDIChildWnd*>(pWindow);
    if (child == m_pLastActive)
        return;
    QPointer<CMDIChildWnd> previous = m_pLastActive;
    m_pLastActive = child;
    CView* oldView = previous ? previous->GetActiveView() : nullptr;
    CView* newView = child ? child->GetActiveView() : nullptr;
    if (oldView)
        oldView->OnActivateView(false, newView, oldView);
    if (newView)
        newView->OnActivateView(true, newView, oldView);
    OnChildActivated(child);
    emit activeChildChanged(child);
    CheckActiveDocumentOnDisk();
}

void CMDIFrameWnd::CheckActiveDocumentOnDisk()
{
    QTimer::singleShot(0, this, [this] {
        // Not under a long task, whose input filter would keep the answer away.
        if (!isActiveWindow() || CLongTask::IsAnyRunning())
            return;
        if (CDocument* doc = GetActiveDocument())
            doc->CheckChangedOnDisk();
    });
}

void CMDIFrameWnd::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        CheckActiveDocumentOnDisk();
}

void CMDIFrameWnd::OnChildActivated(CMDIChildWnd*)
{
}

void CMDIFrameWnd::OnClose()
{
    if (m_pOwner && !m_pOwner->SaveAllModified())
        return;
    m_bAcceptClose = true;
}

void CMDIFrameWnd::closeEvent(QCloseEvent* event)
{
    m_bAcceptClose = false;
    OnClose();
    if (!m_bAcceptClose) {
        event->ignore();
        return;
    }
    // The documents were saved or their changes declined: close their windows
    // without asking again.
    for (CMDIChildWnd* child : GetChildFrames()) {
        if (CDocument* doc = child->GetActiveDocument())
            doc->SetModifiedFlag(false);
        child->close();
    }
    QMainWindow::closeEvent(event);
}
