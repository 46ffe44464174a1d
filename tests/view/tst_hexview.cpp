#include "afxmsg.h"
#include "cmdui.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"
#include "resources.h"
#include "rowformat.h"
#include "rowpainter.h"
#include "settingsprofile.h"
#include "syslang.h"
#include "testsupport.h"
#include "textdecoder.h"

#include <QPainter>
#include <QScrollBar>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

// The hex view on a real, headless window: geometry, scrolling, the pixels of
// its rows and highlight, and the display code page with its fonts.
class TestHexView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scrollSizes_data();
    void scrollSizes();
    void blockIsCentredOrScrolls();
    void scrollBarActionsArriveAsScrollCodes_data();
    void scrollBarActionsArriveAsScrollCodes();
    void paintsOffsetHexAndText();
    void spilledCharacterIsDrawnWholeInSpillCells();
    void continuedRowPaintsTheSameWhenFirst();
    void highlightColours_data();
    void highlightColours();
    void highlightFollowsHorizontalScroll();
    void codePageCommandsEnabled_data();
    void codePageCommandsEnabled();
    void codePageCommandSwitchesFont();
    void codePageMenuChecksThePageShown_data();
    void codePageMenuChecksThePageShown();
    void rowsPaintAsTheDumpShows_data();
    void rowsPaintAsTheDumpShows();
    void chosenCodePageIsRememberedForTheFile();
    void utf8CharactersStayInTheirCells_data();
    void utf8CharactersStayInTheirCells();
    void missingFontFallsBack_data();
    void missingFontFallsBack();
    void cellsFitTheCodePagesFont_data();
    void cellsFitTheCodePagesFont();
    void zoom_data();
    void zoom();
    void darkPaletteKeepsContrast();

private:
    CHexView* Open(const QByteArray& bytes, const QSize& client, CHexView* pView = nullptr);
    void ResizeClient(const QSize& client);
    QImage Shot() const { return m_pView->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QRect Cells(int nColumn, int nLine, int nCount = 1) const;
    int Ink(const QImage& image, const QRect& rect) const;

    std::unique_ptr<CHexDoc> m_pDoc;
    std::unique_ptr<CHexView> m_pView;
    QStringList m_messages;
};

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kDarkGrey = qRgb(123, 123, 123);
const QRgb kLightGrey = qRgb(231, 231, 231);

// The contrast ratio of two colours, from 1 (the same) to 21 (black and white).
double Contrast(QRgb a, QRgb b)
{
    auto luminance = [](QRgb rgb) {
        auto linear = [](int c) {
            const double v = c / 255.0;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb));
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour of the cell's background (its top row of pixels, above the glyphs)
// and the colour of its ink farthest from that background.
struct CellColours {
    QRgb back;
    QRgb ink;
};

CellColours ColoursOf(const QImage& image, const QRect& cell)
{
    CellColours colours{image.pixel(cell.left() + 1, cell.top()), 0};
    double best = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (const double c = Contrast(image.pixel(x, y), colours.back); c > best) {
                best = c;
                colours.ink = image.pixel(x, y);
            }
    return colours;
}

// Records the scroll codes that reach the view, passing them on when asked to.
class CRecordingView : public CHexView {
public:
    void OnVScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar) override
    {
        m_codes.push_back(nSBCode);
        if (m_bPassOn)
            CHexView::OnVScroll(nSBCode, nPos, pScrollBar);
    }
    std::vector<unsigned> m_codes;
    bool m_bPassOn = true;
};

QByteArray Rows(int nRows)
{
    QByteArray bytes;
    for (int i = 0; i < nRows * 16; ++i)
        bytes.append(char('A' + i % 26));
    return bytes;
}

} // namespace

void TestHexView::initTestCase()
{
    AfxSetResourceLanguage(LANG_EN_US);
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return IDOK;
    });
}

void TestHexView::init()
{
    SetSystemLocaleOverride(QStringLiteral("en_US.UTF-8"));
    CLogFont::s_isCharSetInstalled = nullptr;
    m_messages.clear();
}

void TestHexView::cleanup()
{
    m_pView.reset();
    m_pDoc.reset();
}

CHexView* TestHexView::Open(const QByteArray& bytes, const QSize& client, CHexView* pView)
{
    m_pView.reset();
    m_pDoc = std::make_unique<CHexDoc>();
    m_pDoc->SetContents(bytes);

    m_pView.reset(pView ? pView : new CHexView);
    m_pView->AttachDocument(m_pDoc.get());
    m_pView->Create();
    m_pView->OnInitialUpdate();
    m_pView->show();
    ResizeClient(client);
    return m_pView.get();
}

void TestHexView::ResizeClient(const QSize& client)
{
    // The frame and any scroll bar take their share of the widget.
    for (int i = 0; i < 3; ++i) {
        const QSize chrome = m_pView->size() - m_pView->viewport()->size();
        m_pView->resize(client + chrome);
        QCoreApplication::processEvents();
    }
}

