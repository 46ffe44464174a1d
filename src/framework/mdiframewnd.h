#pragma once

#include "cmdtarget.h"

#include <QHash>
#include <QMainWindow>

class CDocument;
class CMDIChildWnd;
class CView;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

// The main window: menus, toolbars, status bar and the MDI area that holds the
// document windows.
//
// Every menu item, toolbar button and shortcut is a QAction carrying a command
// identifier (CommandAction). Triggering one routes the command: the active
// document window (its view, then its document, then the window itself), then
// this frame, then the application. The update handlers are asked first; a
// command they report disabled is dropped. Menus ask them before they open,
// and UpdateCommandUI asks them for everything (the application does that at
// idle time for the toolbar).
class CMDIFrameWnd : public QMainWindow, public CCmdTarget {
    Q_OBJECT

public:
    explicit CMDIFrameWnd(QWidget* pParent = nullptr);
    ~CMDIFrameWnd() override;

    QMdiArea* MDIClient() const { return m_pMdiArea; }
    CMDIChildWnd* MDIGetActive() const;
    CView* GetActiveView() const;
    CDocument* GetActiveDocument() const;
    QList<CMDIChildWnd*> GetChildFrames() const;

    // The action for a command identifier, made on first use.
    QAction* CommandAction(unsigned nID);
    bool HasCommandAction(unsigned nID) const { return m_actions.contains(nID); }

    // Runs a command as if chosen from a menu: asks its update handler, drops a
    // disabled command, else routes it. Returns whether it ran.
    bool ExecuteCommand(unsigned nID);
    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;

    // Asks the update handlers of the given actions (all when empty).
    void UpdateCommandUI(const QList<QAction*>& actions = {});
    // Has the menu's actions updated every time before it opens.
    void TrackMenuUpdates(QMenu* pMenu);

signals:
    // The active document window changed (nullptr when none is left).
    void activeChildChanged(CMDIChildWnd* pChild);

protected:
    virtual void OnClose();
    void closeEvent(QCloseEvent* event) override;

    virtual void OnChildActivated(CMDIChildWnd* pChild);

private:
    void OnSubWindowActivated(QMdiSubWindow* pWindow);

    QMdiArea* m_pMdiArea;
    QHash<unsigned, QAction*> m_actions;
    CMDIChildWnd* m_pLastActive = nullptr;
    bool m_bAcceptClose = false;
};
