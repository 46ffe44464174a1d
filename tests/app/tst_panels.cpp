#include "appfixture.h"
#include "chartable.h"
#include "datavaluespanel.h"
#include "findalldialog.h"
#include "hexdoc.h"
#include "hexview.h"
#include "relativesearchdialog.h"
#include "stringscan.h"
#include "stringspanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>

// The dock panels in the main frame: their keys, the active window they
// follow, the keys they keep from the frame's accelerators, and their layout
// kept from one start to the next.
class TestPanels : public QObject {
    Q_OBJECT

private slots:
    void init();
    void inspectorKeysAndFocus();
    void deleteInAPanelEditsNoBytes();
    void layoutAndSwitchesPersist();
    void stringsListAndSelect();
    void findAllFromTheFrame();
    void makeTableLoadsIt();
};

namespace {

CHexView* ActiveView(AppFixture& fixture)
{
    return qobject_cast<CHexView*>(fixture.frame()->GetActiveView());
}

QByteArray Bytes(CHexDoc* pDoc)
{
    return QByteArray(reinterpret_cast<const char*>(pDoc->Data()), int(pDoc->GetLength()));
}

} // namespace

void TestPanels::init()
{
    AppFixture::ResetSettings();
    AfxSetResourceLanguage(LANG_EN_US);
}

