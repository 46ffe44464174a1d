#include "afxmsg.h"
#include "afxres.h"
#include "cmdtarget.h"
#include "codepage.h"
#include "currenttime.h"
#include "hexdoc.h"
#include "hexview.h"
#include "logfont.h"
#include "settingsprofile.h"
#include "testsupport.h"
#include "winapp.h"

#include <QAction>
#include <QPaintEngine>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

namespace {

struct DrawnText {
    int nPage;
    QPointF pos;   // baseline, in device pixels
    QString text;
    QFont font;
};

// Records the text drawn on it instead of printing; the page loop runs on it as
// on any printer. Its page is nWidth x nHeight pixels at nDpi.
class CRecordingEngine : public QPaintEngine {
public:
    explicit CRecordingEngine(QList<DrawnText>& texts, const int& nPage)
        : QPaintEngine(QPaintEngine::AllFeatures), m_texts(texts), m_nPage(nPage)
    {
    }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override
    {
        if (state.state() & DirtyTransform)
            m_transform = state.transform();
        if (state.state() & DirtyFont)
            m_font = state.font();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawRects(const QRectF*, int) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        m_texts.append({m_nPage, m_transform.map(p), item.text(), item.font()});
    }
    Type type() const override { return QPaintEngine::User; }

private:
    QList<DrawnText>& m_texts;
    const int& m_nPage;
    QTransform m_transform;
    QFont m_font;
};

class CRecordingPrinter : public QPrinter {
public:
    CRecordingPrinter(int nWidth, int nHeight, int nDpi)
        : m_nWidth(nWidth), m_nHeight(nHeight), m_nDpi(nDpi), m_engine(m_texts, m_nPage)
    {
    }
    QPaintEngine* paintEngine() const override { return const_cast<CRecordingEngine*>(&m_engine); }
    bool newPage() override
    {
        ++m_nPage;
        return true;
    }

    int Pages() const { return m_nPage; }
    const QList<DrawnText>& Texts() const { return m_texts; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_nWidth;
        case PdmHeight:
            return m_nHeight;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return m_nDpi;
        case PdmWidthMM:
            return int(m_nWidth * 25.4 / m_nDpi);
        case PdmHeightMM:
            return int(m_nHeight * 25.4 / m_nDpi);
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPrinter::metric(metric);
        }
    }

private:
    int m_nWidth;
    int m_nHeight;
    int m_nDpi;
    int m_nPage = 1;
    QList<DrawnText> m_texts;
    CRecordingEngine m_engine;
};

// A printed page as lines of text, rebuilt from where each glyph was drawn: line
// n of the page holds what was drawn with its top in [n * lh, (n + 1) * lh),
// every character in the column its x falls in. An ideograph takes two columns.
struct Page {
    std::map<int, QString> lines;
    std::map<int, QStringList> families;

    QString Line(int n) const
    {
        const auto found = lines.find(n);
        return found == lines.end() ? QString() : found->second;
    }
};

bool IsWide(char32_t ch)
{
    return ch >= 0x1100;
}

QList<Page> ReadPages(const CRecordingPrinter& printer, const CHexView& view)
{
    const int lh = view.m_nPrintLineHeight;
    const double cw = view.m_nPrintTextWidth / 79.0;
    QList<Page> pages(printer.Pages());
    std::map<std::pair<int, int>, std::map<int, char32_t>> cells;
    for (const DrawnText& drawn : printer.Texts()) {
        const int nLine = int(std::floor((drawn.pos.y() - QFontMetricsF(drawn.font, &printer).ascent()) / lh + 0.01));
        int nColumn = int(std::floor((drawn.pos.x() - view.m_nPrintLeft) / cw + 0.01));
        auto& line = cells[{drawn.nPage, nLine}];
        for (const char32_t ch : drawn.text.toUcs4()) {
            line[nColumn] = ch;
            nColumn += IsWide(ch) ? 2 : 1;
        }
        pages[drawn.nPage - 1].families[nLine].append(drawn.font.family());
    }
    for (const auto& [key, line] : cells) {
        QString text;
        int nColumn = 0;
        for (const auto& [nAt, ch] : line) {
            if (nAt > nColumn)
                text += QString(nAt - nColumn, QLatin1Char(' '));
            text += QString::fromUcs4(&ch, 1);
            nColumn = nAt + (IsWide(ch) ? 2 : 1);
        }
        pages[key.first - 1].lines[key.second] = text;
    }
    return pages;
}

