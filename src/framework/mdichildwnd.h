#pragma once

#include "cmdtarget.h"

#include <QMdiSubWindow>

class CDocument;
class CView;

// Show commands, as passed to ActivateFrame and stored in window state.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3, SW_SHOW = 5,
             SW_MINIMIZE = 6, SW_RESTORE = 9, SW_SHOWDEFAULT = 10 };

// A document window inside the main frame's MDI area, holding one view.
//
// OnSize is called with the size type whenever the window is restored,
// maximized or minimized or changes size. Closing the window (OnClose) asks to
// save changes when this is its document's last window; a cancelled question
// keeps the window open. Otherwise the view leaves the document and
// viewDetached tells the window's owner (the template that made it), which
// closes the document when no view is left. The window knows neither its owner
// nor the main frame: what they must hear goes out by signals.
class CMDIChildWnd : public QMdiSubWindow, public CCmdTarget {
    Q_OBJECT

public:
    explicit CMDIChildWnd(QWidget* pParent = nullptr);
    ~CMDIChildWnd() override;

    void SetView(CView* pView);
    CView* GetActiveView() const { return m_pView; }
    CDocument* GetActiveDocument() const;

    // Shows the window; -1 is "the default for a new document window".
    virtual void ActivateFrame(int nCmdShow = -1);

    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;

    // Keeps the window's caption in step with the document's title.
    void UpdateTitle();
    // The caption as the title bar shows it, a "[*]" placeholder resolved.
    QString GetDisplayTitle() const;
    static QString ResolveModifiedMark(const QString& caption, bool bModified);

signals:
    // The window's modified flag, which follows its document's, changed.
    void modifiedChanged();
    // Another program changed the document's file; the main frame asks about
    // it when this window is the active one.
    void documentChangedOnDisk();
    // The window closed and its view has left pDoc.
    void viewDetached(CDocument* pDoc);

protected:
    virtual void OnSize(unsigned nType, int cx, int cy);
    virtual void OnClose();

    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ReportSize();

    CView* m_pView = nullptr;
    bool m_bAcceptClose = false;
};
