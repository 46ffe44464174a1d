#pragma once

#include "cmdtarget.h"
#include "document.h"

#include <QAbstractScrollArea>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QRegion>
#include <QTimer>

#include <functional>

class CPrintInfo;
class CSettingsProfile;
class QMdiSubWindow;
class QPainter;
class QPrinter;

// Size types passed to OnSize.
enum : unsigned { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// Virtual-key codes, as OnKeyDown and OnKeyUp receive them. Letters and digits
// are their upper-case ASCII codes ('A' 0x41, '0' 0x30); the numeric keypad's
// digits are VK_NUMPAD0 + digit. A key without a code of its own is VK_OEM_CLEAR.
enum : unsigned {
    VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12,
    VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22,
    VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
    VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_LWIN = 0x5B, VK_APPS = 0x5D, VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A,
    VK_ADD = 0x6B, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F1 = 0x70, VK_NUMLOCK = 0x90,
    VK_SCROLL = 0x91, VK_OEM_CLEAR = 0xFE,
};

// Key flags of the mouse handlers: the buttons held and Shift and Ctrl.
enum : unsigned { MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08, MK_MBUTTON = 0x10 };

// What a view uses of the program around it, handed down by whoever makes the
// view (the application's view factory) so that the view never looks upward.
// Each part may be missing, as in a view made alone: without a profile the view
// reads its settings' defaults and keeps nothing, without a printer each print
// command prints on one of its own, without clipboardHasBytes Paste is off.
struct CViewServices {
    // The settings profile, for values a view reads and keeps.
    CSettingsProfile* pProfile = nullptr;
    // The printer every print command and preview uses, as Print Setup left it
    // (made by its owner on first use).
    std::function<QPrinter*()> printer;
    // Whether the clipboard holds something Paste can insert, as last read
    // (asking the clipboard itself at every update would be slow).
    std::function<bool()> clipboardHasBytes;
};

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
// drawn inverted over the painted contents while the view has the focus.
//
// Keyboard and mouse arrive as the platform's messages would. A key press is
// OnKeyDown with its virtual-key code, then OnText with the text it types; text
// an input method commits arrives through OnText too. OnText's default gives one
// OnChar per character of Latin-1 and drops the others: a view that types in
// another code page overrides OnText with its own encoder, so that one encoder
// decides what a character becomes. Keys pressed with Alt (menu keys) and keys
// the frame's accelerators take never arrive; Tab does, it does not move the focus.
// A held Shift or Ctrl arrives once, not at every repeat. The left button's
// press, moves while any button is held, and release arrive with their point in
// client coordinates; the view keeps them while the button is held, also
// outside the window; the second press of a double-click arrives as
// OnLButtonDblClk. IsKeyDown reads Shift and Ctrl as they are while the
// handler runs.
class CView : public QAbstractScrollArea, public CCmdTarget, public CDocumentView {
    Q_OBJECT

public:
    explicit CView(QWidget* pParent = nullptr);
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    void AttachDocument(CDocument* pDocument);
    // The document window holding the view, or nullptr.
    QMdiSubWindow* GetParentFrame() const;

    // Set before Create.
    void SetServices(CViewServices services) { m_services = std::move(services); }
    const CViewServices& GetServices() const { return m_services; }

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
    // Moves the caret by (dx, dy) with the contents a scroll moved, so that it
    // stays over the cell it was on.
    void ScrollCaret(int dx, int dy);

    // Whether VK_SHIFT or VK_CONTROL is down; any other key reads as up.
    bool IsKeyDown(unsigned nVirtKey) const;

    // Printing, driven by the framework's print loop (CPrintInfo).
    virtual bool OnPreparePrinting(CPrintInfo* pInfo);
    virtual void OnBeginPrinting(QPainter* pDC, CPrintInfo* pInfo);
    virtual void OnPrint(QPainter* pDC, CPrintInfo* pInfo);
    virtual void OnEndPrinting(QPainter* pDC, CPrintInfo* pInfo);