// A document holding the given bytes, shown in one view, with a path, a type
// and a title of its own.
struct Window {
    CHexDoc doc;
    std::unique_ptr<CHexView> pView = std::make_unique<CHexView>();

    explicit Window(const QByteArray& bytes)
    {
        doc.SetContents(bytes);
        doc.SetFileType(QStringLiteral("Binary data file"));
        doc.SetPathName(QStringLiteral("/data/records/2004/x.bin"));
        pView->AttachDocument(&doc);
        pView->Create();
        pView->resize(700, 300);
        pView->OnInitialUpdate();
    }

    // The line height of the body font on a page of that resolution.
    int LineHeight(int nDpi)
    {
        CRecordingPrinter probe(1000, 1000, nDpi);
        pView->PrintToPrinter(probe);
        return pView->m_nPrintLineHeight;
    }

    // Prints on a page nLines line heights high (plus half a line that is
    // never enough for another row).
    QList<Page> Print(int nLines, int nDpi = 96)
    {
        const int lh = LineHeight(nDpi);
        m_pPrinter = std::make_unique<CRecordingPrinter>(1200, nLines * lh + lh / 2, nDpi);
        if (!pView->PrintToPrinter(*m_pPrinter))
            return {};
        return ReadPages(*m_pPrinter, *pView);
    }

    std::unique_ptr<CRecordingPrinter> m_pPrinter;
};

// Row r holds 16 bytes of value r; nRows rows in all, the last one ending in the
// end marker.
QByteArray RowsOfTheirIndex(int nRows)
{
    QByteArray bytes;
    for (int i = 0; i < nRows * 16 - 1; ++i)
        bytes.append(char(i / 16));
    return bytes;
}

// The row a printed line shows, read from its first pair; -1 for a blank line.
int RowOf(const QString& line)
{
    bool ok = false;
    const int nRow = line.left(2).toInt(&ok, 16);
    return ok ? nRow : -1;
}

const QDateTime kPrintTime(QDate(2004, 5, 7), QTime(9, 5));

} // namespace

// Printing and print preview of the hex view.
class TestHexViewPrint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetCurrentTimeSource([] { return kPrintTime; }); }
    void cleanupTestCase() { SetCurrentTimeSource({}); }

    void splitsRowsIntoPages_data();
    void splitsRowsIntoPages();
    void emptyFilePrintsOneBlankRow();
    void continuedRowOpensThePage();
    void headerFillsTheLine_data();
    void headerFillsTheLine();
    void footerShowsPageAndTime();
    void fontsFollowTheCodePage();
    void printsTheBytesInMemory();
    void directPrintNeedsNoDialog_data();
    void directPrintNeedsNoDialog();
    void previewRemembersPagesShown();
    void failedPrintLeavesThePrinterUsable();
};

void TestHexViewPrint::splitsRowsIntoPages_data()
{
    QTest::addColumn<int>("nRows");
    QTest::addColumn<int>("nPageLines");
    QTest::addColumn<QList<int>>("firstRows");
    QTest::addColumn<QList<int>>("lastRows");

    // 66 lines: header, blank, 61 rows, blank, footer and a line to spare.
    QTest::newRow("100 rows, 61 a page") << 100 << 66 << QList<int>{0, 61} << QList<int>{60, 99};
    QTest::newRow("an exact multiple leaves no empty page") << 122 << 66 << QList<int>{0, 61} << QList<int>{60, 121};
    QTest::newRow("one row fewer than a page") << 60 << 66 << QList<int>{0} << QList<int>{59};
    QTest::newRow("too low for a row prints one a page") << 3 << 4 << QList<int>{0, 1, 2} << QList<int>{0, 1, 2};
}