QRect TestHexView::Cells(int nColumn, int nLine, int nCount) const
{
    const int lh = int(m_pView->m_nLineHeight);
    const int cw = m_pView->m_nCharWidth;
    const int x = m_pView->m_nLeftMargin + nColumn * cw - m_pView->GetScrollPos(SB_HORZ);
    return QRect(x, nLine * lh + 1, nCount * cw, lh);
}

// Pixels of the rectangle that are not the background of a plain row.
int TestHexView::Ink(const QImage& image, const QRect& rect) const
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += image.pixel(x, y) != kWhite;
    }
    return count;
}

void TestHexView::scrollSizes_data()
{
    QTest::addColumn<double>("rowsHigh");
    QTest::addColumn<int>("pageRows");
    QTest::newRow("2.5 rows") << 2.5 << 2;
    QTest::newRow("exactly 3 rows") << 3.0 << 3;
    QTest::newRow("lower than a row") << 0.5 << 1;
}

void TestHexView::scrollSizes()
{
    QFETCH(double, rowsHigh);
    QFETCH(int, pageRows);
    Open(Rows(40), QSize(1000, 100));
    const int lh = int(m_pView->m_nLineHeight);
    ResizeClient(QSize(1000, int(rowsHigh * lh)));

    QCOMPARE(m_pView->m_nRows, 41u);
    QCOMPARE(m_pView->GetTotalSize(), QSize(79 * m_pView->m_nCharWidth, 41 * lh));
    QCOMPARE(m_pView->GetPageSize().height(), pageRows * lh);
    QCOMPARE(m_pView->GetLineSize(), QSize(m_pView->m_nCharWidth, lh));

    m_pView->OnVScroll(SB_PAGEDOWN, 0, nullptr);
    QCOMPARE(m_pView->GetScrollPos(SB_VERT), pageRows * lh);
    m_pView->OnVScroll(SB_LINEUP, 0, nullptr);
    QCOMPARE(m_pView->GetScrollPos(SB_VERT), (pageRows - 1) * lh);
    m_pView->OnVScroll(SB_BOTTOM, 0, nullptr);
    QCOMPARE(m_pView->GetScrollPos(SB_VERT), 41 * lh - m_pView->viewport()->height());
}

void TestHexView::blockIsCentredOrScrolls()
{
    Open(Rows(3), QSize(1000, 200));
    const int textWidth = m_pView->m_nTextWidth;
    QCOMPARE(textWidth, 79 * m_pView->m_nCharWidth);
    ResizeClient(QSize(textWidth + 101, 200));
    QCOMPARE(m_pView->m_nLeftMargin, 50);
    QVERIFY(!m_pView->horizontalScrollBar()->isVisible());

    ResizeClient(QSize(textWidth / 2, 200));
    QCOMPARE(m_pView->m_nLeftMargin, 0);
    QVERIFY(m_pView->horizontalScrollBar()->isVisible());
    QCOMPARE(m_pView->horizontalScrollBar()->maximum(), textWidth - m_pView->viewport()->width());
}

void TestHexView::scrollBarActionsArriveAsScrollCodes_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<unsigned>("code");
    QTest::addColumn<bool>("passOn");
    QTest::addColumn<int>("rowsMoved");   // -1: to the bottom
    QTest::newRow("line down") << int(QAbstractSlider::SliderSingleStepAdd) << unsigned(SB_LINEDOWN) << true << 1;
    QTest::newRow("page down") << int(QAbstractSlider::SliderPageStepAdd) << unsigned(SB_PAGEDOWN) << true << 4;
    QTest::newRow("to the bottom") << int(QAbstractSlider::SliderToMaximum) << unsigned(SB_BOTTOM) << true << -1;
    QTest::newRow("thumb drag") << int(QAbstractSlider::SliderMove) << unsigned(SB_THUMBTRACK) << true << 7;
    QTest::newRow("view keeps its place") << int(QAbstractSlider::SliderPageStepAdd) << unsigned(SB_PAGEDOWN) << false
                                          << 0;
}

void TestHexView::scrollBarActionsArriveAsScrollCodes()
{
    QFETCH(int, action);
    QFETCH(unsigned, code);
    QFETCH(bool, passOn);
    QFETCH(int, rowsMoved);
    auto* view = new CRecordingView;
    view->m_bPassOn = passOn;
    Open(Rows(40), QSize(1000, 100), view);
    const int lh = int(view->m_nLineHeight);
    ResizeClient(QSize(1000, 4 * lh + lh / 2));

    QScrollBar* bar = view->verticalScrollBar();
    if (action == QAbstractSlider::SliderMove)
        bar->setSliderPosition(7 * lh);   // what dragging the thumb does
    else
        bar->triggerAction(QAbstractSlider::SliderAction(action));
    QCOMPARE(view->m_codes, std::vector<unsigned>{code});
    QCOMPARE(view->GetScrollPos(SB_VERT), rowsMoved < 0 ? bar->maximum() : rowsMoved * lh);
    QCOMPARE(bar->value(), view->GetScrollPos(SB_VERT));
}

