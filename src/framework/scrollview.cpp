#include "scrollview.h"

#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

CScrollView::CScrollView(QWidget* pParent) : CView(pParent)
{
    for (const int nBar : {SB_HORZ, SB_VERT}) {
        QScrollBar* bar = Bar(nBar);
        // Its "Scroll here" entry would move the bar without a scroll code.
        bar->setContextMenuPolicy(Qt::NoContextMenu);
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, bar, nBar](int nAction) { OnScrollBarAction(bar, nBar, nAction); });
        connect(bar, &QAbstractSlider::valueChanged, this,
                [this, nBar](int nValue) { OnBarValueChanged(nBar, nValue); });
    }
    UpdateBars();
}

QScrollBar* CScrollView::Bar(int nBar) const
{
    return nBar == SB_VERT ? verticalScrollBar() : horizontalScrollBar();
}

void CScrollView::SetScrollSizes(int nMapMode, const QSize& sizeTotal, const QSize& sizePage, const QSize& sizeLine)
{
    SetScrollSizes(nMapMode, sizeTotal.width(), sizeTotal.height(), sizePage, sizeLine);
}

void CScrollView::SetScrollSizes(int nMapMode, int nTotalWidth, qint64 nTotalHeight, const QSize& sizePage,
                                 const QSize& sizeLine)
{
    m_nMapMode = nMapMode;
    const qint64 totals[2] = {std::max(0, nTotalWidth), std::max<qint64>(0, nTotalHeight)};
    const int pages[2] = {sizePage.width(), sizePage.height()};
    const int lines[2] = {sizeLine.width(), sizeLine.height()};
    for (const int nBar : {SB_HORZ, SB_VERT}) {
        Axis& axis = m_axes[nBar];
        axis.nTotal = totals[nBar];
        axis.nPage = pages[nBar] > 0 ? pages[nBar] : axis.nTotal / 10;
        axis.nLine = lines[nBar] > 0 ? lines[nBar] : axis.nPage / 10;
    }
    UpdateBars();
}

QSize CScrollView::GetTotalSize() const
{
    return QSize(int(m_axes[SB_HORZ].nTotal), int(std::min<qint64>(m_axes[SB_VERT].nTotal, INT_MAX)));
}

QSize CScrollView::GetPageSize() const
{
    return QSize(int(m_axes[SB_HORZ].nPage), int(std::min<qint64>(m_axes[SB_VERT].nPage, INT_MAX)));
}

QSize CScrollView::GetLineSize() const
{
    return QSize(int(m_axes[SB_HORZ].nLine), int(std::min<qint64>(m_axes[SB_VERT].nLine, INT_MAX)));
}

QPoint CScrollView::GetScrollPosition() const
{
    return QPoint(int(m_axes[SB_HORZ].nPos), int(std::min<qint64>(m_axes[SB_VERT].nPos, INT_MAX)));
}

void CScrollView::ScrollToPosition(const QPoint& pt)
{
    ScrollToPosition(pt.x(), pt.y());
}

void CScrollView::ScrollToPosition(qint64 x, qint64 y)
{
    SetPos(SB_HORZ, x);
    SetPos(SB_VERT, y);
}

qint64 CScrollView::MaxPos(int nBar) const
{
    const QSize client = viewport()->size();
    const qint64 nClient = nBar == SB_VERT ? client.height() : client.width();
    return std::max<qint64>(0, m_axes[nBar].nTotal - nClient);
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
    const Axis& axis = m_axes[nBar];
    qint64 pos = axis.nPos;
    switch (nSBCode) {
    case SB_TOP:
        pos = 0;
        break;
    case SB_BOTTOM:
        pos = MaxPos(nBar);
        break;
    case SB_LINEUP:
        pos -= axis.nLine;
        break;
    case SB_LINEDOWN:
        pos += axis.nLine;
        break;
    case SB_PAGEUP:
        pos -= axis.nPage;
        break;
    case SB_PAGEDOWN:
        pos += axis.nPage;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        pos = qint64(nPos) * axis.nUnit;
        break;
    default:
        return;
    }
    SetPos(nBar, pos);
}

// Moves to a position, kept within the range: the caret goes along with the
// contents, the bar follows, and the window repaints.
void CScrollView::SetPos(int nBar, qint64 nPos)
{
    Axis& axis = m_axes[nBar];
    nPos = std::clamp<qint64>(nPos, 0, MaxPos(nBar));
    if (nPos != axis.nPos) {
        const qint64 nDelta = axis.nPos - nPos;
        axis.nPos = nPos;
        // The caret is kept within reach of the window; the view places it anew.
        const int nMove = int(std::clamp<qint64>(nDelta, -(INT_MAX / 2), INT_MAX / 2));
        if (nBar == SB_VERT)
            ScrollCaret(0, nMove);
        else
            ScrollCaret(nMove, 0);
        viewport()->update();
    }
    // Rounded up, so that the last position shows the bar at its end.
    const qint64 nValue = (nPos + axis.nUnit - 1) / axis.nUnit;
    m_bSettingBars = true;
    Bar(nBar)->setValue(int(std::min<qint64>(nValue, INT_MAX)));
    m_bSettingBars = false;
}

// A bar whose value changed by some other way than this class (its range
// shrank under it) takes the position along.
void CScrollView::OnBarValueChanged(int nBar, int nValue)
{
    if (m_bSettingBars)
        return;
    const qint64 nUnit = m_axes[nBar].nUnit;
    if ((m_axes[nBar].nPos + nUnit - 1) / nUnit != nValue)
        SetPos(nBar, qint64(nValue) * nUnit);
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
    const int clients[2] = {client.width(), client.height()};
    m_bSettingBars = true;
    for (const int nBar : {SB_HORZ, SB_VERT}) {
        Axis& axis = m_axes[nBar];
        const qint64 nMax = MaxPos(nBar);
        // One step of the bar is one pixel while the range fits the bar, else a
        // whole number of lines.
        axis.nUnit = 1;
        if (nMax > INT_MAX) {
            const qint64 nLine = std::max<qint64>(1, axis.nLine);
            axis.nUnit = nLine * ((nMax / nLine) / INT_MAX + 1);
        }
        QScrollBar* bar = Bar(nBar);
        bar->setRange(0, int((nMax + axis.nUnit - 1) / axis.nUnit));
        // The bar's page step sizes the thumb: the window's share of the document.
        bar->setPageStep(int(std::max<qint64>(1, clients[nBar] / axis.nUnit)));
        bar->setSingleStep(int(std::max<qint64>(1, axis.nLine / axis.nUnit)));
    }
    m_bSettingBars = false;
    // A position past the new end comes back to it, and the bars show it.
    for (const int nBar : {SB_HORZ, SB_VERT})
        SetPos(nBar, m_axes[nBar].nPos);
}

void CScrollView::OnPrepareDC(QPainter* pDC)
{
    CView::OnPrepareDC(pDC);
    // In floating point: a tall document's coordinates pass what an int holds,
    // and a double holds them to the pixel.
    pDC->translate(-qreal(m_axes[SB_HORZ].nPos), -qreal(m_axes[SB_VERT].nPos));
}

void CScrollView::OnSize(unsigned nType, int cx, int cy)
{
    CView::OnSize(nType, cx, cy);
    UpdateBars();
}

void CScrollView::scrollContentsBy(int, int)
{
    // The bars' moves are followed in SetPos, where the position is exact; the
    // bar's own difference counts its steps, not pixels.
}