void TestHexViewPrint::splitsRowsIntoPages()
{
    QFETCH(int, nRows);
    QFETCH(int, nPageLines);
    QFETCH(QList<int>, firstRows);
    QFETCH(QList<int>, lastRows);

    Window window(RowsOfTheirIndex(nRows));
    const QList<Page> pages = window.Print(nPageLines);
    QCOMPARE(pages.size(), firstRows.size());
    const int nLinesPerPage = int(window.pView->m_nLinesPerPage);
    for (int n = 0; n < pages.size(); ++n) {
        const Page& page = pages[n];
        QVERIFY(page.Line(1).isEmpty());
        QCOMPARE(RowOf(page.Line(2)), firstRows[n]);
        const int nLast = lastRows[n] - firstRows[n] + 2;
        QCOMPARE(RowOf(page.Line(nLast)), lastRows[n]);
        for (int nLine = 3; nLine <= nLast; ++nLine)
            QCOMPARE(RowOf(page.Line(nLine)), RowOf(page.Line(nLine - 1)) + 1);
        QVERIFY(page.Line(nLast + 1).isEmpty());
        QVERIFY(page.Line(nLinesPerPage + 3).startsWith(QStringLiteral("%1 / %2 ").arg(n + 1).arg(pages.size())));
    }
}

void TestHexViewPrint::emptyFilePrintsOneBlankRow()
{
    Window window{QByteArray()};
    const QList<Page> pages = window.Print(66);
    QCOMPARE(pages.size(), 1);
    QVERIFY(!pages[0].Line(0).isEmpty());
    QCOMPARE(pages[0].Line(2), QString());
    QVERIFY(pages[0].Line(int(window.pView->m_nLinesPerPage) + 3).startsWith(QStringLiteral("1 / 1 ")));
}

// A Shift JIS character whose lead byte ends the last row of page 1: page 1
// prints it whole, page 2 opens with its trail byte as '.'.
void TestHexViewPrint::continuedRowOpensThePage()
{
    QByteArray bytes(61 * 16 + 32, 'a');
    bytes[60 * 16 + 15] = char(0x82);
    bytes[61 * 16] = char(0xA0);
    Window window(bytes);
    window.pView->OnCodePageSjis();
    const QList<Page> pages = window.Print(66);
    QCOMPARE(pages.size(), 2);

    const QString lastOfPage1 = pages[0].Line(62);
    QCOMPARE(lastOfPage1.left(2), QStringLiteral("61"));
    QCOMPARE(lastOfPage1.mid(52), QStringLiteral("aaaaaaaaaaaaaaa") + QChar(0x3042));
    const QString firstOfPage2 = pages[1].Line(2);
    QCOMPARE(firstOfPage2.left(5), QStringLiteral("A0 61"));
    QCOMPARE(firstOfPage2.mid(52), QStringLiteral(".aaaaaaaaaaaaaaa"));
}

void TestHexViewPrint::headerFillsTheLine_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("header");

    const QString type = QStringLiteral("Binary data file");   // 16 characters
    const QString path40 = QStringLiteral("/data/records/2004/x.bin");   // 24
    QTest::newRow("type and path of 40 characters") << path40 << type + QString(39, ' ') + path40;

    const QString longName = QStringLiteral("a-rather-long-name.bin");
    const QString longPath = QStringLiteral("/data/records/archive/of/many/years/and/places/2004/") + longName;
    QVERIFY(type.size() + longPath.size() > 79);
    QTest::newRow("a path too long gives way to the title")
        << longPath << type + QString(79 - 16 - longName.size(), ' ') + longName;

    const QString hugeName = QString(70, 'n') + QStringLiteral(".bin");
    QTest::newRow("a title too long is cut at the last column")
        << QStringLiteral("/d/") + hugeName << type + hugeName.left(79 - 16);
}