void TestHexView::paintsOffsetHexAndText()
{
    QByteArray bytes = Rows(2);
    bytes[16] = ' ';
    Open(bytes + "xyz", QSize(1000, 200));
    const QImage image = Shot();

    QVERIFY(Ink(image, Cells(0, 0, 6)) > 0);   // "000000"
    QCOMPARE(Ink(image, Cells(6, 0, 4)), 0);
    QVERIFY(Ink(image, Cells(10, 0, 2)) > 0);   // "41"
    QCOMPARE(Ink(image, Cells(12, 0)), 0);
    QCOMPARE(Ink(image, Cells(33, 0, 2)), 0);   // the double blank after the 8th pair
    QVERIFY(Ink(image, Cells(62, 0, 16)) > 0);
    QCOMPARE(Ink(image, Cells(62, 1)), 0);      // a space byte

    // The last row: pairs up to the end marker, a blank cell for the marker.
    QVERIFY(Ink(image, Cells(10, 2, 8)) > 0);    // "78 79 7A"
    QCOMPARE(Ink(image, Cells(18, 2, 40)), 0);
    QVERIFY(Ink(image, Cells(62, 2, 3)) > 0);
    QCOMPARE(Ink(image, Cells(65, 2, 14)), 0);
    QCOMPARE(Ink(image, Cells(0, 3, 79)), 0);   // past the last row

    // Outside the block is the window's background, inside the rows white.
    QCOMPARE(image.pixel(Cells(0, 0).left() - 1, 5), m_pView->viewport()->palette().color(QPalette::Base).rgb());
    QCOMPARE(image.pixel(Cells(7, 0).center()), kWhite);
}

void TestHexView::spilledCharacterIsDrawnWholeInSpillCells()
{
    // The lead byte ends row 0; the character goes into columns 77 and 78 and the
    // trail byte's own cell in row 1 shows '.'.
    QByteArray bytes = QByteArray(15, ' ') + "\xC4\xE3" + QByteArray(14, ' ') + QByteArray(16, ' ');
    Open(bytes, QSize(1000, 200));
    QCOMPARE(m_pDoc->GetCodePage(), 936);
    const QImage image = Shot();
    QVERIFY(Ink(image, Cells(77, 0, 2)) > 20);
    QCOMPARE(Ink(image, Cells(62, 0, 15)), 0);
    QVERIFY(Ink(image, Cells(62, 1)) > 0);
    QCOMPARE(Ink(image, Cells(63, 1, 16)), 0);
    QCOMPARE(Ink(image, Cells(77, 2, 2)), 0);
}

void TestHexView::continuedRowPaintsTheSameWhenFirst()
{
    // Row 1 begins with the trail byte of the character spilled from row 0; painted
    // as the window's first row it must still show '.' for it.
    QByteArray bytes = QByteArray(15, 'a') + "\xB0\xA1" + "bcdefghijklmnopqrstuvwxyz" + Rows(3);
    Open(bytes, QSize(1000, 100));
    const int lh = int(m_pView->m_nLineHeight);
    ResizeClient(QSize(1000, 2 * lh));
    const QImage whole = Shot();
    // One pixel more than a row: row 0's last pixel line is gone, so row 1 is the
    // first row the paint draws.
    m_pView->ScrollToPosition(QPoint(0, lh + 1));
    const QImage scrolled = Shot();
    const QRect row1(0, lh + 1, whole.width(), lh - 1);
    QCOMPARE(scrolled.copy(row1.translated(0, -lh - 1)), whole.copy(row1));
}

void TestHexView::highlightColours_data()
{
    QTest::addColumn<bool>("hexColumn");
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<QRgb>("hexBack");
    QTest::addColumn<QRgb>("textBack");
    QTest::newRow("caret in the hex column") << true << 4 << kDarkGrey << kLightGrey;
    QTest::newRow("caret in the text column") << false << 4 << kLightGrey << kDarkGrey;
    QTest::newRow("empty selection") << true << 0 << kWhite << kWhite;
}

void TestHexView::highlightColours()
{
    QFETCH(bool, hexColumn);
    QFETCH(int, selEnd);
    QFETCH(QRgb, hexBack);
    QFETCH(QRgb, textBack);
    Open(Rows(4), QSize(1000, 200));
    const int lh = int(m_pView->m_nLineHeight);
    // Bytes 0-3 of row 1, and a hex region that reaches into the offset column.
    const QRect hex = Cells(9, 1, 13).adjusted(0, -1, 0, -1);
    const QRect text = Cells(62, 1, 4).adjusted(0, -1, 0, -1);
    m_pView->SelectRange(0, std::uint32_t(selEnd));
    m_pView->m_rgnHex = QRegion(hex);
    m_pView->m_rgnText = QRegion(text);
    m_pView->m_bHexColumn = hexColumn;
    m_pView->InvalidateRgn(nullptr);
    m_pView->UpdateWindow();
    const QImage image = Shot();

    const int y = lh + 3;   // above the glyphs
    QCOMPARE(image.pixel(Cells(10, 1).left() + 1, y), hexBack);
    QCOMPARE(image.pixel(Cells(20, 1).left() + 1, y), hexBack);
    QCOMPARE(image.pixel(Cells(22, 1).left() + 1, y), kWhite);
    QCOMPARE(image.pixel(Cells(9, 1).left() + 1, y), kWhite);   // never the offset column
    QCOMPARE(image.pixel(Cells(62, 1).left() + 1, y), textBack);
    QCOMPARE(image.pixel(Cells(66, 1).left() + 1, y), kWhite);
    QCOMPARE(image.pixel(Cells(62, 2).left() + 1, y + lh), kWhite);

    // A paint of only part of the window keeps the highlight in that part.
    m_pView->InvalidateRect(Cells(60, 1, 4));
    m_pView->UpdateWindow();
    QCOMPARE(Shot(), image);
}

