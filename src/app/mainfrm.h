#pragma once

#include "mdichildwnd.h"
#include "mdiframewnd.h"
#include "resources.h"
#include "statusbar.h"
#include "toolbar.h"

#include <QHash>
#include <QPoint>
#include <QPointer>
#include <QRect>

class CDataValuesPanel;
class CFindAllDialog;
class CRelativeSearchDialog;
class CBookmarkPanel;
class CHexView;
class CStringsPanel;
class QMenu;

// The main window: menus, toolbar, accelerators, the four-pane status bar and
// the area that holds the document windows.
//
// Menu 128 shows while no document window is open, menu 129 while one is.
// Status-bar panes: 0 the prompts of menu items and buttons and the messages of
// the active view, 1 the active document's length, 2 the edit mode ("INS" or
// "OVR"), 3 Num Lock, 4 where the caret is. Panes 1, 2 and 4 show what the
// active document window's view reports; with no document window 1 and 4 are
// empty. Files dropped on the frame open. The frame's placement persists as
// "Settings"/"WindowPos", read by InitialShowWindow at start-up and written
// whenever the frame is asked to close.
class CMainFrame : public CMDIFrameWnd {
    Q_OBJECT

public:
    // The ten fields of "WindowPos", in the order of its text. The rectangle is
    // the normal (restored) geometry, right and bottom exclusive.
    struct Placement {
        quint32 flags = 0;
        quint32 showCmd = SW_SHOWNORMAL;
        QPoint ptMinPosition{-1, -1};
        QPoint ptMaxPosition{-1, -1};
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;

        // The rectangle from left, top, right and bottom; a null rectangle when
        // it has no area or is larger than a window can be.
        QRect NormalRect() const;
        QString ToString() const;
        // Reads the first ten numbers; false when there are fewer or one of them
        // is not a number.
        static bool FromString(const QString& text, Placement* pwp);
    };

    static constexpr int kCaretPane = 4;
    // The character table the active document shows, if any: the pane is
    // hidden without one.
    static constexpr int kTablePane = 5;

    CMainFrame();
    ~CMainFrame() override;

    // Title, menus, accelerators, toolbar and status bar. False when a bar
    // cannot be made.
    bool LoadFrame(unsigned nIDResource);

    // Shows the frame at its stored placement; nCmdShow, the show command the
    // program was started with, wins over the stored one unless it is
    // SW_SHOWNORMAL. Without a usable placement the frame shows with nCmdShow
    // at the default size, where the window system puts it.
    void InitialShowWindow(int nCmdShow);

    bool ReadWindowPlacement(Placement* pwp) const;
    void WriteWindowPlacement(const Placement& wp);
    bool GetWindowPlacement(Placement* pwp) const;

    // Idle-time work besides the command states: the menu for whether a
    // document window is open, the panes of the active view, Num Lock.
    void OnIdleUpdateCmdUI();

    // IDR_MAINFRAME or IDR_ZORBELTYPE: the menu the menu bar shows.
    unsigned GetMenuID() const { return m_nMenuShown; }
    QMenu* GetPopup(unsigned nMenuID, int nIndex) const;

    CStatusBar m_wndStatusBar;
    // Written as the first field of "WindowPos" when the frame closes: one more
    // than the stored value when a stored placement was applied, else 0, so the
    // field counts the start-ups that restored a placement.
    quint32 m_nPlacementFlags = 0;
    CToolBar m_wndToolBar;

protected:
    int OnCreate();
    void OnClose() override;
    void OnChildActivated(CMDIChildWnd* pChild) override;

private:
    // One of the two menus: its popups, and the File popup's slot for recent files.
    struct Menu {
        QList<QMenu*> popups;
        QMenu* pFile = nullptr;
        QAction* pRecentPlaceholder = nullptr;
    };

    Menu BuildMenu(unsigned nID);
    QMenu* BuildPopup(const QString& title, const QList<CMenuItemRes>& items, Menu& menu);
    void ShowMenu(unsigned nID);
    void UpdateRecentFileMenu();
    void UpdateFrameTitle();
    // Listens to pView's reports (nullptr: empties the view's panes).
    void ShowViewStatus(CHexView* pView);
    void ShowByteCount(const QString& text);
    void ShowCaret(const QString& text, const QString& widest);
    void ShowTableName();
    bool HasDocumentWindow() const;

    void SetWindowPlacement(const Placement& wp);
    void ShowWindow(int nCmdShow);
    static bool IsOnScreen(const QRect& rect);

    void OnFileClose();
    void OnWindowNew();
    void OnWindowTile(Qt::Orientation orientation);
    void OnWindowCascade();
    void OnWindowArrange();

    QHash<unsigned, Menu> m_menus;
    unsigned m_nMenuShown = 0;
    // The Bookmarks list (mainfrm_bookmarks.cpp).
    void CreateBookmarkPanel();
    CBookmarkPanel* m_pBookmarkPanel = nullptr;

    QPointer<CHexView> m_pStatusView;
    QList<QMetaObject::Connection> m_statusConnections;

public:
    // The dock panels (mainfrm_panels.cpp), children of the frame.
    CDataValuesPanel* Inspector() const { return m_pInspector; }
    CStringsPanel* StringsPanel() const { return m_pStrings; }

private:
    void CreatePanels();
    void SavePanelLayout();
    void ShowPanelsFor(CHexView* pView);
    // Keys typed into a panel's text boxes, and Delete anywhere in a panel,
    // are the panel's: the accelerators would edit the document instead.
    bool PreTranslateMessage(QObject* pTarget, QEvent* pEvent) override;
    CDataValuesPanel* m_pInspector = nullptr;
    CStringsPanel* m_pStrings = nullptr;

public:
    // Edit > Find in All Encodings and Relative Search (mainfrm_search.cpp):
    // windows of their own, made with the frame, following the active view.
    CFindAllDialog* FindAllDialog() const { return m_pFindAll; }
    CRelativeSearchDialog* RelativeSearchDialog() const { return m_pRelative; }

private:
    void CreateSearchDialogs();
    CFindAllDialog* m_pFindAll = nullptr;
    CRelativeSearchDialog* m_pRelative = nullptr;
};
