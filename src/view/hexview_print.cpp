#include "hexview.h"

#include "afxres.h"
#include "codepage.h"
#include "currenttime.h"
#include "filename.h"
#include "hexdoc.h"
#include "printinfo.h"
#include "rowpainter.h"
#include "textdecoder.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kLineColumns = 79;
const QColor kInk(0, 0, 0);
const QColor kPaper(255, 255, 255);

// The header and footer: left, then right ending in the line's last column.
// When the two do not fit, the line is cut at its last column instead.
QString FillLine(const CRowPainter& painter, const QString& left, const QString& right)
{
    const int nSpaces = std::max(0, kLineColumns - painter.CellsOf(left) - painter.CellsOf(right));
    QString line;
    int nCells = 0;
    for (const char32_t ch : (left + QString(nSpaces, QLatin1Char(' ')) + right).toUcs4()) {
        nCells += painter.CellsOf(ch);
        if (nCells > kLineColumns)
            break;
        line += QString::fromUcs4(&ch, 1);
    }
    return line;
}

// A cell holds the widest Latin character and half an ideograph, as on screen.
int PrintCellWidth(const QFontMetrics& fm)
{
    return std::max({1, fm.horizontalAdvance(QLatin1Char('0')), fm.horizontalAdvance(QLatin1Char('W')),
                     (fm.horizontalAdvance(QChar(0x4E2D)) + 1) / 2});
}

// The printer fonts ask for a character cell lfHeight pixels high, ascent and
// descent together, as a font mapper reads a positive height. Faces differ in
// how much they put above and below their em, so sizing the em instead would
// let the header's face overrun the blank line under it.
QFont CreatePrintFont(const CLogFont& logFont, const QPaintDevice* pDevice)
{
    QFont font = logFont.CreateFont();
    const QFontMetricsF fm(font, pDevice);
    const qreal cell = fm.ascent() + fm.descent();
    if (cell > 0 && logFont.lfHeight > 0)
        font.setPixelSize(std::max(1, int(font.pixelSize() * logFont.lfHeight / cell)));
    return font;
}

} // namespace

void CHexView::RegisterPrintCommands()
{
    OnCommand(ID_FILE_PRINT, [this] { OnFilePrint(); });
    OnCommand(ID_FILE_PRINT_DIRECT, [this] { OnFilePrintDirect(); });
    OnCommand(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
}

bool CHexView::OnPreparePrinting(CPrintInfo* pInfo)
{
    return DoPreparePrinting(pInfo);
}

// The printer fonts start from the screen font's description every time, so
// the body font follows the document's code page as the screen shows it now.
// The page holds a header line, a blank, the rows, a blank and the footer line.
void CHexView::OnBeginPrinting(QPainter* pDC, CPrintInfo* pInfo)
{
    CLogFont logFont = m_logFont;
    logFont.lfHeight = CPrintInfo::GetDeviceCaps(pDC, LOGPIXELSY) / 6;
    logFont.lfWidth = 0;
    m_fontPrint = CreatePrintFont(logFont, pDC->device());
    logFont.lfCharSet = CharsetFromCodePage(GetDefaultCodePage());
    m_fontPrintHeader = CreatePrintFont(logFont, pDC->device());

    const QFontMetrics fm(m_fontPrint, pDC->device());
    m_nPrintLineHeight = std::max(1, fm.lineSpacing());
    m_nPrintTextWidth = kLineColumns * PrintCellWidth(fm);
    m_nPageHeight = CPrintInfo::GetDeviceCaps(pDC, VERTRES);
    m_nPageWidth = CPrintInfo::GetDeviceCaps(pDC, HORZRES);
    m_nPrintLeft = m_nPageWidth > m_nPrintTextWidth ? (m_nPageWidth - m_nPrintTextWidth) / 2 : 0;

    // A page too low for a header, a footer and a row still prints one row.
    const int nLines = (m_nPageHeight - 5 * m_nPrintLineHeight) / m_nPrintLineHeight;
    m_nLinesPerPage = std::max(1, nLines);
    const std::uint64_t nPages = (std::uint64_t(m_nRows) + unsigned(m_nLinesPerPage) - 1) / unsigned(m_nLinesPerPage);
    pInfo->SetMaxPage(unsigned(std::max<std::uint64_t>(1, nPages)));
}

void CHexView::OnPrint(QPainter* pDC, CPrintInfo* pInfo)
{
    PrintHeader(pDC, pInfo->m_nCurPage);
    PrintRows(pDC, pInfo->m_nCurPage);
    PrintFooter(pDC, pInfo);
}

void CHexView::OnEndPrinting(QPainter*, CPrintInfo*)
{
    m_fontPrint = QFont();
}

// The file type, then the path ending in the last column. A path that does not
// fit beside the type, or a new document without one, gives way to the title.
void CHexView::PrintHeader(QPainter* pDC, unsigned)
{
    const CHexDoc* pDoc = GetDocument();
    pDC->save();
    const CTextDecoder decoder(pDoc->GetCodePage());
    CRowPainter painter(pDC, m_fontPrintHeader, decoder, m_nPrintLeft, m_nPrintTextWidth / kLineColumns,
                        m_nPrintLineHeight);
    painter.SetColours(kInk, kPaper);
    const QString type = pDoc->GetFileType();
    QString name = AfxDisplayFileName(pDoc->GetPathName());
    if (name.isEmpty() || painter.CellsOf(type) + painter.CellsOf(name) > kLineColumns)
        name = pDoc->GetTitle();
    painter.DrawText(0, 0, FillLine(painter, type, name));
    pDC->restore();
}

// A row that begins with the trail byte of a character printed whole at the end
// of the row above shows it as '.', on a new page too.
void CHexView::PrintRows(QPainter* pDC, unsigned nPage)
{
    const qint64 first = qint64(std::max(nPage, 1u) - 1) * m_nLinesPerPage;
    if (m_nRows == 0 || first >= m_nRows)
        return;
    const qint64 last = std::min(first + m_nLinesPerPage, m_nRows) - 1;

    pDC->save();
    const CTextDecoder decoder(GetDocument()->GetCodePage());
    const int nCharWidth = m_nPrintTextWidth / kLineColumns;
    // Printed rows have no offset column: the hex part starts at the block's left edge.
    CRowPainter painter(pDC, m_fontPrint, decoder, m_nPrintLeft - CRowFormat::kOffsetColumns * nCharWidth,
                        nCharWidth, m_nPrintLineHeight);
    painter.SetColours(kInk, kPaper);
    for (const FormattedRow& row : FormatRows(first, last))
        DrawFormattedRow(painter, row, row.nRow - first + 2);
    pDC->restore();
}

// The page number and count, then the date and time ending in the last column.
// The time is read for every page.
void CHexView::PrintFooter(QPainter* pDC, CPrintInfo* pInfo)
{
    pDC->save();
    const CTextDecoder decoder(GetDocument()->GetCodePage());
    CRowPainter painter(pDC, m_fontPrint, decoder, m_nPrintLeft, m_nPrintTextWidth / kLineColumns,
                        m_nPrintLineHeight);
    painter.SetColours(kInk, kPaper);
    const QString page = QStringLiteral("%1 / %2").arg(pInfo->m_nCurPage).arg(pInfo->GetMaxPage());
    const QString time = GetCurrentTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"));
    painter.DrawText(0, int(m_nLinesPerPage + 3) * m_nPrintLineHeight, FillLine(painter, page, time));
    pDC->restore();
}