void TestHexView::highlightFollowsHorizontalScroll()
{
    Open(Rows(4), QSize(300, 200));
    m_pView->ScrollToPosition(QPoint(m_pView->m_nCharWidth * 30, 0));
    QVERIFY(m_pView->GetScrollPos(SB_HORZ) > 0);
    // The region is where the cells are on screen: scrolled columns 40-45.
    m_pView->SelectRange(0, 2);
    m_pView->m_rgnHex = QRegion(Cells(40, 0, 6).adjusted(0, -1, 0, -1));
    m_pView->m_rgnText = QRegion();
    m_pView->InvalidateRgn(&m_pView->m_rgnHex);
    m_pView->UpdateWindow();
    const QImage image = Shot();
    QCOMPARE(image.pixel(Cells(40, 0).left() + 1, 3), kDarkGrey);
    QCOMPARE(image.pixel(Cells(46, 0).left() + 1, 3), kWhite);
}

void TestHexView::codePageCommandsEnabled_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<bool>("gb");
    QTest::addColumn<bool>("big5");
    QTest::addColumn<bool>("sjis");
    QTest::newRow("GB shown") << 936 << false << true << true;
    QTest::newRow("BIG5 shown") << 950 << true << false << true;
    QTest::newRow("Shift JIS shown") << 932 << true << true << false;
    QTest::newRow("HZ text detected") << 937 << true << true << true;
    QTest::newRow("system default") << 1252 << true << true << true;
}

void TestHexView::codePageCommandsEnabled()
{
    QFETCH(int, codePage);
    QFETCH(bool, gb);
    QFETCH(bool, big5);
    QFETCH(bool, sjis);
    Open(Rows(1), QSize(800, 200));
    m_pDoc->SetCodePage(codePage);
    const struct {
        unsigned nID;
        bool bEnabled;
    } commands[] = {{ID_CODEPAGE_GB, gb}, {ID_CODEPAGE_BIG5, big5}, {ID_CODEPAGE_SJIS, sjis}};
    for (const auto& command : commands) {
        CCmdUI cmdUI(command.nID);
        QVERIFY(m_pView->OnCmdMsg(command.nID, &cmdUI));
        QCOMPARE(cmdUI.IsEnabled(), command.bEnabled);
    }
}

void TestHexView::codePageCommandSwitchesFont()
{
    // "~{" is detected as HZ text: shown in single bytes, drawn with the GB font.
    Open(QByteArray("~{\xC4\xE3"), QSize(800, 200));
    QCOMPARE(m_pDoc->GetCodePage(), 937);
    QCOMPARE(m_pView->m_logFont.lfCharSet, GB2312_CHARSET);
    const QImage before = Shot();

    QVERIFY(AfxExecuteCommand(m_pView.get(), ID_CODEPAGE_SJIS));
    QCOMPARE(m_pDoc->GetCodePage(), 932);
    QCOMPARE(m_pView->m_logFont.lfCharSet, SHIFTJIS_CHARSET);
    QCOMPARE(m_pView->m_logFont.lfHeight, 16);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(Shot() != before);   // 0xC4 reads as katakana now
    QVERIFY(!AfxExecuteCommand(m_pView.get(), ID_CODEPAGE_SJIS));
}

void TestHexView::codePageMenuChecksThePageShown_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<unsigned>("checked");   // 0: none
    QTest::newRow("GB") << 936 << unsigned(ID_VIEW_CODEPAGE_GB);
    QTest::newRow("BIG5") << 950 << unsigned(ID_VIEW_CODEPAGE_BIG5);
    QTest::newRow("Shift JIS") << 932 << unsigned(ID_VIEW_CODEPAGE_SJIS);
    QTest::newRow("UTF-8") << 65001 << unsigned(ID_VIEW_CODEPAGE_UTF8);
    QTest::newRow("Korean") << 949 << unsigned(ID_VIEW_CODEPAGE_KOREAN);
    QTest::newRow("Western") << 1252 << unsigned(ID_VIEW_CODEPAGE_WESTERN);
    QTest::newRow("HZ text detected") << 937 << 0u;
}