void TestHexViewPrint::headerFillsTheLine()
{
    QFETCH(QString, path);
    QFETCH(QString, header);

    Window window(QByteArray("abc"));
    window.doc.SetPathName(path);
    const QList<Page> pages = window.Print(66);
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages[0].Line(0), header);
    QCOMPARE(pages[0].Line(0).size(), 79);
}

// Page 2 of 7: the page text, 58 spaces, the time ending in the last column.
// Seven one-row pages come from a page too low for more.
void TestHexViewPrint::footerShowsPageAndTime()
{
    Window window(RowsOfTheirIndex(7));
    const QList<Page> pages = window.Print(3);
    QCOMPARE(pages.size(), 7);
    QCOMPARE(window.pView->m_nLinesPerPage, 1u);
    QCOMPARE(pages[1].Line(4), QStringLiteral("2 / 7") + QString(58, ' ') + QStringLiteral("2004/05/07 09:05"));
}

// The body font is the screen font's description with a character cell a sixth
// of an inch high, so it follows the code page on show; the header keeps the
// system's, in a cell of the same height whatever its face.
void TestHexViewPrint::fontsFollowTheCodePage()
{
    Window window(QByteArray("abc"));
    window.pView->OnCodePageGB();
    CLogFont gb = window.pView->m_logFont;
    CLogFont system = gb;
    system.lfCharSet = CHexView::CharsetFromCodePage(GetDefaultCodePage());

    // The family of the first body text and of the header, and whether both
    // cells are nDpi / 6 pixels high, within the pixel lost to rounding.
    const auto printedFonts = [&](int nDpi) {
        window.Print(66, nDpi);
        const QList<DrawnText>& texts = window.m_pPrinter->Texts();
        const auto cellFits = [&](const QFont& font) {
            const QFontMetricsF fm(font, window.m_pPrinter.get());
            return qAbs(fm.ascent() + fm.descent() - nDpi / 6) < 2;
        };
        for (const DrawnText& drawn : texts) {
            if (drawn.pos.y() > 2 * window.pView->m_nPrintLineHeight) {
                return std::make_tuple(drawn.font.family(), texts.first().font.family(),
                                       cellFits(drawn.font) && cellFits(texts.first().font));
            }
        }
        return std::make_tuple(QString(), QString(), false);
    };
    const auto expected = std::make_tuple(gb.CreateFont().family(), system.CreateFont().family(), true);
    QCOMPARE(printedFonts(96), expected);
    QCOMPARE(printedFonts(96), expected);
    QCOMPARE(printedFonts(300), expected);

    // A code page without double-byte characters takes the system's fixed font.
    window.doc.SetCodePage(1252);
    CLogFont plain = gb;
    plain.lfCharSet = DEFAULT_CHARSET;
    QCOMPARE(std::get<0>(printedFonts(96)), plain.CreateFont().family());
}

void TestHexViewPrint::printsTheBytesInMemory()
{
    Window window(QByteArray(20, 'x'));
    window.doc.SetByte(1, 0xAB);
    const QList<Page> pages = window.Print(66);
    QCOMPARE(pages[0].Line(2).left(5), QStringLiteral("78 AB"));
}

// Print Direct takes the application's printer as it is, here a PDF file. A
// file that could not be written whole is removed and said so.
void TestHexViewPrint::directPrintNeedsNoDialog_data()
{
    QTest::addColumn<bool>("fullDisk");

    QTest::newRow("written") << false;
    QTest::newRow("disk full") << true;
}

