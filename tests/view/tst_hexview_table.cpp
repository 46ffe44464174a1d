#include "afxmsg.h"
#include "chartable.h"
#include "cmdui.h"
#include "editfixture.h"
#include "hexdoc.h"
#include "hexview.h"
#include "resource.h"
#include "resources.h"
#include "settingsprofile.h"
#include "testsupport.h"

#include <QtTest>

// A character table in a document window: the text column it paints, the
// menu, typing and finding through it, and Copy as Text.
class TestHexViewTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void paintsAsTheCodePageWouldTheSameText_data();
    void paintsAsTheCodePageWouldTheSameText();
    void badTableIsRefusedWithItsLine();
    void menuShowsTheTableAndCodePagePutsItAway();
    void everyWindowOfTheDocumentShowsIt();
    void typesThroughTheTable_data();
    void typesThroughTheTable();
    void findsThroughTheTable();
    void copiesAsText_data();
    void copiesAsText();
    void tableIsRememberedForTheFile_data();
    void tableIsRememberedForTheFile();

private:
    MainFrame m_frame;
    CMemoryClipboard m_clipboard;
    QStringList m_messages;
};

namespace {

// The table maps bytes to the characters GB writes otherwise, so that a
// window on GB bytes paints what a window on the table's bytes must.
const QByteArray kTable = "# test\n"
                          "80=A\n81=B\n"
                          "8283=中\n"
                          "90919293=文\n"
                          "*FE\n"
                          "/FF=E\n";

QString TableFile(const QByteArray& contents = kTable)
{
    return TestSupport::writeScratchFile("test.tbl", contents);
}

// The text column and the spill column of each row the window shows.
QImage TextColumn(CHexView* pView, int nRows)
{
    const QPoint at = pView->CellToClient(CRowFormat::kTextColumn, 0);
    return pView->viewport()->grab().toImage().copy(at.x(), at.y(), 17 * pView->m_nCharWidth,
                                                   nRows * int(pView->m_nLineHeight));
}

QString Menu(CHexView* pView, unsigned nID, bool* pChecked = nullptr, bool* pEnabled = nullptr)
{
    CCmdUI cmdUI(nID);
    pView->OnCmdMsg(nID, &cmdUI);
    if (pChecked)
        *pChecked = cmdUI.GetCheck() != 0;
    if (pEnabled)
        *pEnabled = cmdUI.IsEnabled();
    return cmdUI.GetText();
}

} // namespace

void TestHexViewTable::initTestCase()
{
    AfxSetResourceLanguage(LANG_EN_US);
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return IDOK;
    });
}

void TestHexViewTable::init()
{
    m_messages.clear();
}

void TestHexViewTable::paintsAsTheCodePageWouldTheSameText_data()
{
    QTest::addColumn<QByteArray>("tableBytes");
    QTest::addColumn<QByteArray>("gbBytes");
    QTest::newRow("one-byte keys and no key")
        << QByteArray("\x80\x81\x01" "A") << QByteArray("AB\x01\x01");
    QTest::newRow("two-byte key") << QByteArray("\x80\x82\x83\x81") << QByteArray("A\xD6\xD0" "B");
    QTest::newRow("key crossing the row's end, '.' in the next row")
        << (QByteArray(15, '\x01') + "\x82\x83\x80") << (QByteArray(15, '\x01') + "\xD6\xD0" "A");
    QTest::newRow("key cut off by the end of the file") << QByteArray("\x80\x82") << QByteArray("A\x01");
}

void TestHexViewTable::paintsAsTheCodePageWouldTheSameText()
{
    QFETCH(QByteArray, tableBytes);
    QFETCH(QByteArray, gbBytes);
    EditWindow gb(gbBytes);
    gb->SetupScreenFont(936);
    EditWindow table(tableBytes);
    table->SetupScreenFont(936);
    QVERIFY(table->LoadCharTable(TableFile()));
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(TextColumn(table.pView.get(), 2), TextColumn(gb.pView.get(), 2));
    // The hex part still shows the bytes themselves.
    QVERIFY(table.Grab() != gb.Grab());
}