    // The print commands (view_print.cpp). Print asks the print dialog first;
    // Print Direct and Print Preview take the application's printer as Print
    // Setup left it. Each asks OnPreparePrinting, which a view answers with
    // DoPreparePrinting, then runs the page loop; preview runs it again
    // whenever the preview window wants its pages drawn.
    void OnFilePrint();
    void OnFilePrintDirect();
    void OnFilePrintPreview();
    // The page loop on printer: OnBeginPrinting, OnPrint for each page of the
    // range, OnEndPrinting, all on one painter, without a scroll offset.
    // Returns false when the printer cannot be started (nothing printed), or
    // when the PDF file it wrote is incomplete (CheckPrintFile: the file is
    // removed and *pError says why).
    bool PrintToPrinter(QPrinter& printer, bool bPreview = false, QString* pError = nullptr);

signals:
    // Asks whoever shows the view (the main frame) to show the first popup of
    // menu resource nIDResource at ptScreen as a context menu, and to run the
    // command chosen; the menu has closed when the emit returns.
    void popupMenuRequested(unsigned nIDResource, const QPoint& ptScreen);

protected:
    virtual int OnCreate();
    virtual void OnSize(unsigned nType, int cx, int cy);
    // Paints with the painter prepared by OnPrepareDC; clipBox is the invalid
    // area's bounding box in the painter's (document) coordinates.
    virtual void OnDraw(QPainter* pDC);
    virtual void OnPrepareDC(QPainter* pDC);
    // Readies the printer for a run: the print dialog, or nothing for Print
    // Direct and preview. False when the user cancelled.
    bool DoPreparePrinting(CPrintInfo* pInfo);
    // The invalid area's bounding box during OnDraw, in document coordinates: whole
    // pixels, which in a tall scrolled document pass what an int holds.
    QRectF GetClipBox() const { return m_clipBox; }

    // Keyboard and mouse, as the platform's messages (see above). nRepCnt and
    // nFlags are 1 and 0.
    virtual void OnKeyDown(unsigned nChar, unsigned nRepCnt, unsigned nFlags);
    virtual void OnKeyUp(unsigned nChar, unsigned nRepCnt, unsigned nFlags);
    virtual void OnChar(unsigned nChar, unsigned nRepCnt, unsigned nFlags);
    virtual void OnLButtonDown(unsigned nFlags, const QPoint& point);
    virtual void OnLButtonUp(unsigned nFlags, const QPoint& point);
    // The right button's press, before the context menu it opens.
    virtual void OnRButtonDown(unsigned nFlags, const QPoint& point);
    virtual void OnMouseMove(unsigned nFlags, const QPoint& point);
    virtual void OnText(const QString& text);
    // The second press of a double-click, in place of its OnLButtonDown; the
    // default passes it on as that press.
    virtual void OnLButtonDblClk(unsigned nFlags, const QPoint& point);
    // A context menu asked for at ptScreen: by the right button, or by the
    // keyboard, which puts it below the caret.
    virtual void OnContextMenu(const QPoint& ptScreen);
    // The codec the view's bytes read in for other programs (QStringDecoder's
    // name): text copied to the clipboard is decoded with it. Latin-1 here.
    virtual QByteArray GetCharCodec() const;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool bNext) override;

    QRectF m_clipBox;

private:
    void BlinkCaret();
    void UpdateCaretArea();

    // The modifiers of the input event being handled, with a Shift or Ctrl key
    // that is the event's own key counted as it is after the event.
    Qt::KeyboardModifiers m_eventModifiers;
    bool m_bInInputEvent = false;

    CDocument* m_pDocument = nullptr;
    CViewServices m_services;
    QRegion m_invalid;
    bool m_bCaretCreated = false;
    int m_nCaretHide = 1;   // a new caret is hidden until ShowCaret
    bool m_bCaretOn = true; // blink phase
    QRect m_caret;
    QTimer m_caretTimer;
};
