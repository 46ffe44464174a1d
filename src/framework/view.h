#pragma once

#include "cmdtarget.h"
#include "document.h"

#include <QAbstractScrollArea>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QTimer>

class CMDIChildWnd;
class CPrintInfo;
class QPainter;

// Size types passed to OnSize.
enum : unsigned { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// A window that shows a document: one per document window. The document
// template creates it, attaches the document and calls OnCreate, then
// OnInitialUpdate once the document is loaded. Painting goes through OnDraw
// with a painter whose origin is moved by the scroll position (CScrollView).
//
// Commands reach the view first; what it does not handle goes on to its
// document. The view removes itself from the document when it is destroyed.
//
// Repaints: InvalidateRgn/InvalidateRect collect an invalid region and
// UpdateWindow paints it at once, before it returns, as one paint whose clip
// region is what was collected. Invalidate (the whole view, as
// UpdateAllViews does) only schedules a paint.
//
// The caret is the view's own: a blinking rectangle in client coordinates,
// drawn inverted over the painted contents.
class CView : public QAbstractScrollArea, public CCmdTarget, public CDocumentView {
    Q_OBJECT

public:
    explicit CView(QWidget* pParent = nullptr);
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    void AttachDocument(CDocument* pDocument);
    CMDIChildWnd* GetParentFrame() const;

    // Called by the template after construction (OnCreate) and after loading.
    bool Create();
    virtual void OnInitialUpdate();
    void OnUpdate(CDocumentView* pSender, qintptr lHint) override;
    virtual void OnActivateView(bool bActivate, CView* pActivateView, CView* pDeactiveView);

    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;

    // A message registered by name (RegisterWindowMessage), sent to this view by
    // a window it owns, such as its find dialog; runs at once. Returns 0 for a
    // message the view does not handle.
    virtual qintptr OnRegisteredMessage(unsigned nMsg, quintptr wParam, qintptr lParam);

    // Repainting.
    void Invalidate(bool bErase = true);
    void InvalidateRect(const QRect& rect, bool bErase = true);
    // A null or empty region stands for the whole client area.
    void InvalidateRgn(const QRegion* pRegion, bool bErase = true);
    void UpdateWindow();
    QRect GetClientRect() const;

    // The caret, in client coordinates.
    void CreateCaret(int nWidth, int nHeight);
    void DestroyCaret();
    void SetCaretPos(const QPoint& point);
    void ShowCaret();
    void HideCaret();
    bool IsCaretVisible() const { return m_bCaretCreated && m_nCaretHide == 0; }
    QRect GetCaretRect() const;

    // Printing, driven by the framework's print loop (CPrintInfo).
    virtual bool OnPreparePrinting(CPrintInfo* pInfo);
    virtual void OnBeginPrinting(QPainter* pDC, CPrintInfo* pInfo);
    virtual void OnPrint(QPainter* pDC, CPrintInfo* pInfo);
    virtual void OnEndPrinting(QPainter* pDC, CPrintInfo* pInfo);

protected:
    virtual int OnCreate();
    virtual void OnSize(unsigned nType, int cx, int cy);
    // Paints with the painter prepared by OnPrepareDC; clipBox is the invalid
    // area's bounding box in the painter's (document) coordinates.
    virtual void OnDraw(QPainter* pDC);
    virtual void OnPrepareDC(QPainter* pDC);
    // The invalid area's bounding box during OnDraw, in document coordinates.
    QRect GetClipBox() const { return m_clipBox; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    QRect m_clipBox;

private:
    void BlinkCaret();
    void UpdateCaretArea();

    CDocument* m_pDocument = nullptr;
    QRegion m_invalid;
    bool m_bCaretCreated = false;
    int m_nCaretHide = 1;   // a new caret is hidden until ShowCaret
    bool m_bCaretOn = true; // blink phase
    QRect m_caret;
    QTimer m_caretTimer;
};