void TestHexView::codePageMenuChecksThePageShown()
{
    QFETCH(int, codePage);
    QFETCH(unsigned, checked);
    Open(Rows(1), QSize(800, 200));
    m_pDoc->SetCodePage(codePage);
    for (unsigned nID = ID_VIEW_CODEPAGE_GB; nID <= ID_VIEW_CODEPAGE_WESTERN; ++nID) {
        CCmdUI cmdUI(nID);
        QVERIFY(m_pView->OnCmdMsg(nID, &cmdUI));
        QCOMPARE(cmdUI.GetCheck() != 0, nID == checked);
        QCOMPARE(cmdUI.IsEnabled(), nID != checked);
    }
    // Choosing an item shows its code page, which the toolbar's buttons follow.
    const unsigned nOther = checked == ID_VIEW_CODEPAGE_UTF8 ? ID_VIEW_CODEPAGE_SJIS : ID_VIEW_CODEPAGE_UTF8;
    QVERIFY(AfxExecuteCommand(m_pView.get(), nOther));
    QCOMPARE(m_pDoc->GetCodePage(), nOther == ID_VIEW_CODEPAGE_UTF8 ? 65001 : 932);
    CCmdUI sjisButton(ID_CODEPAGE_SJIS);
    QVERIFY(m_pView->OnCmdMsg(ID_CODEPAGE_SJIS, &sjisButton));
    QCOMPARE(sjisButton.IsEnabled(), m_pDoc->GetCodePage() != 932);
    QCOMPARE(sjisButton.GetCheck(), 0);
}

void TestHexView::rowsPaintAsTheDumpShows_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<unsigned>("command");
    QTest::addColumn<int>("codePage");
    QTest::newRow("UTF-8") << QString("中文ABC日本語のテキスト한국어").toUtf8() + "\x01\xE4\xB8\xFF"
            + QString("字").toUtf8() + QByteArray(14, 'x') + QString("繁體").toUtf8()
                           << unsigned(ID_VIEW_CODEPAGE_UTF8) << 65001;
    // Hangul pairs, one with a letter as its trail byte and one across a row end.
    QTest::newRow("Korean") << QByteArray("\xB0\xA1\x81\x41 \xC6\x52z\xB0") + QByteArray(6, 'k') + "\xC7\xD1\xB1\xB9!"
                            << unsigned(ID_VIEW_CODEPAGE_KOREAN) << 949;
    QByteArray high;
    for (int b = 0x80; b < 0x100; ++b)
        high += char(b);
    QTest::newRow("Western") << high << unsigned(ID_VIEW_CODEPAGE_WESTERN) << 1252;
}

// The text column painted in the window and the same rows as --dump writes them,
// drawn cell by cell, give the same pixels.
void TestHexView::rowsPaintAsTheDumpShows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(unsigned, command);
    QFETCH(int, codePage);
    Open(bytes, QSize(1000, 200));
    QVERIFY(m_pDoc->GetCodePage() != codePage);
    AfxExecuteCommand(m_pView.get(), command);
    QCOMPARE(m_pDoc->GetCodePage(), codePage);
    const QImage painted = Shot();

    QImage dumped(painted.size(), QImage::Format_RGB32);
    dumped.fill(kWhite);
    QPainter dc(&dumped);
    const CTextDecoder decoder(codePage);
    CRowPainter painter(&dc, m_pView->m_fontScreen, decoder, m_pView->m_nLeftMargin, m_pView->m_nCharWidth,
                        int(m_pView->m_nLineHeight));
    painter.SetColours(Qt::black, Qt::white);
    const int nRows = int((m_pDoc->GetSize() + 15) / 16);
    bool bContinued = false;
    for (int r = 0; r < nRows; ++r) {
        QByteArray strRow;
        bContinued = CRowFormat::FormatRow(*m_pDoc, std::uint32_t(r), strRow, bContinued);
        char line[3 * CRowFormat::kMaxTextLength + 16];
        const QByteArray text = strRow.mid(CRowFormat::kHexPartLength);
        const char* end = decoder.ToUtf8(text.constData(), int(text.size()), line);
        painter.DrawText(CRowFormat::kTextColumn, int(painter.Top(std::uint32_t(r))), QString::fromUtf8(line, end - line));
    }
    dc.end();
    const QRect textColumn = Cells(62, 0, 17).united(Cells(62, nRows - 1, 17));
    QVERIFY(Ink(painted, textColumn) > 200);
    QCOMPARE(painted.copy(textColumn), dumped.copy(textColumn));
}

