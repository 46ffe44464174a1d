#include "view.h"


#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>

#include <cstdint>

CView::CView(QWidget* pParent) : QAbstractScrollArea(pParent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setAutoFillBackground(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    const int interval = QApplication::cursorFlashTime() / 2;
    m_caretTimer.setInterval(interval > 0 ? interval : 530);
    connect(&m_caretTimer, &QTimer::timeout, this, &CView::BlinkCaret);
}

CView::~CView()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

void CView::AttachDocument(CDocument* pDocument)
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
    m_pDocument = pDocument;
    if (m_pDocument)
        m_pDocument->AddView(this);
}

QMdiSubWindow* CView::GetParentFrame() const
{
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w))
            return frame;
    }
    return nullptr;
}

bool CView::Create()
{
    return OnCreate() != -1;
}

int CView::OnCreate()
{
    return 0;
}

void CView::OnInitialUpdate()
{
    OnUpdate(nullptr, 0);
}

void CView::OnUpdate(CDocumentView*, qintptr)
{
    Invalidate(true);
}

void CView::OnActivateView(bool, CView*, CView*)
{
}

bool CView::OnCmdMsg(unsigned nID, CCmdUI* pCmdUI)
{
    if (CCmdTarget::OnCmdMsg(nID, pCmdUI))
        return true;
    return m_pDocument && m_pDocument->OnCmdMsg(nID, pCmdUI);
}

qintptr CView::OnRegisteredMessage(unsigned, quintptr, qintptr)
{
    return 0;
}

void CView::Invalidate(bool)
{
    viewport()->update();
}

void CView::InvalidateRect(const QRect& rect, bool)
{
    m_invalid += rect.intersected(viewport()->rect());
}

void CView::InvalidateRgn(const QRegion* pRegion, bool)
{
    if (!pRegion || pRegion->isEmpty())
        m_invalid += viewport()->rect();
    else
        m_invalid += pRegion->intersected(viewport()->rect());
}

void CView::UpdateWindow()
{
    if (m_invalid.isEmpty())
        return;
    const QRegion region = m_invalid;
    m_invalid = QRegion();
    viewport()->repaint(region);
}

QRect CView::GetClientRect() const
{
    return viewport()->rect();
}

void CView::OnPrepareDC(QPainter*)
{
}

void CView::OnDraw(QPainter*)
{
}

void CView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setClipRegion(event->region());
    painter.save();
    OnPrepareDC(&painter);
    m_clipBox = painter.transform().inverted().mapRect(QRectF(event->region().boundingRect()));
    OnDraw(&painter);
    painter.restore();
    if (IsCaretVisible() && m_bCaretOn && hasFocus() && event->region().intersects(m_caret)) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(m_caret, Qt::white);
    }
}

void CView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const QSize size = viewport()->size();
    OnSize(SIZE_RESTORED, size.width(), size.height());
}

void CView::OnSize(unsigned, int, int)
{
}

void CView::CreateCaret(int nWidth, int nHeight)
{
    DestroyCaret();
    m_caret = QRect(m_caret.topLeft(), QSize(nWidth, nHeight));
    m_bCaretCreated = true;
    m_nCaretHide = 1;
    m_bCaretOn = true;
}

void CView::DestroyCaret()
{
    if (!m_bCaretCreated)
        return;
    UpdateCaretArea();
    m_bCaretCreated = false;
    m_caretTimer.stop();
}

void CView::SetCaretPos(const QPoint& point)
{
    if (m_caret.topLeft() == point)
        return;
    UpdateCaretArea();
    m_caret.moveTopLeft(point);
    m_bCaretOn = true;
    UpdateCaretArea();
}

void CView::ShowCaret()
{
    if (!m_bCaretCreated || m_nCaretHide == 0)
        return;
    if (--m_nCaretHide == 0) {
        m_bCaretOn = true;
        m_caretTimer.start();
        UpdateCaretArea();
    }
}

void CView::HideCaret()
{
    if (!m_bCaretCreated)
        return;
    if (m_nCaretHide++ == 0) {
        m_caretTimer.stop();
        UpdateCaretArea();
    }
}

