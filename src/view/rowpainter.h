#pragma once

#include "rowformat.h"

#include <QColor>
#include <QFontMetricsF>
#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

struct CTableCell;
class CTextDecoder;
class QByteArray;
class QFont;
class QPainter;

// Draws text in the character cells of the 79-column block, for the screen and
// for printed pages alike: the background of the cells first, then each glyph
// centred in its one or two cells, squeezed when the font draws it wider. The
// cells hold whatever the font's own advances are, which keeps the grid when a
// double-byte character comes from a wider fallback face.
//
// Row nRow's text is drawn with its top at nRow * nLineHeight + 1; column c
// starts at nLeftMargin + c * nCharWidth. The painter's font and pen are set
// here; the caller keeps the painter alive while this object is used.
class CRowPainter {
public:
    CRowPainter(QPainter* pDC, const QFont& font, const CTextDecoder& decoder, int nLeftMargin, int nCharWidth,
                int nLineHeight);

    void SetColours(const QColor& text, const QColor& back);

    // In 64 bits: the rows of a tall document lie past what an int holds.
    qint64 Top(qint64 nRow) const { return qint64(nRow) * m_nLineHeight + 1; }

    // The offset column's width in columns (CRowFormat::OffsetColumns): past
    // the usual ten, the columns after it move right by as many.
    void SetOffsetColumns(int nColumns);
    // The offset column of row nRow.
    void DrawOffset(qint64 nRow);
    // Columns 10-78 of row nRow as CRowFormat::FormatRow builds them.
    void DrawRow(qint64 nRow, const QByteArray& strRow);
    // The same with the text column read through a table: the hex part of
    // strRow, then each cell's text over its cells (see CTableRow).
    void DrawTableRow(qint64 nRow, const QByteArray& strRow, const std::vector<CTableCell>& cells);
    // A line of Unicode text from nColumn, its top at y = top, without background:
    // a character the font draws wider than one and a half cells takes two.
    void DrawText(int nColumn, int top, const QString& text);

    // How many cells a character or a string takes in DrawText.
    int CellsOf(char32_t ch) const;
    int CellsOf(const QString& text) const;

private:
    int X(int nColumn) const
    {
        return m_nLeftMargin + (nColumn + (nColumn >= CRowFormat::kOffsetColumns ? m_nOffsetExtra : 0)) * m_nCharWidth;
    }
    void FillCells(int nColumn, int nCells, qreal top);
    void DrawAscii(int nColumn, qreal top, const char* pszText, int nLength);
    void DrawChar(int nColumn, qreal top, int nCells, char32_t ch);
    void DrawCellText(int nColumn, qreal top, int nCells, const QString& text);
    bool IsColourGlyph(char32_t ch);
    qreal Advance(char32_t ch, const QString& glyph) const;

    QPainter* m_pDC;
    QFontMetricsF m_fm;
    const CTextDecoder& m_decoder;
    int m_nLeftMargin;
    int m_nCharWidth;
    int m_nLineHeight;
    int m_nOffsetExtra = 0;
    qreal m_nAscent;
    bool m_bWholeRuns;
    bool m_bOutlinesOnly;   // a PDF: colour glyphs go as pictures
    QHash<char32_t, bool> m_colourGlyphs;
    QColor m_back;
};
