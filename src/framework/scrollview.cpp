#include "scrollview.h"

#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

CScrollView::CScrollView(QWidget* pParent) : CView(pParent)
{
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        // Its "Scroll here" entry would move the bar without a scroll code.
        bar->setContextMenuPolicy(Qt::NoContextMenu);
        const int nBar = bar == verticalScrollBar() ? SB_VERT : SB_HORZ;
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, bar, nBar](int nAction) { OnScrollBarAction(bar, nBar, nAction); });
    }
    UpdateBars();
}

void CScrollView::SetScrollSizes(int nMapMode, const QSize& sizeTotal, const QSize& sizePage, const QSize& sizeLine)
{
    m_nMapMode = nMapMode;
    m_totalDev = QSize(std::max(0, sizeTotal.width()), std::max(0, sizeTotal.height()));
    m_pageDev = sizePage;
    if (m_pageDev.width() <= 0)
        m_pageDev.setWidth(m_totalDev.width() / 10);
    if (m_pageDev.height() <= 0)
        m_pageDev.setHeight(m_totalDev.height() / 10);
    m_lineDev = sizeLine;
    if (m_lineDev.width() <= 0)
        m_lineDev.setWidth(m_pageDev.width() / 10);
    if (m_lineDev.height() <= 0)
        m_lineDev.setHeight(m_pageDev.height() / 10);
    UpdateBars();
}

int CScrollView::GetScrollPos(int nBar) const
{
    return nBar == SB_VERT ? verticalScrollBar()->value() : horizontalScrollBar()->value();
}

QPoint CScrollView::GetScrollPosition() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CScrollView::ScrollToPosition(const QPoint& pt)
{
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setValue(std::clamp(pt.x(), 0, h->maximum()));
    v->setValue(std::clamp(pt.y(), 0, v->maximum()));
}

void CScrollView::OnVScroll(unsigned nSBCode, unsigned nPos, QScrollBar*)
{
    OnScroll(SB_VERT, nSBCode, nPos);
}

void CScrollView::OnHScroll(unsigned nSBCode, unsigned nPos, QScrollBar*)
{
    OnScroll(SB_HORZ, nSBCode, nPos);
}

void CScrollView::OnScroll(int nBar, unsigned nSBCode, unsigned nPos)
{
    const bool bVert = nBar == SB_VERT;
    const QScrollBar* bar = bVert ? verticalScrollBar() : horizontalScrollBar();
    const qint64 line = bVert ? m_lineDev.height() : m_lineDev.width();
    const qint64 page = bVert ? m_pageDev.height() : m_pageDev.width();
    qint64 pos = bar->value();
    switch (nSBCode) {
    case SB_TOP:
        pos = 0;
        break;
    case SB_BOTTOM:
        pos = bar->maximum();
        break;
    case SB_LINEUP:
        pos -= line;
        break;
    case SB_LINEDOWN:
        pos += line;
        break;
    case SB_PAGEUP:
        pos -= page;
        break;
    case SB_PAGEDOWN:
        pos += page;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        pos = nPos;
        break;
    default:
        return;
    }
    QPoint pt = GetScrollPosition();
    const int clamped = int(std::clamp<qint64>(pos, 0, INT_MAX));
    if (bVert)
        pt.setY(clamped);
    else
        pt.setX(clamped);
    ScrollToPosition(pt);
}

void CScrollView::OnScrollBarAction(QScrollBar* pScrollBar, int nBar, int nAction)
{
    // The bar has moved its slider but not yet its value. Putting the slider back
    // leaves the move to the handler, which may do something else first or not
    // scroll at all; the bar then takes over whatever value the handler set.
    const int nTarget = pScrollBar->sliderPosition();
    pScrollBar->setSliderPosition(pScrollBar->value());
    unsigned nSBCode;
    switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub:
        nSBCode = SB_LINEUP;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        nSBCode = SB_LINEDOWN;
        break;
    case QAbstractSlider::SliderPageStepSub:
        nSBCode = SB_PAGEUP;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        nSBCode = SB_PAGEDOWN;
        break;
    case QAbstractSlider::SliderToMinimum:
        nSBCode = SB_TOP;
        break;
    case QAbstractSlider::SliderToMaximum:
        nSBCode = SB_BOTTOM;
        break;
    case QAbstractSlider::SliderMove:
        nSBCode = SB_THUMBTRACK;
        break;
    default:
        return;
    }
    if (nBar == SB_VERT)
        OnVScroll(nSBCode, unsigned(nTarget), pScrollBar);
    else
        OnHScroll(nSBCode, unsigned(nTarget), pScrollBar);
}

void CScrollView::UpdateBars()
{
    const QSize client = viewport()->size();
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    // The bars' own page step sizes the thumb: the window's share of the document.
    h->setRange(0, std::max(0, m_totalDev.width() - client.width()));
    h->setPageStep(std::max(1, client.width()));
    h->setSingleStep(std::max(1, m_lineDev.width()));
    v->setRange(0, std::max(0, m_totalDev.height() - client.height()));
    v->setPageStep(std::max(1, client.height()));
    v->setSingleStep(std::max(1, m_lineDev.height()));
}

void CScrollView::OnPrepareDC(QPainter* pDC)
{
    CView::OnPrepareDC(pDC);
    pDC->translate(-GetScrollPosition());
}

void CScrollView::OnSize(unsigned nType, int cx, int cy)
{
    CView::OnSize(nType, cx, cy);
    UpdateBars();
}

void CScrollView::scrollContentsBy(int, int)
{
    // A full repaint rather than moving the pixels: the view's caret is drawn over
    // the contents at a fixed place and would move with them.
    viewport()->update();
}