void TestPanels::inspectorKeysAndFocus()
{
    AppFixture fixture({TestSupport::writeScratchFile("inspect.bin", QByteArray("\x10\x20\x30\x40", 4))});
    CHexView* pView = ActiveView(fixture);
    QVERIFY(pView);
    QApplication::setActiveWindow(fixture.frame());
    QVERIFY(QTest::qWaitForWindowActive(fixture.frame()));
    pView->setFocus();
    CDataValuesPanel* pInspector = fixture.frame()->Inspector();
    QVERIFY(!pInspector->isVisible());
    QTest::keyClick(pView, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(pInspector->isVisible());
    QCOMPARE(QApplication::focusWidget(), pInspector->Table());
    QCOMPARE(pInspector->View(), pView);
    QCOMPARE(pInspector->Table()->item(CDataValuesPanel::RowOf(CDataType::UInt8), 1)->text(), QString("16"));
    QTest::keyClick(pInspector->Table(), Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), pView);
    QTest::keyClick(pView, Qt::Key_Right);
    QCOMPARE(pInspector->Table()->item(CDataValuesPanel::RowOf(CDataType::UInt8), 1)->text(), QString("32"));

    // Shown again after it was closed, it has caught up with the caret and the
    // bytes that moved and changed meanwhile.
    pInspector->hide();
    QTest::keyClick(pView, Qt::Key_Right);
    pView->GetDocument()->SetByte(2, 0x7F);
    QTest::keyClick(pView, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(pInspector->isVisible());
    QCOMPARE(pInspector->Table()->item(CDataValuesPanel::RowOf(CDataType::UInt8), 1)->text(), QString("127"));
}

// Delete is the frame's Edit, Delete key: typed into a value it must edit the
// value, not delete the bytes under the caret.
void TestPanels::deleteInAPanelEditsNoBytes()
{
    AppFixture fixture({TestSupport::writeScratchFile("keys.bin", QByteArray("\x10\x20\x30\x40", 4))});
    CHexView* pView = ActiveView(fixture);
    QApplication::setActiveWindow(fixture.frame());
    QVERIFY(QTest::qWaitForWindowActive(fixture.frame()));
    pView->setFocus();
    QTest::keyClick(pView, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
    QTableWidget* pTable = fixture.frame()->Inspector()->Table();
    QTest::keyClick(pTable, Qt::Key_Delete);
    pTable->setCurrentCell(CDataValuesPanel::RowOf(CDataType::UInt8), 1);
    QTest::keyClick(pTable, Qt::Key_F2);
    auto* pEditor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(pEditor);
    QTest::keyClick(pEditor, Qt::Key_Home);
    QTest::keyClick(pEditor, Qt::Key_Delete);
    QCOMPARE(pEditor->text(), QString("6"));
    QTest::keyClick(pEditor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(pEditor, "255");
    QTest::keyClick(pEditor, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(Bytes(pView->GetDocument()), QByteArray("\xFF\x20\x30\x40", 4));
    QCOMPARE(fixture.messages, QStringList());
}

void TestPanels::layoutAndSwitchesPersist()
{
    const QString path = TestSupport::writeScratchFile("layout.bin", QByteArray("\x12\x34", 2));
    {
        AppFixture fixture({path});
        fixture.frame()->Inspector()->ShowAndFocus();
        fixture.frame()->Inspector()->findChild<QCheckBox*>()->click();
    }
    AppFixture fixture({path});
    CDataValuesPanel* pInspector = fixture.frame()->Inspector();
    QVERIFY(pInspector->isVisible());
    QVERIFY(!fixture.frame()->StringsPanel()->isVisible());
    QVERIFY(pInspector->IsBigEndian());
    QCOMPARE(pInspector->Table()->item(CDataValuesPanel::RowOf(CDataType::UInt16), 1)->text(), QString("4660"));
}

void TestPanels::stringsListAndSelect()
{
    QByteArray bytes = QByteArray(40, '\0') + "first string" + QByteArray(9, '\x01') + "\xD6\xD0\xCE\xC4\xD7\xD6\xB7\xFB"
        + QByteArray(3, '\0') + "ab" + QByteArray(5, '\x02') + "last one here";
    AppFixture fixture({TestSupport::writeScratchFile("strings.bin", bytes)});
    CHexView* pView = ActiveView(fixture);
    pView->GetDocument()->SetCodePage(936);
    QApplication::setActiveWindow(fixture.frame());
    QVERIFY(QTest::qWaitForWindowActive(fixture.frame()));
    pView->setFocus();
    CStringsPanel* pPanel = fixture.frame()->StringsPanel();
    QTest::keyClick(pView, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(pPanel->isVisible());
    QTRY_VERIFY(!pPanel->IsScanning());
    // The same list as the scanner gives in one pass.
    CStringScanner scanner(936);
    std::vector<CTextRun> runs;
    scanner.Scan(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint32_t(bytes.size()), true, runs);
    std::string expected;
    for (const CTextRun& run : runs)
        CStringScanner::AppendLine(run, expected);
    QCOMPARE(pPanel->ExportText(), QByteArray::fromStdString(expected));
    QCOMPARE(pPanel->ExportText(), QByteArray("00000028\tfirst string\n0000003D\t\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97"
                                              "\xE7\xAC\xA6\n0000004F\tlast one here\n"));

    QTest::keyClicks(pPanel->Filter(), "LAST");
    QCOMPARE(pPanel->Table()->model()->rowCount(), 1);
    pPanel->Table()->setFocus();
    pPanel->Table()->setCurrentIndex(pPanel->Table()->model()->index(0, 0));
    QTest::keyClick(pPanel->Table(), Qt::Key_Return);
    QCOMPARE(pView->GetSelection().Anchor(), 0x4Fu);
    QCOMPARE(pView->GetSelection().End(), 0x4Fu + 13);

    // An edit starts the list over.
    const std::uint8_t x = 'X';
    pView->GetDocument()->ReplaceBytes(0, 0, &x, 1, pView->EditState());
    pPanel->Filter()->clear();
    QTRY_VERIFY(pPanel->ExportText().startsWith("00000029\tfirst string\n"));
}

// Ctrl+Shift+F opens Find in All Encodings on the active view with the
// keyboard in its text box, where Delete edits the text and no bytes.
void TestPanels::findAllFromTheFrame()
{
    const QByteArray bytes("ab\xD6\xD0\xCE\xC4", 6);
    AppFixture fixture({TestSupport::writeScratchFile("findall.bin", bytes)});
    CHexView* pView = ActiveView(fixture);
    QApplication::setActiveWindow(fixture.frame());
    QVERIFY(QTest::qWaitForWindowActive(fixture.frame()));
    pView->setFocus();
    QTest::keyClick(pView, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    CFindAllDialog* pDialog = fixture.frame()->FindAllDialog();
    QVERIFY(pDialog->isVisible());
    QCOMPARE(pDialog->View(), pView);
    QTRY_COMPARE(QApplication::focusWidget(), pDialog->TextBox());
    QTest::keyClicks(pDialog->TextBox(), "abc");
    QTest::keyClick(pDialog->TextBox(), Qt::Key_Left);
    QTest::keyClick(pDialog->TextBox(), Qt::Key_Delete);
    QCOMPARE(pDialog->TextBox()->text(), QString("ab"));
    QCOMPARE(Bytes(pView->GetDocument()), bytes);
    QTest::keyClick(pDialog->TextBox(), Qt::Key_Return);
    // "ab" is the same bytes in GB, BIG5, Shift JIS and UTF-8.
    QCOMPARE(pDialog->Table()->model()->rowCount(), 4);
}

// Relative Search's Make Table shows the table it wrote in the document of
// the hit, so the text column reads the word through it at once.
void TestPanels::makeTableLoadsIt()
{
    const QByteArray bytes = QByteArray("xx") + QByteArray::fromHex("839180868E8D") + "yy";
    AppFixture fixture({TestSupport::writeScratchFile("dragon.bin", bytes)});
    CHexView* pView = ActiveView(fixture);
    QVERIFY(pView);
    CRelativeSearchDialog* pDialog = fixture.frame()->RelativeSearchDialog();
    QCOMPARE(pDialog->View(), pView);
    pDialog->TextBox()->setText(QStringLiteral("DRAGON"));
    pDialog->Find();
    QCOMPARE(pDialog->Table()->model()->rowCount(), 1);
    const QString path = TestSupport::scratchDir() + QStringLiteral("/made.tbl");
    QVERIFY(pDialog->SaveTable(path));
    const CCharTable* pTable = pView->GetDocument()->GetCharTable();
    QVERIFY(pTable);
    QCOMPARE(pTable->Name(), QStringLiteral("made.tbl"));
    QCOMPARE(pTable->Decode(pView->GetDocument()->Data(), 10, 2, 8), QStringLiteral("DRAGON"));

    // The status bar names the table while the text column shows it.
    CStatusBar& bar = fixture.frame()->m_wndStatusBar;
    QCOMPARE(bar.GetPaneText(CMainFrame::kTablePane), QStringLiteral("Table: made.tbl"));
    QVERIFY(bar.PaneLabel(CMainFrame::kTablePane)->isVisibleTo(fixture.frame()));
    pView->GetDocument()->SetCodePage(936);
    QCOMPARE(bar.GetPaneText(CMainFrame::kTablePane), QString());
    QVERIFY(!bar.PaneLabel(CMainFrame::kTablePane)->isVisibleTo(fixture.frame()));
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