QRect CView::GetCaretRect() const
{
    return m_bCaretCreated ? m_caret : QRect();
}

void CView::ScrollCaret(int dx, int dy)
{
    if (dx == 0 && dy == 0)
        return;
    UpdateCaretArea();
    m_caret.translate(dx, dy);
    UpdateCaretArea();
}

void CView::BlinkCaret()
{
    m_bCaretOn = !m_bCaretOn;
    UpdateCaretArea();
}

void CView::UpdateCaretArea()
{
    if (m_bCaretCreated && !m_caret.isEmpty())
        viewport()->update(m_caret);
}

bool CView::OnPreparePrinting(CPrintInfo*)
{
    return false;
}

void CView::OnBeginPrinting(QPainter*, CPrintInfo*)
{
}

void CView::OnPrint(QPainter* pDC, CPrintInfo*)
{
    OnDraw(pDC);
}

void CView::OnEndPrinting(QPainter*, CPrintInfo*)
{
}

namespace {

unsigned VirtualKeyFromQt(int key, Qt::KeyboardModifiers modifiers)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return (modifiers & Qt::KeypadModifier) ? VK_NUMPAD0 + unsigned(key - Qt::Key_0) : unsigned(key);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return unsigned(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + unsigned(key - Qt::Key_F1);
    const bool bKeypad = modifiers & Qt::KeypadModifier;
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Pause:
        return VK_PAUSE;
    case Qt::Key_CapsLock:
        return VK_CAPITAL;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Meta:
        return VK_LWIN;
    case Qt::Key_Menu:
        return VK_APPS;
    case Qt::Key_NumLock:
        return VK_NUMLOCK;
    case Qt::Key_ScrollLock:
        return VK_SCROLL;
    case Qt::Key_Asterisk:
        return bKeypad ? VK_MULTIPLY : VK_OEM_CLEAR;
    case Qt::Key_Plus:
        return bKeypad ? VK_ADD : VK_OEM_CLEAR;
    case Qt::Key_Minus:
        return bKeypad ? VK_SUBTRACT : VK_OEM_CLEAR;
    case Qt::Key_Period:
        return bKeypad ? VK_DECIMAL : VK_OEM_CLEAR;
    case Qt::Key_Slash:
        return bKeypad ? VK_DIVIDE : VK_OEM_CLEAR;
    default:
        return VK_OEM_CLEAR;
    }
}

unsigned MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    unsigned nFlags = 0;
    if (buttons & Qt::LeftButton)
        nFlags |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        nFlags |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        nFlags |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        nFlags |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        nFlags |= MK_CONTROL;
    return nFlags;
}

// Marks the view as handling an input event with the given modifiers for as
// long as the guard lives; nested events restore the outer ones.
class CInputEventScope {
public:
    CInputEventScope(bool& bInEvent, Qt::KeyboardModifiers& modifiers, Qt::KeyboardModifiers now)
        : m_bInEvent(bInEvent), m_modifiers(modifiers), m_bWasIn(bInEvent), m_was(modifiers)
    {
        m_bInEvent = true;
        m_modifiers = now;
    }
    ~CInputEventScope()
    {
        m_bInEvent = m_bWasIn;
        m_modifiers = m_was;
    }

private:
    bool& m_bInEvent;
    Qt::KeyboardModifiers& m_modifiers;
    bool m_bWasIn;
    Qt::KeyboardModifiers m_was;
};

Qt::KeyboardModifiers ModifiersAfter(const QKeyEvent* event, bool bPress)
{
    Qt::KeyboardModifiers modifiers = event->modifiers();
    Qt::KeyboardModifier own = Qt::NoModifier;
    if (event->key() == Qt::Key_Shift)
        own = Qt::ShiftModifier;
    else if (event->key() == Qt::Key_Control)
        own = Qt::ControlModifier;
    modifiers.setFlag(own, bPress);
    return modifiers;
}

} // namespace

bool CView::IsKeyDown(unsigned nVirtKey) const
{
    const Qt::KeyboardModifiers modifiers =
        m_bInInputEvent ? m_eventModifiers : QGuiApplication::queryKeyboardModifiers();
    if (nVirtKey == VK_SHIFT)
        return modifiers & Qt::ShiftModifier;
    if (nVirtKey == VK_CONTROL)
        return modifiers & Qt::ControlModifier;
    return false;
}

