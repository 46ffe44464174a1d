// The Bookmarks list with a document and a real view and no main window:
// what it lists, going to a bookmark with Enter, renaming, Delete, export and
// import, and the marks the view draws for the bookmarks.

#include "afxmsg.h"
#include "bookmarkpanel.h"
#include "editfixture.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QTableWidget>

namespace {

QStringList Row(const QTableWidget* pTable, int nRow)
{
    QStringList texts;
    for (int c = 0; c < pTable->columnCount(); ++c)
        texts << pTable->item(nRow, c)->text();
    return texts;
}

} // namespace

class TestBookmarkPanel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listsAndFollowsEdits();
    void enterGoesThereAndSelects();
    void renameInPlace();
    void deleteKeyRemoves();
    void exportImportRoundTrip();
    void importRefusesMalformedLine();
    void marksDrawnInBothColumns();

private:
    std::unique_ptr<EditWindow> m_pWindow;
    std::unique_ptr<CBookmarkPanel> m_pPanel;
    QStringList m_messages;
};

void TestBookmarkPanel::init()
{
    // "中文" in GB, then ASCII and control bytes.
    QByteArray bytes = QByteArray::fromHex("D6D0CEC4") + "text\x01\x02" + QByteArray(200, 'x');
    m_pWindow = std::make_unique<EditWindow>(bytes);
    m_pWindow->doc.SetCodePage(936);
    m_pPanel = std::make_unique<CBookmarkPanel>();
    m_pPanel->SetView(m_pWindow->pView.get());
    m_pPanel->show();
    m_messages.clear();
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages << text;
        return IDOK;
    });
}

void TestBookmarkPanel::cleanup()
{
    AfxSetMessageBoxHandler(nullptr);
    m_pPanel.reset();
    m_pWindow.reset();
}

void TestBookmarkPanel::listsAndFollowsEdits()
{
    CBookmarks& marks = m_pWindow->doc.Bookmarks();
    marks.Add(0x40, 2, "later");
    marks.Add(0, 10, QString::fromUtf8("标题"));
    QTableWidget* pTable = m_pPanel->Table();
    QCOMPARE(pTable->rowCount(), 2);
    QCOMPARE(Row(pTable, 0), (QStringList{"00000000", "10", QString::fromUtf8("标题"), QString::fromUtf8("中文text..")}));
    QCOMPARE(Row(pTable, 1), (QStringList{"00000040", "2", "later", "xx"}));

    // An insert before both moves them; the list follows.
    m_pWindow->doc.ReplaceBytes(0, 0, reinterpret_cast<const std::uint8_t*>("AB"), 2, {});
    QCOMPARE(Row(pTable, 0).mid(0, 2), (QStringList{"00000002", "10"}));
    QCOMPARE(Row(pTable, 1).mid(0, 2), (QStringList{"00000042", "2"}));
}

void TestBookmarkPanel::enterGoesThereAndSelects()
{
    m_pWindow->doc.Bookmarks().Add(0xA0, 4);
    m_pWindow->doc.Bookmarks().Add(0x10, 4);
    QTableWidget* pTable = m_pPanel->Table();
    QSignalSpy moved(m_pWindow->pView.get(), &CHexView::caretMoved);
    pTable->setFocus();
    pTable->setCurrentCell(1, CBookmarkPanel::kOffset);
    QTest::keyClick(pTable, Qt::Key_Return);
    QVERIFY(!moved.isEmpty());
    const QList<QVariant> last = moved.last();
    QCOMPARE(last[1].value<quint32>(), 0xA0u);
    QCOMPARE(last[2].value<quint32>(), 4u);
    QCOMPARE(m_pWindow->doc.GetLength(), 210u);   // Enter went to the bookmark, nothing was typed
}