// The code page the user chose for a file is shown at its next open, whatever
// the path is spelled; Guess Again brings back the guess, also for later opens.
void TestHexView::chosenCodePageIsRememberedForTheFile()
{
    CSettingsProfile profile;
    profile.SetRegistryKey(QStringLiteral("Vantorel"), QStringLiteral("Zorbel"));
    profile.RemoveProfileValue(QStringLiteral("FileCodePages"), QString());
    const QString path = TestSupport::writeScratchFile("chosen.bin", QByteArray("\xB0\xA1\xC7\xD1 text"));
    const QString otherPath = TestSupport::writeScratchFile("other.bin", QByteArray("\xB0\xA1"));
    const auto open = [this, &profile](const QString& file) {
        m_pView.reset();
        m_pDoc = std::make_unique<CHexDoc>();
        QVERIFY(m_pDoc->OnOpenDocument(file));
        m_pDoc->SetPathName(file);
        m_pView = std::make_unique<CHexView>();
        m_pView->SetServices({&profile, {}, {}});
        m_pView->AttachDocument(m_pDoc.get());
        m_pView->Create();
        m_pView->OnInitialUpdate();
    };
    open(path);
    QCOMPARE(m_pDoc->GetCodePage(), 936);
    QVERIFY(AfxExecuteCommand(m_pView.get(), ID_VIEW_CODEPAGE_KOREAN));
    open(otherPath);
    QVERIFY(AfxExecuteCommand(m_pView.get(), ID_CODEPAGE_UTF8));

    const QFileInfo info(path);
    open(info.absolutePath() + "/./../" + QFileInfo(info.absolutePath()).fileName() + "/chosen.bin");
    QCOMPARE(m_pDoc->GetCodePage(), 949);
    open(otherPath);
    QCOMPARE(m_pDoc->GetCodePage(), 65001);

    open(path);
    QVERIFY(AfxExecuteCommand(m_pView.get(), ID_VIEW_CODEPAGE_GUESS));
    QCOMPARE(m_pDoc->GetCodePage(), 936);
    open(path);
    QCOMPARE(m_pDoc->GetCodePage(), 936);
    open(otherPath);
    QCOMPARE(m_pDoc->GetCodePage(), 65001);
}

// Characters the cell font lacks (Hangul, emoji, ideographs past the BMP) come
// from other fonts and still keep to their cells: nothing is drawn in the blank
// cells of their other bytes nor in the rows above and below.
void TestHexView::utf8CharactersStayInTheirCells_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cells");
    QTest::newRow("Hangul") << QString("한") << 2;
    QTest::newRow("emoji") << QString("😀") << 2;
    QTest::newRow("colour emoji") << QString("🚀") << 2;
    QTest::newRow("ideograph past the BMP") << QString("𠀋") << 2;
    QTest::newRow("Cyrillic") << QString("Ж") << 1;
    QTest::newRow("euro sign") << QString("€") << 1;
}

void TestHexView::utf8CharactersStayInTheirCells()
{
    QFETCH(QString, text);
    QFETCH(int, cells);
    const QByteArray utf8 = text.toUtf8();
    Open(QByteArray(16, ' ') + QByteArray(4, ' ') + utf8 + QByteArray(28 - utf8.size(), ' '), QSize(1000, 200));
    QCOMPARE(m_pDoc->GetCodePage(), 65001);
    const QImage image = Shot();
    QVERIFY(Ink(image, Cells(66, 1, cells)) > 0);
    QCOMPARE(Ink(image, Cells(66 + cells, 1, 12 - cells)), 0);
    QCOMPARE(Ink(image, Cells(62, 1, 4)), 0);
    QCOMPARE(Ink(image, Cells(62, 0, 17)), 0);
    QCOMPARE(Ink(image, Cells(62, 2, 17)), 0);
}

void TestHexView::missingFontFallsBack_data()
{
    QTest::addColumn<unsigned>("command");
    QTest::addColumn<int>("missingCharSet");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<unsigned>("message");
    QTest::addColumn<int>("fallback");
    QTest::newRow("BIG5 on a simplified Chinese system")
        << unsigned(ID_CODEPAGE_BIG5) << int(CHINESEBIG5_CHARSET) << "zh_CN.UTF-8" << unsigned(IDS_NOFONT_BIG5) << 936;
    QTest::newRow("GB on a Japanese system")
        << unsigned(ID_CODEPAGE_GB) << int(GB2312_CHARSET) << "ja_JP.UTF-8" << unsigned(IDS_NOFONT_GB) << 932;
    QTest::newRow("Shift JIS on a traditional Chinese system")
        << unsigned(ID_CODEPAGE_SJIS) << int(SHIFTJIS_CHARSET) << "zh_TW.UTF-8" << unsigned(IDS_NOFONT_SJIS) << 950;
}

void TestHexView::missingFontFallsBack()
{
    QFETCH(unsigned, command);
    QFETCH(int, missingCharSet);
    QFETCH(QString, locale);
    QFETCH(unsigned, message);
    QFETCH(int, fallback);
    SetSystemLocaleOverride(locale);
    CLogFont::s_isCharSetInstalled = [missingCharSet](std::uint8_t nCharSet) { return nCharSet != missingCharSet; };
    Open(Rows(1), QSize(800, 200));
    QVERIFY(m_messages.isEmpty());

    QVERIFY(AfxExecuteCommand(m_pView.get(), command));
    QCOMPARE(m_messages, QStringList{AfxLoadString(message)});
    QCOMPARE(m_pDoc->GetCodePage(), fallback);
    QCOMPARE(m_pView->m_logFont.lfCharSet, CHexView::CharsetFromCodePage(fallback));
    CCmdUI cmdUI(command);
    m_pView->OnCmdMsg(command, &cmdUI);
    QVERIFY(cmdUI.IsEnabled());
}