void TestHexViewTable::badTableIsRefusedWithItsLine()
{
    EditWindow window("\x80\x81");
    window->SetupScreenFont(936);
    const QImage before = window.Grab();
    QVERIFY(!window->LoadCharTable(TableFile("80=A\n# two\n8G=B\n")));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].startsWith("Line 3 of ") && m_messages[0].contains("8G=B"), qPrintable(m_messages[0]));
    QVERIFY(!window.doc.GetCharTable());
    QCOMPARE(window.doc.GetCodePage(), 936);
    QCOMPARE(window.Grab(), before);
    QVERIFY(!window->LoadCharTable(TestSupport::scratchDir() + "/no such.tbl"));
    QVERIFY(m_messages.last().startsWith("Cannot read "));
    // A file with megabytes before its first line break (chosen by mistake)
    // is quoted by its line's start only.
    QVERIFY(!window->LoadCharTable(TableFile("41=A\n" + QByteArray(1 << 20, 'x'))));
    QVERIFY2(m_messages.last().contains(": " + QString(80, 'x') + QChar(0x2026) + "\n"), qPrintable(m_messages.last()));
    QVERIFY(m_messages.last().size() < 400);
    // A line of 80 characters is quoted whole; a cut never splits a
    // character outside the BMP.
    QVERIFY(!window->LoadCharTable(TableFile("41=A\n" + QByteArray(80, 'y'))));
    QVERIFY2(m_messages.last().contains(": " + QString(80, 'y') + "\n"), qPrintable(m_messages.last()));
    QVERIFY(!window->LoadCharTable(TableFile("41=A\n" + QByteArray(79, 'z') + QByteArray("\xF0\x9F\x98\x80").repeated(3))));
    QVERIFY2(m_messages.last().contains(": " + QString(79, 'z') + QChar(0x2026) + "\n"), qPrintable(m_messages.last()));
}

void TestHexViewTable::menuShowsTheTableAndCodePagePutsItAway()
{
    EditWindow window("\x80\x81");
    window->SetupScreenFont(932);
    bool bChecked = true;
    bool bEnabled = true;
    QCOMPARE(Menu(window.pView.get(), ID_VIEW_CODEPAGE_TABLE, &bChecked), QString());
    QVERIFY(!bChecked);
    QVERIFY(window->LoadCharTable(TableFile()));
    QCOMPARE(Menu(window.pView.get(), ID_VIEW_CODEPAGE_TABLE, &bChecked), QString("Table &File: test.tbl..."));
    QVERIFY(bChecked);
    // The code page under the table is enabled and not checked: choosing it
    // shows it again.
    Menu(window.pView.get(), ID_VIEW_CODEPAGE_SJIS, &bChecked, &bEnabled);
    QVERIFY(!bChecked && bEnabled);
    QVERIFY(AfxExecuteCommand(window.pView.get(), ID_VIEW_CODEPAGE_SJIS));
    QVERIFY(!window.doc.GetCharTable());
    QCOMPARE(window.doc.GetCodePage(), 932);
    Menu(window.pView.get(), ID_VIEW_CODEPAGE_SJIS, &bChecked, &bEnabled);
    QVERIFY(bChecked && !bEnabled);
    QCOMPARE(Menu(window.pView.get(), ID_VIEW_CODEPAGE_TABLE, &bChecked), QString());
}

void TestHexViewTable::everyWindowOfTheDocumentShowsIt()
{
    EditWindow window("\x80\x81\x82\x83");
    window->SetupScreenFont(936);
    const std::unique_ptr<CHexView> pSecond = window.OpenView();
    const QImage before = TextColumn(pSecond.get(), 1);
    QVERIFY(window->LoadCharTable(TableFile()));
    const QImage after = TextColumn(pSecond.get(), 1);
    QVERIFY(after != before);
    QCOMPARE(after, TextColumn(window.pView.get(), 1));
}

void TestHexViewTable::typesThroughTheTable_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("bRefused");
    QTest::newRow("one-byte and longer keys") << QString::fromUtf8("A中文") << QByteArray("\x80\x82\x83\x90\x91\x92\x93")
                                              << false;
    QTest::newRow("end code's text") << QString("E") << QByteArray("\xFF") << false;
    QTest::newRow("a character without a key") << QString("C") << QByteArray() << true;
}

