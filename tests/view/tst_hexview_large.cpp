#include "cmdtarget.h"
#include "editfixture.h"
#include "resource.h"
#include "testsupport.h"

#include <QScopeGuard>

// Windows over sparse files of 4 GiB and more, held as pieces: the caret, the
// selection, clicks, typing, undo, find and copy at offsets past what 32 bits
// hold, and the offset column widened to the file's last offset.
class TestHexViewLarge : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void caretReachesTheFarEnd_data();
    void caretReachesTheFarEnd();
    void typingFarOutIsUndone();
    void selectionCrossesFourGiB();
    void findsPastFourGiB();
    void offsetColumnFollowsTheLength();
    void bookmarksPastFourGiBMoveWithEdits();

private:
    static constexpr qint64 k4G = qint64(1) << 32;
    // A sparse file of nLength bytes with marker written at nAt, removed after
    // the test; empty where the file system holds no such file.
    QString Sparse(qint64 nLength, qint64 nAt = -1, const QByteArray& marker = QByteArray());
    static QString Hex(qint64 n) { return QString::number(n, 16).toUpper(); }

    MainFrame m_frame;
    CMemoryClipboard m_clipboard;
    QStringList m_files;
};

void TestHexViewLarge::cleanup()
{
    for (const QString& path : std::as_const(m_files))
        QFile::remove(path);
    m_files.clear();
}

QString TestHexViewLarge::Sparse(qint64 nLength, qint64 nAt, const QByteArray& marker)
{
    const QString path = TestSupport::scratchDir() + QStringLiteral("/large-%1.bin").arg(nLength);
    m_files << path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(nLength))
        return QString();
    if (nAt >= 0 && (!file.seek(nAt) || file.write(marker) != marker.size()))
        return QString();
    return path;
}

struct LargeWindow : EditWindow {
    explicit LargeWindow(const QString& path) : EditWindow(QByteArray())
    {
        if (!doc.OnOpenDocument(path))
            qWarning("the sparse file did not open");
        pView->OnInitialUpdate();
        pView->viewport()->repaint();
    }
};

void TestHexViewLarge::caretReachesTheFarEnd_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("extra");
    // The last row's offset decides: up to FFFFFFF0 the usual ten columns.
    QTest::newRow("4 GiB - 2: as before") << k4G - 2 << 0;
    QTest::newRow("4 GiB: nine digits") << k4G << 1;
    QTest::newRow("64 GiB: ten digits") << (qint64(1) << 36) << 2;
}

// Ctrl+End puts the caret on the end marker, the pane names its offset, and a
// click on the last row's first pair lands on that row's first byte: the
// columns right of a wider offset column moved over by as much as it grew.
void TestHexViewLarge::caretReachesTheFarEnd()
{
    QFETCH(qint64, length);
    QFETCH(int, extra);
    const QString path = Sparse(length);
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file this long");
    LargeWindow w(path);
    QVERIFY(w.doc.IsPieceMode());
    QCOMPARE(w->m_nOffsetExtra, extra);
    QCOMPARE(w->CellToClient(10, 0).x() - w->CellToClient(0, 0).x(), (10 + extra) * w->m_nCharWidth);

    QTest::keyClick(w.Keys(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(w->m_nCaretPos, length);
    QVERIFY2(m_frame.pBar->GetPaneText(MainFrame::kCaretPane).contains(Hex(length)),
             qPrintable(m_frame.pBar->GetPaneText(MainFrame::kCaretPane)));
    const QPoint cell = w->OffsetToCell(length & ~qint64(15));
    QTest::mouseClick(w.Mouse(), Qt::LeftButton, Qt::NoModifier, w.CellCentre(10, cell.y()));
    QCOMPARE(w->m_nCaretPos, length & ~qint64(15));
    // The text column too: its first cell is the same byte.
    QTest::mouseClick(w.Mouse(), Qt::LeftButton, Qt::NoModifier, w.CellCentre(62, cell.y()));
    QCOMPARE(w->m_nCaretPos, length & ~qint64(15));
    QVERIFY(!w->m_bHexColumn);

    QTest::keyClick(w.Keys(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(w->m_nCaretPos, qint64(0));
    QCOMPARE(w->GetScrollPos(SB_VERT), qint64(0));
}

// Go To past 4 GiB, a byte overwritten there and a character inserted, each
// undone; the bytes about them stay where they were.
void TestHexViewLarge::typingFarOutIsUndone()
{
    const qint64 nAt = (qint64(60) << 30) + 0x10;
    const QString path = Sparse(qint64(1) << 36, nAt, "ZORBEL");
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file of 64 GiB");
    LargeWindow w(path);
    QVERIFY(w->GoToOffset(Hex(nAt + 3), false));
    QCOMPARE(w->m_nCaretPos, nAt + 3);

    w.Type("Ins 4 1");
    QCOMPARE(w.doc.ByteAt(nAt + 3), std::uint8_t(0x41));
    QCOMPARE(w.doc.ByteAt(nAt + 4), std::uint8_t('E'));
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_UNDO));
    QCOMPARE(w.doc.ByteAt(nAt + 3), std::uint8_t('B'));
    QCOMPARE(w->m_nCaretPos, nAt + 3);

    w.Type("Ins Tab x");
    QCOMPARE(w.doc.Length(), (qint64(1) << 36) + 1);
    QCOMPARE(w.doc.ByteAt(nAt + 3), std::uint8_t('x'));
    QCOMPARE(w.doc.ByteAt(nAt + 4), std::uint8_t('B'));
    QCOMPARE(w->m_nCaretPos, nAt + 4);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_UNDO));
    QCOMPARE(w.doc.Length(), qint64(1) << 36);
    QCOMPARE(w.doc.ByteAt(nAt + 3), std::uint8_t('B'));
}

