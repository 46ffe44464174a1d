#include "rowpainter.h"

#include "rowformat.h"
#include "tablerow.h"
#include "textdecoder.h"

#include <QByteArray>
#include <QGlyphRun>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// Whether the face Qt falls back to for ch draws it in colour (emoji): colour
// glyphs are bitmaps or layers that a PDF does not hold as outlines, so they
// would print blank.
bool DrawnInColour(const QFont& font, char32_t ch)
{
    QTextLayout layout(QString::fromUcs4(&ch, 1), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const QRawFont face = run.rawFont();
        for (const char* table : {"CBDT", "COLR", "sbix"}) {
            if (!face.fontTable(table).isEmpty())
                return true;
        }
    }
    return false;
}

// A glyph centred in a box width wide from x, squeezed when the font draws it wider.
void DrawGlyph(QPainter* pDC, qreal x, qreal baseline, qreal width, const QString& glyph, qreal advance)
{
    if (advance <= width) {
        pDC->drawText(QPointF(x + (width - advance) / 2, baseline), glyph);
        return;
    }
    pDC->save();
    pDC->translate(x, baseline);
    pDC->scale(width / advance, 1);
    pDC->drawText(QPointF(0, 0), glyph);
    pDC->restore();
}

} // namespace

CRowPainter::CRowPainter(QPainter* pDC, const QFont& font, const CTextDecoder& decoder, int nLeftMargin,
                         int nCharWidth, int nLineHeight)
    : m_pDC(pDC), m_fm(font, pDC->device()), m_decoder(decoder), m_nLeftMargin(nLeftMargin),
      m_nCharWidth(nCharWidth), m_nLineHeight(nLineHeight), m_nAscent(m_fm.ascent())
{
    // A run of hex digits can go out as one string when the font's own
    // advance of each of its characters is one cell.
    m_bWholeRuns = true;
    for (const char ch : QByteArray("0123456789ABCDEF. ")) {
        if (m_fm.horizontalAdvance(QLatin1Char(ch)) != nCharWidth)
            m_bWholeRuns = false;
    }
    m_pDC->setFont(font);
    m_bOutlinesOnly = pDC->paintEngine() && pDC->paintEngine()->type() == QPaintEngine::Pdf;
}

void CRowPainter::SetColours(const QColor& text, const QColor& back)
{
    m_back = back;
    m_pDC->setPen(text);
}

void CRowPainter::SetOffsetColumns(int nColumns)
{
    m_nOffsetExtra = std::max(0, nColumns - int(CRowFormat::kOffsetColumns));
}

void CRowPainter::DrawOffset(qint64 nRow)
{
    char offset[32];
    const int nColumns = std::min(CRowFormat::FormatOffset(std::uint64_t(nRow) * 16,
                                                           CRowFormat::kOffsetColumns + m_nOffsetExtra, offset),
                                  int(CRowFormat::kOffsetColumns) + m_nOffsetExtra);
    const qreal top = qreal(Top(nRow));
    FillCells(0, nColumns, top);
    DrawAscii(0, top, offset, nColumns);
}

void CRowPainter::DrawRow(qint64 nRow, const QByteArray& strRow)
{
    // The text column may hold bytes of the next row that take no cells here (a
    // UTF-8 character crossing the row's end), so the spill column's background
    // is filled only where a character reaches it.
    const qreal top = qreal(Top(nRow));
    const int nText = int(strRow.size()) - CRowFormat::kHexPartLength;
    FillCells(CRowFormat::kOffsetColumns, CRowFormat::kHexPartLength + std::min(nText, 16), top);
    DrawAscii(CRowFormat::kOffsetColumns, top, strRow.constData(), CRowFormat::kHexPartLength);
    m_decoder.ForEachChar(strRow.constData() + CRowFormat::kHexPartLength, nText,
                          [this, top](int nCell, int nCells, char32_t ch) {
                              if (nCell + nCells > 16)
                                  FillCells(CRowFormat::kTextColumn + 16, nCell + nCells - 16, top);
                              DrawChar(CRowFormat::kTextColumn + nCell, top, nCells, ch);
                          });
}