void CView::OnKeyDown(unsigned, unsigned, unsigned)
{
}

void CView::OnKeyUp(unsigned, unsigned, unsigned)
{
}

void CView::OnChar(unsigned, unsigned, unsigned)
{
}

void CView::OnLButtonDown(unsigned, const QPoint&)
{
}

void CView::OnLButtonUp(unsigned, const QPoint&)
{
}

void CView::OnMouseMove(unsigned, const QPoint&)
{
}

void CView::OnLButtonDblClk(unsigned nFlags, const QPoint& point)
{
    OnLButtonDown(nFlags, point);
}

void CView::OnContextMenu(const QPoint&)
{
}

QByteArray CView::GetCharCodec() const
{
    return QByteArrayLiteral("ISO-8859-1");
}

void CView::OnText(const QString& text)
{
    for (const QChar ch : text) {
        if (ch.unicode() <= 0xFF)
            OnChar(ch.unicode(), 1, 0);
    }
}

void CView::keyPressEvent(QKeyEvent* event)
{
    // Alt with a key belongs to the menus (Ctrl+Alt is AltGr on some keyboards).
    if ((event->modifiers() & Qt::AltModifier) && !(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    const int key = event->key();
    if (event->isAutoRepeat() && (key == Qt::Key_Shift || key == Qt::Key_Control))
        return;
    const CInputEventScope scope(m_bInInputEvent, m_eventModifiers, ModifiersAfter(event, true));
    OnKeyDown(VirtualKeyFromQt(key, event->modifiers()), 1, 0);
    OnText(event->text());
}

void CView::keyReleaseEvent(QKeyEvent* event)
{
    // Held keys repeat as release and press pairs; only the last release counts.
    if (event->isAutoRepeat())
        return;
    const CInputEventScope scope(m_bInInputEvent, m_eventModifiers, ModifiersAfter(event, false));
    OnKeyUp(VirtualKeyFromQt(event->key(), event->modifiers()), 1, 0);
}

void CView::inputMethodEvent(QInputMethodEvent* event)
{
    const CInputEventScope scope(m_bInInputEvent, m_eventModifiers, QGuiApplication::keyboardModifiers());
    OnText(event->commitString());
    event->accept();
}

QVariant CView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return m_caret.translated(viewport()->pos());
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void CView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
        return;
    const CInputEventScope scope(m_bInInputEvent, m_eventModifiers, event->modifiers());
    const unsigned nFlags = MouseFlags(event->buttons(), event->modifiers());
    if (event->button() == Qt::RightButton)
        OnRButtonDown(nFlags, event->position().toPoint());
    else
        OnLButtonDown(nFlags, event->position().toPoint());
}

void CView::OnRButtonDown(unsigned, const QPoint&)
{
}

void CView::mouseMoveEvent(QMouseEvent* event)
{
    const CInputEventScope scope(m_bInInputEvent, m_eventModifiers, event->modifiers());
    OnMouseMove(MouseFlags(event->buttons(), event->modifiers()), event->position().toPoint());
}

void CView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const CInputEventScope scope(m_bInInputEvent, m_eventModifiers, event->modifiers());
    OnLButtonUp(MouseFlags(event->buttons(), event->modifiers()), event->position().toPoint());
}

void CView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const CInputEventScope scope(m_bInInputEvent, m_eventModifiers, event->modifiers());
    OnLButtonDblClk(MouseFlags(event->buttons(), event->modifiers()), event->position().toPoint());
}

void CView::contextMenuEvent(QContextMenuEvent* event)
{
    const QPoint ptScreen = event->reason() == QContextMenuEvent::Keyboard
                                ? viewport()->mapToGlobal(m_caret.bottomLeft())
                                : event->globalPos();
    OnContextMenu(ptScreen);
    event->accept();
}

void CView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    UpdateCaretArea();
}

void CView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    UpdateCaretArea();
}

bool CView::focusNextPrevChild(bool)
{
    return false;
}
