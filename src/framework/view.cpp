#include "view.h"

#include "mdichildwnd.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>

CView::CView(QWidget* pParent) : QAbstractScrollArea(pParent)
{
    setFocusPolicy(Qt::StrongFocus);
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

CMDIChildWnd* CView::GetParentFrame() const
{
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<CMDIChildWnd*>(w))
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
    m_clipBox = painter.transform().inverted().mapRect(event->region().boundingRect());
    OnDraw(&painter);
    painter.restore();
    if (IsCaretVisible() && m_bCaretOn && event->region().intersects(m_caret)) {
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
