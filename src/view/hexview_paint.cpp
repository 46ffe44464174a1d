#include "hexview.h"

#include "chartable.h"
#include "hexdoc.h"
#include "rowpainter.h"
#include "textdecoder.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <vector>

// Off unless asked for (QT_LOGGING_RULES="zorbel.paint.debug=true"): the
// benchmarks time the program's start to its first rows, and a far jump to the
// rows it shows, by what it says.
Q_LOGGING_CATEGORY(lcPaint, "zorbel.paint", QtWarningMsg)

namespace {

// The colours under a light palette: black on white, the caret column's
// highlight white on dark grey, the other column's dark grey on light grey.
const CHexView::Colours kLightColours = {QColor(0, 0, 0),       QColor(255, 255, 255), QColor(255, 255, 255),
                                         QColor(123, 123, 123), QColor(123, 123, 123), QColor(231, 231, 231)};

// Where a dark palette's greys stand between its text (0) and its base (1): the
// caret column's highlight is its base on a light grey, the other column's a
// light grey on a grey a little lighter than the base, each pair as far apart
// as the light colours' pairs.
constexpr double kCaretColumnGrey = 0.3;
constexpr double kOtherColumnGrey = 0.9;

QColor Mix(const QColor& from, const QColor& to, double f)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * f),
                            float(from.greenF() + (to.greenF() - from.greenF()) * f),
                            float(from.blueF() + (to.blueF() - from.blueF()) * f));
}

} // namespace

CHexView::Colours CHexView::GetColours() const
{
    const QColor text = palette().color(QPalette::Text);
    const QColor base = palette().color(QPalette::Base);
    if (base.lightnessF() >= text.lightnessF())
        return kLightColours;
    return {text, base, base, Mix(text, base, kCaretColumnGrey), Mix(text, base, kCaretColumnGrey),
            Mix(text, base, kOtherColumnGrey)};
}

// The rows that meet the clip box are drawn in the plain colours. When a selection is
// shown, they are drawn again clipped to each highlight region in that column's
// colours, so whatever part of the window a paint covers, the highlight in it is
// right: a paint need not be one region's own.
void CHexView::OnDraw(QPainter* pDC)
{
    m_bRedrawSel = false;
    const CHexDoc* pDoc = GetDocument();
    if (m_nRows == 0 || !pDoc || m_nLineHeight == 0)
        return;

    // Row r's cells span y = r * lh + 1 to r * lh + lh; the clip box holds whole
    // pixels, its bottom edge excluded.
    const QRectF clip = GetClipBox();
    const qint64 nLineHeight = m_nLineHeight;
    const qint64 nClipTop = qint64(std::floor(clip.top()));
    const qint64 nClipBottom = qint64(std::ceil(clip.bottom())) - 1;
    if (clip.isEmpty() || nClipBottom < 1)
        return;
    const qint64 first = nClipTop > 1 ? (nClipTop - 1) / nLineHeight : 0;
    const qint64 last = std::min((nClipBottom - 1) / nLineHeight, m_nRows - 1);
    if (first > last)
        return;

    const std::vector<FormattedRow> rows = FormatRows(first, last);

    const CTextDecoder decoder(pDoc->GetCodePage());
    const Colours colours = GetColours();
    CRowPainter painter(pDC, m_fontScreen, decoder, m_nLeftMargin, m_nCharWidth, m_nLineHeight);
    painter.SetOffsetColumns(CRowFormat::kOffsetColumns + m_nOffsetExtra);
    painter.SetColours(colours.plainText, colours.plainBack);
    for (const FormattedRow& row : rows) {
        painter.DrawOffset(row.nRow);
        DrawFormattedRow(painter, row, row.nRow);
    }
    // Said once the rows, highlights and marks are drawn, whichever way this ends.
    const auto said = qScopeGuard([&] { qCDebug(lcPaint, "rows %lld-%lld painted", first, last); });
    // The bookmarks' marks go over everything else, whichever way this ends.
    const auto marks = qScopeGuard([&] { DrawBookmarks(pDC, first, last); });

    if (!m_bSelection || m_nSelAnchor == m_nSelEnd)
        return;
    // The regions are in client coordinates, and so is the clip they set; the
    // rows are drawn in the painter's document coordinates.
    const qint64 nScrollY = GetScrollPos(SB_VERT);
    const struct {
        const QRegion& region;
        bool bCaretColumn;
    } highlights[] = {{m_rgnHex, m_bHexColumn}, {m_rgnText, !m_bHexColumn}};
    for (const auto& highlight : highlights) {
        if (highlight.region.isEmpty())
            continue;
        const QRect box = highlight.region.boundingRect();
        pDC->save();
        const QTransform toDocument = pDC->worldTransform();
        pDC->setWorldTransform(QTransform());
        pDC->setClipRegion(highlight.region, Qt::IntersectClip);
        pDC->setWorldTransform(toDocument);
        if (highlight.bCaretColumn)
            painter.SetColours(colours.caretColumnText, colours.caretColumnBack);
        else
            painter.SetColours(colours.otherColumnText, colours.otherColumnBack);
        for (const FormattedRow& row : rows) {
            const qint64 top = painter.Top(row.nRow) - nScrollY;
            if (top <= box.bottom() && top + nLineHeight > box.top())
                DrawFormattedRow(painter, row, row.nRow);
        }
        pDC->restore();
    }
}

std::vector<CHexView::FormattedRow> CHexView::FormatRows(qint64 nFirst, qint64 nLast)
{
    const CHexDoc* pDoc = GetDocument();
    const CCharTable* pTable = pDoc->GetCharTable();
    std::vector<FormattedRow> rows;
    rows.reserve(std::size_t(nLast - nFirst + 1));
    bool bContinued = nFirst > 0 && !pTable && IsRowContinued(nFirst, true);
    QByteArray hold;
    const CTableBytes bytes = pTable ? CTableRow::Read(*pTable, *pDoc, nFirst * 16, (nLast + 1) * 16, hold)
                                     : CTableBytes();
    // Offsets into bytes, which begin at bytes.nBase.
    auto nLanding = std::uint32_t(bytes.nLanding - bytes.nBase);
    for (qint64 r = nFirst;; ++r) {
        FormattedRow row;
        row.nRow = r;
        bContinued = FormatRow(r, row.strRow, bContinued);
        if (bytes.pData)
            nLanding = CTableRow::Cells(*pTable, bytes.pData, bytes.nLength, std::uint32_t(r * 16 - bytes.nBase),
                                        nLanding, row.cells);
        rows.push_back(std::move(row));
        if (r == nLast)
            break;
    }
    return rows;
}

void CHexView::DrawFormattedRow(CRowPainter& painter, const FormattedRow& row, qint64 nAt) const
{
    if (GetDocument()->GetCharTable())
        painter.DrawTableRow(nAt, row.strRow, row.cells);
    else
        painter.DrawRow(nAt, row.strRow);
}

bool CHexView::FormatRow(qint64 nRow, QByteArray& strRow, bool bContinued) const
{
    return CRowFormat::FormatRow(*GetDocument(), nRow, strRow, bContinued);
}

bool CHexView::IsRowContinued(qint64 nRow, bool bAtStart)
{
    return m_rowFormat.IsRowContinued(*GetDocument(), nRow, bAtStart);
}