void TestHexViewTable::typesThroughTheTable()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, bRefused);
    EditWindow window("");
    QVERIFY(window->LoadCharTable(TableFile()));
    window.Press("Tab");
    for (const QChar ch : typed)
        QTest::sendKeyEvent(QTest::Click, window.Keys(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
    QCOMPARE(window.Bytes(), bytes);
    const QString message = m_frame.pBar->GetPaneText(0);
    QCOMPARE(message.contains("has no key in the table test.tbl"), bRefused);
}

void TestHexViewTable::findsThroughTheTable()
{
    EditWindow window("\x01\x80\x82\x83\x01\x81\x82\x83");
    QVERIFY(window->LoadCharTable(TableFile()));
    window->FindNext(QString::fromUtf8("B中"), true, true);
    QCOMPARE(window->GetSelection().First(), 5u);
    QCOMPARE(window->GetSelection().Length(), 3u);
    // Hex words stay bytes.
    window->FindNext("80", false, true);
    QCOMPARE(window->GetSelection().First(), 1u);

    // Without Match case the bytes of letters are not folded: here they are
    // no letters at all (0x41 reads 魔, 0x61 文).
    EditWindow letters("\x61\x41");
    QVERIFY(letters->LoadCharTable(TableFile("41=魔\n61=文\n")));
    letters->FindNext("41", true, false);
    QCOMPARE(letters->GetSelection().First(), 1u);

    // The table's own letters fold instead: a finds A, and with Match case
    // only a.
    EditWindow cased("\x01\x80\xA0");
    QVERIFY(cased->LoadCharTable(TableFile("80=A\nA0=a\n")));
    cased->FindNext("a", true, false);
    QCOMPARE(cased->GetSelection().First(), 1u);
    cased->FindNext("a", true, true);
    QCOMPARE(cased->GetSelection().First(), 2u);
}

void TestHexViewTable::copiesAsText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("codePage");    // 0: through the table
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("end");
    QTest::addColumn<QString>("text");

    const QString fffd(QChar(0xFFFD));
    QTest::newRow("GB, control bytes and a dot") << QByteArray("A\xD6\xD0\x0A.") << 936 << 0u << 5u
                                                 << QString::fromUtf8("A中") + fffd + ".";
    QTest::newRow("GB from a trail byte") << QByteArray("A\xD6\xD0" "B") << 936 << 2u << 4u << fffd + "B";
    QTest::newRow("GB ending on a lead byte takes its pair") << QByteArray("A\xD6\xD0" "B") << 936 << 0u << 2u
                                                             << QString::fromUtf8("A中");
    QTest::newRow("GB pair across rows")
        << (QByteArray(15, 'a') + "\xD6\xD0" "b") << 936 << 14u << 18u << QString::fromUtf8("a中b");
    QTest::newRow("GB from the trail byte that starts a row")
        << (QByteArray(15, 'a') + "\xD6\xD0" "b") << 936 << 16u << 18u << fffd + "b";
    QTest::newRow("BIG5") << QByteArray("\xA4\xA4\xA4\xE5") << 950 << 0u << 4u << QString::fromUtf8("中文");
    QTest::newRow("Shift JIS with half-width katakana") << QByteArray("\x82\xA0\xB1") << 932 << 0u << 3u
                                                        << QString::fromUtf8("あｱ");
    QTest::newRow("UTF-8 across rows")
        << (QByteArray(15, 'a') + "\xE4\xB8\xAD" "b") << 65001 << 15u << 19u << QString::fromUtf8("中b");
    QTest::newRow("UTF-8 malformed byte") << QByteArray("a\xFF" "b") << 65001 << 0u << 3u << "a" + fffd + "b";
    QTest::newRow("Korean") << QByteArray("\xB0\xA1") << 949 << 0u << 2u << QString::fromUtf8("가");
    QTest::newRow("Western, an undefined byte") << QByteArray("\xE9\x81") << 1252 << 0u << 2u
                                                << QString::fromUtf8("é") + fffd;
    QTest::newRow("table, line break and no key")
        << QByteArray("\x80\xFE\x01\x82\x83\xFF") << 0 << 0u << 6u << QString::fromUtf8("A\n") + fffd + "中E";
}