void TestBookmarkPanel::renameInPlace()
{
    m_pWindow->doc.Bookmarks().Add(8, 2, "old");
    QTableWidget* pTable = m_pPanel->Table();
    pTable->setFocus();
    pTable->setCurrentCell(0, CBookmarkPanel::kName);
    QTest::keyClick(pTable, Qt::Key_F2);
    auto* pEditor = pTable->findChild<QLineEdit*>();
    QVERIFY(pEditor);
    pEditor->selectAll();
    QTest::keyClicks(pEditor, "header");
    QTest::keyClick(pEditor, Qt::Key_Return);
    QTRY_COMPARE(m_pWindow->doc.Bookmarks().At(0).strName, QString("header"));
    // The offset is no text to edit.
    QVERIFY(!(pTable->item(0, CBookmarkPanel::kOffset)->flags() & Qt::ItemIsEditable));
}

void TestBookmarkPanel::deleteKeyRemoves()
{
    CBookmarks& marks = m_pWindow->doc.Bookmarks();
    marks.Add(1, 1);
    marks.Add(2, 1);
    marks.Add(3, 1);
    QTableWidget* pTable = m_pPanel->Table();
    pTable->setFocus();
    pTable->setCurrentCell(1, 0);
    QTest::keyClick(pTable, Qt::Key_Delete);
    QCOMPARE(marks.Count(), 2);
    QCOMPARE(marks.At(1).nOffset, 3u);
    QCOMPARE(m_pWindow->doc.GetLength(), 210u);
}

void TestBookmarkPanel::exportImportRoundTrip()
{
    CBookmarks& marks = m_pWindow->doc.Bookmarks();
    marks.Add(0, 4, QString::fromUtf8("中文 name"));
    marks.Add(0xC8, 0xA, "tail");
    const QString path = TestSupport::scratchDir() + "/marks.txt";
    QVERIFY(m_pPanel->ExportTo(path));
    QCOMPARE(TestSupport::readFile(path), QString::fromUtf8("0 4 中文 name\nC8 A tail\n").toUtf8());
    const std::vector<CBookmark> before = marks.List();
    marks.Clear();
    QVERIFY(m_pPanel->ImportFrom(path));
    QCOMPARE(marks.List(), before);
    QVERIFY(m_messages.isEmpty());
}

void TestBookmarkPanel::importRefusesMalformedLine()
{
    CBookmarks& marks = m_pWindow->doc.Bookmarks();
    marks.Add(5, 1, "kept");
    const QString path = TestSupport::writeScratchFile("bad.txt", "0 4 fine\nC8 B tail\n");   // 0xC8 + 0xB > 210
    QVERIFY(!m_pPanel->ImportFrom(path));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].startsWith("Line 2 of " + path), qPrintable(m_messages[0]));
    QCOMPARE(marks.Count(), 1);
    QCOMPARE(marks.At(0).strName, QString("kept"));

    QVERIFY(!m_pPanel->ImportFrom(TestSupport::scratchDir() + "/missing.txt"));
    QCOMPARE(m_messages.size(), 2);
    QCOMPARE(marks.Count(), 1);
}

// The mark is a bar at the bottom of the bookmarked cells of both columns;
// the cells beside it keep the plain background.
void TestBookmarkPanel::marksDrawnInBothColumns()
{
    EditWindow& window = *m_pWindow;
    window.doc.Bookmarks().Add(0x12, 2);   // row 1, bytes 2 and 3
    window.pView->viewport()->repaint();
    const QImage image = window.Grab();
    const int nBottom = int(window->m_nLineHeight) - 1;
    const auto bottomOf = [&](int nColumn) {
        return image.pixel(window->CellToClient(nColumn, 1) + QPoint(window->m_nCharWidth / 2, nBottom));
    };
    const QRgb plain = window->GetColours().plainBack.rgb();
    for (int nColumn : {16, 17, 19, 20, 64, 65})   // hex cells of bytes 2 and 3, text cells of the same
        QVERIFY2(bottomOf(nColumn) != plain, qPrintable(QString::number(nColumn)));
    for (int nColumn : {13, 14, 22, 63, 66})       // bytes 1 and 4
        QCOMPARE(bottomOf(nColumn), plain);
    QCOMPARE(bottomOf(16), bottomOf(64));
}

QTEST_MAIN(TestBookmarkPanel)
#include "tst_bookmarkpanel.moc"