void TestHexView::cellsFitTheCodePagesFont_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("codePage");

    QTest::newRow("GB") << QByteArray("\xd6\xd0\xce\xc4\xb2\xe2\xca\xd4") << 936;
    QTest::newRow("BIG5") << QByteArray("\xb0\x41\xa4\xa4\xa4\xe5") << 950;
    QTest::newRow("Shift JIS") << QByteArray("\x93\xfa\x96\x7b\x8c\xea\x82\xc5") << 932;
}

// Under the C locale the window starts with the system's fixed font; a file in a
// double-byte code page then takes that code page's font, whose half-width
// glyphs set the cell, so its ideographs touch and its hex digits stay close.
void TestHexView::cellsFitTheCodePagesFont()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, codePage);
    SetSystemLocaleOverride(QStringLiteral("C"));

    Open(bytes, QSize(1000, 200));
    QCOMPARE(m_pDoc->GetCodePage(), codePage);
    const QFontMetrics fm(m_pView->m_fontScreen);
    QCOMPARE(m_pView->m_nCharWidth, fm.horizontalAdvance(QLatin1Char('0')));
    QCOMPARE(m_pView->m_nTextWidth, 79 * m_pView->m_nCharWidth);
    // The ideograph fills its two cells: no blank columns between characters.
    const QImage image = Shot();
    const QRect pair = Cells(62, 0, 4).adjusted(0, 0, 0, -1);
    int firstInk = pair.right();
    int lastInk = pair.left();
    for (int x = pair.left(); x <= pair.right(); ++x)
        for (int y = pair.top(); y <= pair.bottom(); ++y)
            if (image.pixel(x, y) != kWhite) {
                firstInk = std::min(firstInk, x);
                lastInk = std::max(lastInk, x);
            }
    QVERIFY2(firstInk - pair.left() <= 2 && pair.right() - lastInk <= 2,
             qPrintable(QStringLiteral("ink %1-%2 in cells %3-%4").arg(firstInk).arg(lastInk).arg(pair.left()).arg(pair.right())));
    // Every code page's rows are as high: the view does not jump when it changes.
    const std::uint32_t nLineHeight = m_pView->m_nLineHeight;
    for (const unsigned nID : {ID_VIEW_CODEPAGE_GB, ID_VIEW_CODEPAGE_BIG5, ID_VIEW_CODEPAGE_SJIS, ID_VIEW_CODEPAGE_UTF8,
                               ID_VIEW_CODEPAGE_KOREAN, ID_VIEW_CODEPAGE_WESTERN}) {
        AfxExecuteCommand(m_pView.get(), nID);
        QCOMPARE(m_pView->m_nLineHeight, nLineHeight);
    }
}

void TestHexView::zoom_data()
{
    QTest::addColumn<QList<unsigned>>("commands");
    QTest::addColumn<int>("wheel");   // angle turned with Ctrl held, after the commands
    QTest::addColumn<int>("height");

    QTest::newRow("zoom in") << QList<unsigned>{ID_VIEW_ZOOM_IN} << 0 << 18;
    QTest::newRow("zoom out twice") << QList<unsigned>{ID_VIEW_ZOOM_OUT, ID_VIEW_ZOOM_OUT} << 0 << 12;
    QTest::newRow("normal size after zooming in")
        << QList<unsigned>{ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_RESET} << 0 << 16;
    QTest::newRow("two wheel notches up") << QList<unsigned>() << 240 << 20;
    QTest::newRow("half a notch does nothing") << QList<unsigned>() << 60 << 16;
    QTest::newRow("a notch down") << QList<unsigned>() << -120 << 14;
    QList<unsigned> many(40, ID_VIEW_ZOOM_OUT);
    QTest::newRow("never below the smallest") << many << 0 << int(CHexView::kMinFontHeight);
    many.fill(ID_VIEW_ZOOM_IN);
    QTest::newRow("never above the largest") << many << 0 << int(CHexView::kMaxFontHeight);
}