void TestHexViewTable::copiesAsText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, codePage);
    QFETCH(uint, first);
    QFETCH(uint, end);
    EditWindow window(bytes);
    if (codePage)
        window->SetupScreenFont(codePage);
    else
        QVERIFY(window->LoadCharTable(TableFile()));
    window->SelectRange(first, end);
    QVERIFY(AfxExecuteCommand(window.pView.get(), ID_EDIT_COPY_TEXT));
    QTEST(m_clipboard.MimeData()->text(), "text");
    // The raw-bytes Copy stays as it is.
    QVERIFY(AfxExecuteCommand(window.pView.get(), ID_EDIT_COPY));
    QCOMPARE(m_clipboard.GetBytes(), bytes.mid(int(first), int(end - first)));
}

void TestHexViewTable::tableIsRememberedForTheFile_data()
{
    QTest::addColumn<QByteArray>("later");   // the table file at the next open; empty: gone
    QTest::addColumn<bool>("bShown");
    QTest::addColumn<QString>("status");

    QTest::newRow("still there") << kTable << true << QString();
    QTest::newRow("gone") << QByteArray() << false << "The text column shows the code page: Cannot read ";
    QTest::newRow("no longer parses") << QByteArray("80=A\nzz\n") << false
                                      << "The text column shows the code page: Line 2 of ";
}

// The table chosen for a file is shown again when the file is opened again,
// not for another file; one that has gone or no longer reads leaves the code
// page shown, which the status bar explains, and nothing else fails.
void TestHexViewTable::tableIsRememberedForTheFile()
{
    QFETCH(QByteArray, later);
    QFETCH(bool, bShown);
    QFETCH(QString, status);
    CSettingsProfile profile;
    profile.SetRegistryKey(QStringLiteral("Vantorel"), QStringLiteral("TableTest"));
    profile.RemoveProfileValue(QStringLiteral("FileTables"), QString());
    profile.RemoveProfileValue(QStringLiteral("FileCodePages"), QString());
    const QString path = TestSupport::writeScratchFile("game.bin", QByteArray("\xB0\xA1\x80\x81\x82\x83"));
    const QString otherPath = TestSupport::writeScratchFile("other.bin", QByteArray("\xB0\xA1\x80\x81"));
    std::unique_ptr<CHexDoc> pDoc;
    std::unique_ptr<CHexView> pView;
    const auto open = [&](const QString& file) {
        pView.reset();
        pDoc = std::make_unique<CHexDoc>();
        QVERIFY(pDoc->OnOpenDocument(file));
        pDoc->SetPathName(file);
        pView = std::make_unique<CHexView>();
        pView->SetServices({&profile, {}, {}});
        pView->AttachDocument(pDoc.get());
        pView->Create();
        pView->OnInitialUpdate();
    };
    open(path);
    QVERIFY(!pDoc->GetCharTable());
    const int nCodePage = pDoc->GetCodePage();
    QVERIFY(pView->ChooseCharTable(TableFile()));
    open(otherPath);
    QVERIFY(!pDoc->GetCharTable());

    if (later.isEmpty())
        QVERIFY(QFile::remove(TableFile()));
    else
        TableFile(later);
    open(path);
    QSignalSpy said(pView.get(), &CHexView::statusMessage);
    QCOMPARE(pDoc->GetCharTable() != nullptr, bShown);
    QCOMPARE(pDoc->GetCodePage(), nCodePage);
    if (bShown) {
        QCOMPARE(pDoc->GetCharTable()->Name(), QString("test.tbl"));
        QCOMPARE(pDoc->GetCharTable()->Decode(pDoc->Data(), 6, 2, 6), QString("AB中"));
    } else {
        QTRY_COMPARE(said.size(), 1);
        QVERIFY2(said.at(0).at(0).toString().startsWith(status), qPrintable(said.at(0).at(0).toString()));
        QVERIFY(m_messages.isEmpty());
    }

    // Choosing a code page forgets the table for the file.
    TableFile();
    const bool bSjis = nCodePage != 932;
    QVERIFY(AfxExecuteCommand(pView.get(), bSjis ? ID_VIEW_CODEPAGE_SJIS : ID_VIEW_CODEPAGE_BIG5));
    open(path);
    QVERIFY(!pDoc->GetCharTable());
    QCOMPARE(pDoc->GetCodePage(), bSjis ? 932 : 950);
}

QTEST_MAIN(TestHexViewTable)
#include "tst_hexview_table.moc"
