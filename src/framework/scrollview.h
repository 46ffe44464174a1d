#pragma once

#include "view.h"

#include <QPoint>
#include <QSize>

class QScrollBar;

// Scroll bars (nBar) and the scroll codes OnVScroll and OnHScroll receive.
enum : int { SB_HORZ = 0, SB_VERT = 1 };
enum : unsigned {
    SB_LINEUP = 0,
    SB_LINELEFT = 0,
    SB_LINEDOWN = 1,
    SB_LINERIGHT = 1,
    SB_PAGEUP = 2,
    SB_PAGELEFT = 2,
    SB_PAGEDOWN = 3,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_LEFT = 6,
    SB_BOTTOM = 7,
    SB_RIGHT = 7,
};

// Mapping modes: one logical unit is one device pixel.
enum : int { MM_TEXT = 1 };

// A view whose document is larger than its window, scrolled in device pixels.
//
// SetScrollSizes gives the document's size and the steps of a page and a line;
// the scroll bars show only while the document is larger than the window. The
// scroll position is the document point at the window's top-left corner; OnDraw
// paints in document coordinates (the origin is moved by the scroll position) and
// GetClipBox is in document coordinates too.
//
// Every scroll the user makes (scroll-bar clicks and drags, the wheel, the keys
// the scroll area handles) arrives as OnVScroll or OnHScroll with its scroll code
// before anything moves, so a derived view can act first; the base handlers move
// the position. Scrolling repaints the whole window later, through the event loop.
class CScrollView : public CView {
    Q_OBJECT

public:
    explicit CScrollView(QWidget* pParent = nullptr);

    // A zero page step becomes a tenth of the total size, a zero line step a tenth
    // of the page step.
    void SetScrollSizes(int nMapMode, const QSize& sizeTotal, const QSize& sizePage = QSize(0, 0),
                        const QSize& sizeLine = QSize(0, 0));
    QSize GetTotalSize() const { return m_totalDev; }
    QSize GetPageSize() const { return m_pageDev; }
    QSize GetLineSize() const { return m_lineDev; }

    int GetScrollPos(int nBar) const;
    QPoint GetScrollPosition() const;
    // Moves to pt, kept within the scroll range.
    void ScrollToPosition(const QPoint& pt);

    // nPos is the position of SB_THUMBTRACK and SB_THUMBPOSITION; pScrollBar is the
    // bar the user moved, or nullptr when the program scrolls.
    virtual void OnVScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar);
    virtual void OnHScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar);

protected:
    void OnPrepareDC(QPainter* pDC) override;
    void OnSize(unsigned nType, int cx, int cy) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void OnScroll(int nBar, unsigned nSBCode, unsigned nPos);
    void OnScrollBarAction(QScrollBar* pScrollBar, int nBar, int nAction);
    void UpdateBars();

    int m_nMapMode = MM_TEXT;
    QSize m_totalDev;
    QSize m_pageDev;
    QSize m_lineDev;
};