void TestHexViewPrint::directPrintNeedsNoDialog()
{
    QFETCH(bool, fullDisk);

    std::optional<TestSupport::TinyFileSystem> disk;
    if (fullDisk && disk.emplace(64).path().isEmpty())
        QSKIP("mounting a small tmpfs needs root");
    // The printer Print Setup left, which the view is given by its owner.
    QPrinter printer(QPrinter::HighResolution);
    const QString out = (disk ? disk->path() : TestSupport::scratchDir()) + QStringLiteral("/direct.pdf");
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out);
    Window window(RowsOfTheirIndex(fullDisk ? 4000 : 3));
    window.pView->SetServices({nullptr, [&printer] { return &printer; }, {}});
    QStringList messages;
    const MessageBoxHandler previous = AfxSetMessageBoxHandler([&](const QString& text, unsigned) {
        messages << text;
        return IDOK;
    });
    QVERIFY(AfxExecuteCommand(window.pView.get(), ID_FILE_PRINT_DIRECT));
    AfxSetMessageBoxHandler(previous);
    if (fullDisk) {
        QCOMPARE(messages, QStringList{QStringLiteral("Disk full while accessing %1.").arg(out)});
        QVERIFY(!QFile::exists(out));
        return;
    }
    QCOMPARE(messages, QStringList());
    const QByteArray pdf = TestSupport::readFile(out);
    QVERIFY(pdf.startsWith("%PDF"));
    QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r"), 1);
}

// Preview opens with as many pages side by side as it was closed with.
void TestHexViewPrint::previewRemembersPagesShown()
{
    CSettingsProfile profile;
    profile.SetRegistryKey(QStringLiteral("Vantorel"), QStringLiteral("Zorbel"));
    profile.WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("PreviewPages"), 2);
    Window window(RowsOfTheirIndex(200));
    window.pView->SetServices({&profile, {}, {}});

    QPrintPreviewWidget::ViewMode modeShown = QPrintPreviewWidget::AllPagesView;
    int nPagesShown = 0;
    QTimer::singleShot(0, [&] {
        auto* pDialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        QVERIFY(pDialog);
        auto* pPreview = pDialog->findChild<QPrintPreviewWidget*>();
        modeShown = pPreview->viewMode();
        nPagesShown = pPreview->pageCount();
        pDialog->findChild<QAction*>(QStringLiteral("singleModeAction"))->trigger();
        pDialog->reject();
    });
    QVERIFY(AfxExecuteCommand(window.pView.get(), ID_FILE_PRINT_PREVIEW));
    QCOMPARE(modeShown, QPrintPreviewWidget::FacingPagesView);
    QVERIFY(nPagesShown > 1);
    QCOMPARE(profile.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("PreviewPages"), 0), 1);
}

// With no printer to print on, Print Direct fails; the application's printer
// must still print afterwards, here into a PDF file as File, Print would.
void TestHexViewPrint::failedPrintLeavesThePrinterUsable()
{
    CWinApp app(QStringLiteral("Zorbel"));
    QPrinter* pPrinter = app.GetPrinter();
    pPrinter->setOutputFormat(QPrinter::NativeFormat);
    pPrinter->setPrinterName(QStringLiteral("zorbel-no-such-printer"));
    Window window(RowsOfTheirIndex(3));
    // The application hands its printer to the views it makes.
    window.pView->SetServices({nullptr, [&app] { return app.GetPrinter(); }, {}});
    QStringList messages;
    const MessageBoxHandler previous = AfxSetMessageBoxHandler([&](const QString& text, unsigned) {
        messages << text;
        return IDOK;
    });
    QVERIFY(AfxExecuteCommand(window.pView.get(), ID_FILE_PRINT_DIRECT));
    QCOMPARE(messages, QStringList{QStringLiteral("Failed to start printing.")});

    messages.clear();
    const QString out = TestSupport::scratchDir() + QStringLiteral("/after-failure.pdf");
    app.GetPrinter()->setOutputFormat(QPrinter::PdfFormat);
    app.GetPrinter()->setOutputFileName(out);
    QVERIFY(AfxExecuteCommand(window.pView.get(), ID_FILE_PRINT_DIRECT));
    AfxSetMessageBoxHandler(previous);
    QCOMPARE(messages, QStringList());
    QVERIFY(TestSupport::readFile(out).startsWith("%PDF"));
}

QTEST_MAIN(TestHexViewPrint)
#include "tst_hexview_print.moc"