void CRowPainter::DrawTableRow(qint64 nRow, const QByteArray& strRow, const std::vector<CTableCell>& cells)
{
    const qreal top = qreal(Top(nRow));
    FillCells(CRowFormat::kOffsetColumns, CRowFormat::kHexPartLength + 16, top);
    DrawAscii(CRowFormat::kOffsetColumns, top, strRow.constData(), CRowFormat::kHexPartLength);
    for (const CTableCell& cell : cells) {
        if (cell.nCell + cell.nCells > 16)
            FillCells(CRowFormat::kTextColumn + 16, 1, top);
        DrawCellText(CRowFormat::kTextColumn + cell.nCell, top, cell.nCells, cell.text);
    }
}

void CRowPainter::DrawText(int nColumn, int top, const QString& text)
{
    for (const char32_t ch : text.toUcs4()) {
        const int nCells = CellsOf(ch);
        DrawChar(nColumn, top, nCells, ch);
        nColumn += nCells;
    }
}

int CRowPainter::CellsOf(char32_t ch) const
{
    const qreal advance = m_fm.horizontalAdvance(QString::fromUcs4(&ch, 1));
    return 2 * advance > 3 * m_nCharWidth ? 2 : 1;
}

int CRowPainter::CellsOf(const QString& text) const
{
    int nCells = 0;
    for (const char32_t ch : text.toUcs4())
        nCells += CellsOf(ch);
    return nCells;
}

void CRowPainter::FillCells(int nColumn, int nCells, qreal top)
{
    m_pDC->fillRect(QRectF(X(nColumn), top, nCells * m_nCharWidth, m_nLineHeight), m_back);
}

void CRowPainter::DrawAscii(int nColumn, qreal top, const char* pszText, int nLength)
{
    if (m_bWholeRuns) {
        m_pDC->drawText(QPointF(X(nColumn), top + m_nAscent), QString::fromLatin1(pszText, nLength));
        return;
    }
    for (int i = 0; i < nLength; ++i)
        DrawChar(nColumn + i, top, 1, char32_t(std::uint8_t(pszText[i])));
}

// A text of one character goes as DrawChar draws it; a longer one is
// squeezed into the cells as a whole.
void CRowPainter::DrawCellText(int nColumn, qreal top, int nCells, const QString& text)
{
    const QList<uint> ucs4 = text.toUcs4();
    if (ucs4.size() == 1) {
        DrawChar(nColumn, top, nCells, char32_t(ucs4[0]));
        return;
    }
    DrawGlyph(m_pDC, X(nColumn), top + m_nAscent, nCells * m_nCharWidth, text, m_fm.horizontalAdvance(text));
}

bool CRowPainter::IsColourGlyph(char32_t ch)
{
    const auto found = m_colourGlyphs.constFind(ch);
    if (found != m_colourGlyphs.constEnd())
        return *found;
    return *m_colourGlyphs.insert(ch, DrawnInColour(m_pDC->font(), ch));
}

void CRowPainter::DrawChar(int nColumn, qreal top, int nCells, char32_t ch)
{
    if (ch == ' ')
        return;
    const QString glyph = QString::fromUcs4(&ch, 1);
    const qreal width = nCells * m_nCharWidth;
    // In a PDF a colour glyph goes as a picture of the cells, drawn as the
    // screen draws it; the font's pixel size holds on the picture as well.
    if (m_bOutlinesOnly && ch > 0x7f && IsColourGlyph(ch)) {
        QImage cells(int(std::ceil(width)), m_nLineHeight, QImage::Format_ARGB32_Premultiplied);
        cells.fill(Qt::transparent);
        QPainter painter(&cells);
        painter.setFont(m_pDC->font());
        painter.setPen(m_pDC->pen());
        DrawGlyph(&painter, 0, m_nAscent, width, glyph, QFontMetricsF(painter.font(), &cells).horizontalAdvance(glyph));
        painter.end();
        m_pDC->drawImage(QPointF(X(nColumn), top), cells);
        return;
    }
    DrawGlyph(m_pDC, X(nColumn), top + m_nAscent, width, glyph, Advance(ch, glyph));
}

qreal CRowPainter::Advance(char32_t ch, const QString& glyph) const
{
    // A character of the basic plane takes its glyph's advance from the font
    // directly, without laying the text out: a screen of double-byte text
    // has hundreds. A combining mark is laid out, as it has no advance alone.
    if (ch < 0x10000) {
        const QChar one{char16_t(ch)};
        if (one.category() != QChar::Mark_NonSpacing && one.category() != QChar::Mark_Enclosing
            && one.category() != QChar::Mark_SpacingCombining)
            return m_fm.horizontalAdvance(one);
    }
    return m_fm.horizontalAdvance(glyph);
}
