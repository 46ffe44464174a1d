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
// A document may be taller than an int can count in pixels (hundreds of millions
// of rows): the vertical size and position are 64-bit. A QScrollBar holds only an
// int, so while the range is larger than that, one step of the bar stands for a
// whole number of lines (the line step times a factor); the position itself stays
// exact, and nPos of SB_THUMBTRACK counts the bar's steps. Painting coordinates
// then pass what an int holds, so the clip box is a QRectF of whole pixels.
//
// Every scroll the user makes (scroll-bar clicks and drags, the wheel, the keys
// the scroll area handles) arrives as OnVScroll or OnHScroll with its scroll code
// before anything moves, so a derived view can act first; the base handlers move
// the position. A move takes the caret along with the contents and repaints the
// whole window later, through the event loop.
class CScrollView : public CView {
    Q_OBJECT

public:
    explicit CScrollView(QWidget* pParent = nullptr);

    // A zero page step becomes a tenth of the total size, a zero line step a tenth
    // of the page step.
    void SetScrollSizes(int nMapMode, const QSize& sizeTotal, const QSize& sizePage = QSize(0, 0),
                        const QSize& sizeLine = QSize(0, 0));
    // The same for a document whose height may pass what an int holds.
    void SetScrollSizes(int nMapMode, int nTotalWidth, qint64 nTotalHeight, const QSize& sizePage,
                        const QSize& sizeLine);
    // The total height is cut to what an int holds here; GetTotalHeight has it whole.
    QSize GetTotalSize() const;
    qint64 GetTotalHeight() const { return m_axes[SB_VERT].nTotal; }
    QSize GetPageSize() const;
    QSize GetLineSize() const;

    qint64 GetScrollPos(int nBar) const { return m_axes[nBar].nPos; }
    // The vertical position is cut to what an int holds; GetScrollPos has it whole.
    QPoint GetScrollPosition() const;
    // Moves to the point, kept within the scroll range.
    void ScrollToPosition(const QPoint& pt);
    void ScrollToPosition(qint64 x, qint64 y);

    // nPos is the position of SB_THUMBTRACK and SB_THUMBPOSITION in the bar's
    // steps; pScrollBar is the bar the user moved, or nullptr when the program
    // scrolls.
    virtual void OnVScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar);
    virtual void OnHScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar);

protected:
    void OnPrepareDC(QPainter* pDC) override;
    void OnSize(unsigned nType, int cx, int cy) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // One direction's sizes and position, in pixels, and the pixels one step of
    // its bar stands for.
    struct Axis {
        qint64 nTotal = 0;
        qint64 nPage = 0;
        qint64 nLine = 0;
        qint64 nPos = 0;
        qint64 nUnit = 1;
    };

    QScrollBar* Bar(int nBar) const;
    qint64 MaxPos(int nBar) const;
    void OnScroll(int nBar, unsigned nSBCode, unsigned nPos);
    void OnScrollBarAction(QScrollBar* pScrollBar, int nBar, int nAction);
    void OnBarValueChanged(int nBar, int nValue);
    void SetPos(int nBar, qint64 nPos);
    void UpdateBars();

    int m_nMapMode = MM_TEXT;
    Axis m_axes[2];
    // Set while this class moves a bar itself, so that the bar's own signal is
    // not taken for a move made elsewhere.
    bool m_bSettingBars = false;
};