// The cells, the block, the caret and the highlight scale with the font.
void TestHexView::zoom()
{
    QFETCH(QList<unsigned>, commands);
    QFETCH(int, wheel);
    QFETCH(int, height);

    // Wide enough for the block at the largest size.
    Open(Rows(40), QSize(3300, 1200));
    QCOMPARE(m_pView->GetFontHeight(), 16);
    QTest::keyClick(m_pView->viewport(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(m_pView->viewport(), Qt::Key_Right, Qt::ShiftModifier);
    QVERIFY(m_pView->HasSelection());
    // Where caret and highlight stand, in cells.
    auto column = [this](int x) { return (x - m_pView->m_nLeftMargin) / m_pView->m_nCharWidth; };
    const int caretColumn = column(m_pView->GetCaretRect().x());
    const QRect hex = m_pView->m_rgnHex.boundingRect();
    const int hexColumn = column(hex.left());
    const int hexCells = hex.width() / m_pView->m_nCharWidth;
    for (unsigned nID : commands)
        AfxExecuteCommand(m_pView.get(), nID);
    if (wheel) {
        const QPointF at(50, 50);
        QWheelEvent event(at, m_pView->viewport()->mapToGlobal(at), QPoint(), QPoint(0, wheel), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_pView->viewport(), &event);
        QCOMPARE(m_pView->GetScrollPos(SB_VERT), 0);
    }
    QCOMPARE(m_pView->GetFontHeight(), height);
    QCOMPARE(m_pView->m_fontScreen.pixelSize(), height);
    const QFontMetrics fm(m_pView->m_fontScreen);
    QCOMPARE(m_pView->m_nCharWidth, fm.horizontalAdvance(QLatin1Char('0')));
    // A row is at least as high as the font's lines; the fonts of the other
    // code pages may make it higher.
    QVERIFY(int(m_pView->m_nLineHeight) >= fm.lineSpacing());
    QCOMPARE(m_pView->m_nTextWidth, 79 * m_pView->m_nCharWidth);
    QCOMPARE(m_pView->GetTotalSize(), QSize(79 * m_pView->m_nCharWidth, 41 * int(m_pView->m_nLineHeight)));
    QCOMPARE(m_pView->GetCaretRect().topLeft(), m_pView->CellToClient(caretColumn, 0));
    QCOMPARE(m_pView->GetCaretRect().height(), int(m_pView->m_nLineHeight));
    QCOMPARE(m_pView->m_rgnHex.boundingRect(), Cells(hexColumn, 0, hexCells));
    // Much of the first byte's cells is the highlight's colour, the rest its glyphs.
    const QImage image = Shot();
    auto share = [&image](const QRect& cells, QRgb colour) {
        int n = 0;
        for (int y = cells.top(); y <= cells.bottom(); ++y)
            for (int x = cells.left(); x <= cells.right(); ++x)
                n += image.pixel(x, y) == colour;
        return double(n) / (cells.width() * cells.height());
    };
    QVERIFY(share(Cells(10, 0, 2), kDarkGrey) > 0.2);
    QVERIFY(share(Cells(62, 0, 1), kLightGrey) > 0.2);
}

// Under a dark palette the rows are the palette's text on its base, and text,
// hex digits, both highlights and the caret stand out from what is behind them.
void TestHexView::darkPaletteKeepsContrast()
{
    Open(Rows(4), QSize(1000, 200));
    QPalette dark = m_pView->palette();
    dark.setColor(QPalette::Base, QColor(30, 30, 34));
    dark.setColor(QPalette::Text, QColor(220, 220, 210));
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(220, 220, 210));
    m_pView->setPalette(dark);
    m_pView->activateWindow();
    m_pView->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_pView.get()));

    // The caret, on the first row's first hex digit, above its glyph.
    m_pView->InvalidateRgn(nullptr);
    m_pView->UpdateWindow();
    const QRect caret = m_pView->GetCaretRect();
    QVERIFY(!caret.isEmpty());
    QVERIFY(Contrast(Shot().pixel(caret.left(), caret.top()), dark.color(QPalette::Base).rgb()) >= 4.5);

    // The first two bytes of row 1 highlighted, the caret in the hex column.
    m_pView->SelectRange(16, 18);
    m_pView->m_rgnHex = QRegion(Cells(10, 1, 5));
    m_pView->m_rgnText = QRegion(Cells(62, 1, 2));
    m_pView->m_bHexColumn = true;
    m_pView->InvalidateRgn(nullptr);
    m_pView->UpdateWindow();
    const QImage image = Shot();

    const struct {
        const char* what;
        QRect cell;
    } cells[] = {
        {"offset", Cells(0, 0, 6)},
        {"hex", Cells(10, 0, 2)},
        {"text", Cells(62, 0, 4)},
        {"caret column highlight", Cells(10, 1, 2)},
        {"other column highlight", Cells(62, 1, 1)},
    };
    for (const auto& cell : cells) {
        const CellColours colours = ColoursOf(image, cell.cell.adjusted(0, 0, 0, -1));
        QVERIFY2(Contrast(colours.ink, colours.back) >= 4.5,
                 qPrintable(QStringLiteral("%1: %2 on %3")
                                .arg(cell.what)
                                .arg(colours.ink, 0, 16)
                                .arg(colours.back, 0, 16)));
    }
    QCOMPARE(image.pixel(Cells(13, 0).left() + 1, Cells(13, 0).top()), dark.color(QPalette::Base).rgb());
    QCOMPARE(image.pixel(Cells(30, 3).left() + 1, Cells(30, 3).top() + 2), dark.color(QPalette::Base).rgb());
    // The two highlights differ from each other and from the plain rows.
    const QRgb caretColumn = image.pixel(Cells(10, 1).left() + 1, Cells(10, 1).top());
    const QRgb otherColumn = image.pixel(Cells(62, 1).left() + 1, Cells(62, 1).top());
    QVERIFY(Contrast(caretColumn, otherColumn) >= 1.5);
    QVERIFY(Contrast(otherColumn, dark.color(QPalette::Base).rgb()) >= 1.2);
}

QTEST_MAIN(TestHexView)
#include "tst_hexview.moc"
