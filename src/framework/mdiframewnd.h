#pragma once

#include "cmdtarget.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

class CDocument;
class CMDIChildWnd;
class CStatusBar;
class CView;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMenu;

// The main frame's owner (the application) as the frame reaches it: commands
// the frame does not take go on to the owner, and closing the frame first asks
// the owner whether every document may close. The frame is told its owner with
// SetOwner and never looks for it; without one, commands end at the frame and
// it closes without asking.
class CFrameOwner : public CCmdTarget {
public:
    // Asks to save every modified document; false when the user cancelled.
    virtual bool SaveAllModified() = 0;
};

// The main window: menus, toolbars, status bar and the MDI area that holds the
// document windows.
//
// Every menu item and toolbar button is a QAction carrying a command
// identifier (CommandAction); keys go through the accelerator table
// (LoadAccelTable), which PreTranslateMessage translates into commands before
// the key reaches any widget of this window. Every command routes to the active
// document window (its view, then its document, then the window itself), then
// this frame, then its owner. The update handlers are asked first; a
// command they report disabled is dropped. Menus ask them before they open,
// and UpdateCommandUI asks them for everything (the application does that at
// idle time for the toolbar).
//
// Ctrl+F6 activates the next document window and Ctrl+Shift+F6 the previous
// one, in the order the Window menu lists them, before the accelerator table.
// Ctrl+Tab and Ctrl+Shift+Tab are the MDI area's own: while Ctrl is held each
// Tab marks the next (or previous) window, which becomes active when Ctrl is
// let go.
class CMDIFrameWnd : public QMainWindow, public CCmdTarget {
    Q_OBJECT

public:
    explicit CMDIFrameWnd(QWidget* pParent = nullptr);
    ~CMDIFrameWnd() override;

    void SetOwner(CFrameOwner* pOwner) { m_pOwner = pOwner; }
    // Takes a new document window into the MDI area and listens to it: its
    // view's context menus show here, and a change of its document's file on
    // disk is asked about once it is the active window.
    void AddChildFrame(CMDIChildWnd* pChild);

    QMdiArea* MDIClient() const { return m_pMdiArea; }
    CMDIChildWnd* MDIGetActive() const;
    CView* GetActiveView() const;
    CDocument* GetActiveDocument() const;
    QList<CMDIChildWnd*> GetChildFrames() const;

    // The action for a command identifier, made on first use.
    QAction* CommandAction(unsigned nID);
    bool HasCommandAction(unsigned nID) const { return m_actions.contains(nID); }

    // Runs a command as if chosen from a menu: asks its update handler, drops a
    // disabled command, else routes it. Returns whether it ran. The message in
    // the status bar's pane 0 goes first: it told of something done before.
    bool ExecuteCommand(unsigned nID);
    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;

    // Asks the update handlers of the given actions (all when empty).
    void UpdateCommandUI(const QList<QAction*>& actions = {});
    // Has the menu's actions updated every time before it opens.
    void TrackMenuUpdates(QMenu* pMenu);

    // The accelerator table PreTranslateMessage translates keys with.
    void LoadAccelTable(unsigned nIDResource);
    // Called by the application for every key and mouse-button press; a key of
    // the accelerator table pressed in this window becomes its command, run or
    // dropped as ExecuteCommand decides, and is consumed either way. Any other
    // press in this window but a lone modifier key clears pane 0's message
    // before it is delivered, so a message the press causes stays.
    virtual bool PreTranslateMessage(QObject* pTarget, QEvent* pEvent);

    // Shows the first popup of menu resource nIDResource at ptScreen as a
    // context menu and runs the chosen command as ExecuteCommand does: its items
    // are enabled by the same update handlers as the menu bar's, asked as it
    // opens. Returns once the menu has closed.
    void TrackPopupMenu(unsigned nIDResource, const QPoint& ptScreen);

    // Files dragged from a file manager and dropped anywhere on the frame
    // arrive at OnDropFiles, which hands them to the owner (filesDropped) to
    // open each in its own document window.
    void DragAcceptFiles(bool bAccept = true);
    // Makes pMenu a Window menu: each time it opens, its own items are followed
    // by the visible document windows in the order they were made, "&1" to "&9"
    // with the active one checked, and "&More Windows..." (a list of them all)
    // when there are more. The entries are the commands AFX_IDM_FIRST_MDICHILD
    // + i and ID_WINDOW_MORE.
    void SetWindowMenu(QMenu* pMenu);
    // The document windows the Window menu lists, in its order.
    QList<CMDIChildWnd*> GetWindowList() const;
    // Activates a document window, restoring it when minimized.
    void MDIActivate(CMDIChildWnd* pChild);

    // Soon, once the activation of the moment is through: asks about the active
    // document's file if another program changed it (CDocument::CheckChangedOnDisk).
    void CheckActiveDocumentOnDisk();

    // The status bar, when the frame has one.
    CStatusBar* GetMessageBar() const;
    // Empties its pane 0.
    void ClearMessage();

    // True when the clipboard holds something Paste can insert; kept up to date
    // by the application at idle time, which hands it to the views it makes.
    bool m_bClipboardHasText = false;

signals:
    // The active document window changed (nullptr when none is left).
    void activeChildChanged(CMDIChildWnd* pChild);
    // A command ran or files were dropped: the owner's idle pass is due.
    void idleRequested();
    // Files dropped on the frame, to open in the order given.
    void filesDropped(const QStringList& paths);

protected:
    virtual void OnClose();
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

    virtual void OnChildActivated(CMDIChildWnd* pChild);
    virtual void OnDropFiles(const QStringList& paths);

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void OnSubWindowActivated(QMdiSubWindow* pWindow);
    void UpdateWindowList(QMenu* pMenu);
    void OnWindowMore();

    QMdiArea* m_pMdiArea;
    CFrameOwner* m_pOwner = nullptr;
    QHash<unsigned, QAction*> m_actions;
    QHash<int, unsigned> m_accelerators;   // by QKeyCombination::toCombined()
    QPointer<CMDIChildWnd> m_pLastActive;
    bool m_bAcceptClose = false;
};