// Shift+Down from just before 4 GiB selects a row across it, which the
// status pane and the clipboard take whole.
void TestHexViewLarge::selectionCrossesFourGiB()
{
    const QString path = Sparse(k4G + 0x100, k4G - 4, "ABCDEFGH");
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file past 4 GiB");
    LargeWindow w(path);
    QSignalSpy moved(w.pView.get(), &CHexView::caretMoved);
    QVERIFY(w->GoToOffset(Hex(k4G - 8), false));
    w.WithShift("Down");
    const CSelection sel = w->ShownSelection();
    QCOMPARE(sel.First(), k4G - 8);
    QCOMPARE(sel.Length(), qint64(16));
    QVERIFY(!moved.isEmpty());
    QCOMPARE(moved.last().at(0).toLongLong(), k4G + 8);
    QCOMPARE(moved.last().at(1).toLongLong(), k4G - 8);
    QVERIFY2(m_frame.pBar->GetPaneText(MainFrame::kCaretPane).contains(Hex(k4G + 7)),
             qPrintable(m_frame.pBar->GetPaneText(MainFrame::kCaretPane)));

    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_COPY));
    QCOMPARE(m_clipboard.GetBytes(), QByteArray(4, '\0') + "ABCDEFGH" + QByteArray(4, '\0'));
    // A double-click there selects the byte under it.
    const QPoint cell = w->OffsetToCell(k4G);
    QTest::mouseDClick(w.Mouse(), Qt::LeftButton, Qt::NoModifier, w.CellCentre(cell.x(), cell.y()));
    QCOMPARE(w->ShownSelection().First(), k4G);
    QCOMPARE(w->ShownSelection().Length(), qint64(1));
}

// Find from before 4 GiB selects the match past it and shows its row.
void TestHexViewLarge::findsPastFourGiB()
{
    const qint64 nAt = k4G + 0x1234;
    const QString path = Sparse(k4G + 0x10000, nAt, "ZORBEL");
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file past 4 GiB");
    LargeWindow w(path);
    QVERIFY(w->GoToOffset(Hex(k4G - 0x100000), false));
    w->FindNext("ZORBEL", true, true);
    QCOMPARE(w->ShownSelection().First(), nAt);
    QCOMPARE(w->ShownSelection().Length(), qint64(6));
    const qint64 nTop = w->GetScrollPos(SB_VERT) / w->m_nLineHeight;
    QCOMPARE(nTop, nAt / 16);
    // The match's row is painted with its offset and its bytes.
    QByteArray row;
    w->FormatRow(nAt / 16, row, false);
    QVERIFY2(row.contains("5A 4F 52 42"), row.constData());
}

// A byte typed into a file of 4 GiB - 1 puts its last row at 4 GiB: every row's
// offset column widens at once, and narrows again on Undo.
void TestHexViewLarge::offsetColumnFollowsTheLength()
{
    const QString path = Sparse(k4G - 1);
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file of 4 GiB");
    LargeWindow w(path);
    QCOMPARE(w->m_nOffsetExtra, 0);
    w.Type("Tab x");
    QCOMPARE(w.doc.Length(), k4G);
    QCOMPARE(w->m_nOffsetExtra, 1);
    QCOMPARE(w->CellToClient(10, 0).x() - w->CellToClient(0, 0).x(), 11 * w->m_nCharWidth);
    QCOMPARE(w->GetTotalSize().width(), (CHexView::kRowColumns + 1) * w->m_nCharWidth);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_UNDO));
    QCOMPARE(w->m_nOffsetExtra, 0);
    QCOMPARE(w->GetTotalSize().width(), CHexView::kRowColumns * w->m_nCharWidth);
}

// Bookmarks follow edits past 4 GiB by their 64-bit offsets: typing there
// moves the one after it along and leaves the one near the start alone, undo
// moves it back, and Next Bookmark goes there.
void TestHexViewLarge::bookmarksPastFourGiBMoveWithEdits()
{
    const qint64 nAt = k4G + 0x40;
    const QString path = Sparse(k4G + 0x100, nAt, "MARK");
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file past 4 GiB");
    LargeWindow w(path);
    for (const qint64 nMark : {qint64(0x20), nAt}) {
        QVERIFY(w->GoToOffset(Hex(nMark), false));
        QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_TOGGLE_BOOKMARK));
    }
    QCOMPARE(w.doc.Bookmarks().Count(), 2);

    QVERIFY(w->GoToOffset(Hex(k4G + 0x10), false));
    w.Type("Tab x");
    QCOMPARE(w.doc.Bookmarks().At(0).nOffset, qint64(0x20));
    QCOMPARE(w.doc.Bookmarks().At(1).nOffset, nAt + 1);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_UNDO));
    QCOMPARE(w.doc.Bookmarks().At(0).nOffset, qint64(0x20));
    QCOMPARE(w.doc.Bookmarks().At(1).nOffset, nAt);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_NEXT_BOOKMARK));
    QCOMPARE(w->ShownSelection().First(), nAt);
}

QTEST_MAIN(TestHexViewLarge)
#include "tst_hexview_large.moc"
