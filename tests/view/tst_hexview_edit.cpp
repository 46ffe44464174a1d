#include "afxmsg.h"
#include "beep.h"
#include "editfixture.h"
#include "resource.h"
#include "syslang.h"
#include "testsupport.h"

#include <QClipboard>
#include <QRandomGenerator>
#include <QScopeGuard>


namespace {

QByteArray Hex(const char* pszHex)
{
    return QByteArray::fromHex(pszHex);
}

QByteArray Counting(int n)
{
    QByteArray bytes(n, 0);
    for (int i = 0; i < n; ++i)
        bytes[i] = char(i);
    return bytes;
}

void Select(EditWindow& w, std::uint32_t nAnchor, std::uint32_t nEnd)
{
    w->SelectRange(nAnchor, nEnd);
}

bool Run(EditWindow& w, unsigned nID)
{
    return w->OnCmdMsg(nID, nullptr);
}

// Records the message boxes shown while it lives.
struct MessageLog {
    QStringList texts;
    MessageBoxHandler previous = AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        texts << text;
        return IDOK;
    });
    ~MessageLog() { AfxSetMessageBoxHandler(previous); }
};

} // namespace

// Delete, Cut, Copy and Paste, the edit primitives and their limits.
class TestHexViewEdit : public QObject {
    Q_OBJECT

private slots:
    void init() { SetSystemLocaleOverride("en_US"); }
    void copyPastesBackByteForByte_data();
    void copyPastesBackByteForByte();
    void systemClipboardCarriesTheBytes();
    void pastesOtherProgramsText_data();
    void pastesOtherProgramsText();
    void pastesTextOfferedOnlyWithItsCharset();
    void rightClickMovesTheCaretOutsideTheSelection();
    void cutsAndPastesOverARightToLeftSelection();
    void deletes_data();
    void deletes();
    void copiesTheShownSelection_data();
    void copiesTheShownSelection();
    void editOverASelectionLeavesNoHighlight_data();
    void editOverASelectionLeavesNoHighlight();
    void cutOfNothingEndsTheSelection();
    void refusesGrowthPastTheLimit();
    void otherViewsFollowTheLength();
    void otherViewsFollowTheRowsAndCodePage();
    void otherViewsSelectionFollowsItsBytes();
    void farRowsPaintAsAFreshView_data();
    void farRowsPaintAsAFreshView();
    void keepsOffsetsBelowFourGiB();
    void randomEditsKeepTheInvariants();

private:
    MainFrame m_frame;
    CMemoryClipboard m_clipboard;
};

void TestHexViewEdit::copyPastesBackByteForByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");   // what other programs read
    QTest::newRow("zero byte inside") << Hex("410042") << QString::fromLatin1("A\0B", 3);
    QTest::newRow("leading zero byte") << Hex("0041") << QString::fromLatin1("\0A", 2);
    QTest::newRow("every value") << Counting(256) << QString();
}

void TestHexViewEdit::copyPastesBackByteForByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    EditWindow w(bytes);
    Select(w, 0, std::uint32_t(bytes.size()));
    QVERIFY(Run(w, ID_EDIT_COPY));
    QVERIFY(w->HasSelection());
    QVERIFY(!w.doc.IsModified());
    QVERIFY(AfxClipboardHasBytes());
    if (!text.isNull())
        QCOMPARE(m_clipboard.MimeData()->text(), text);

    w.Press("End");
    QVERIFY(Run(w, ID_EDIT_PASTE));
    QCOMPARE(w.Bytes(), bytes + bytes);
    QCOMPARE(w->m_nCaretPos, std::uint32_t(bytes.size()));
    QVERIFY(w.InvariantsHold());
}

void TestHexViewEdit::systemClipboardCarriesTheBytes()
{
    CClipboard* pFake = CClipboard::SetInstance(nullptr);
    EditWindow w(Hex("41004280"));
    Select(w, 4, 0);
    w->OnEditCopy();
    const auto restore = qScopeGuard([pFake] { CClipboard::SetInstance(pFake); });
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("A\0B€", 6));
    w.Press("End");
    w->OnEditPaste();
    QCOMPARE(w.Bytes(), Hex("41004280 41004280"));
    QGuiApplication::clipboard()->setText(QStringLiteral("xy"));
    QVERIFY(AfxClipboardHasBytes());
    QString text;
    QCOMPARE(CClipboard::Instance()->GetBytes(&text), QByteArray());
    QCOMPARE(text, QString("xy"));
    QGuiApplication::clipboard()->clear();
    QVERIFY(!AfxClipboardHasBytes());
}

void TestHexViewEdit::pastesOtherProgramsText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("cp");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("result");   // pasted over byte 1 of 00 01 02 selected; empty: refused
    QTest::newRow("1252 under en_US") << "en_US" << 1252 << QString::fromUtf8("AB€") << Hex("00 414280 02");
    QTest::newRow("932 under zh_CN") << "zh_CN" << 932 << QString::fromUtf8("中文カ") << Hex("00 928695B6834A 02");
    QTest::newRow("936 under ja_JP") << "ja_JP" << 936 << QString::fromUtf8("中文") << Hex("00 D6D0CEC4 02");
    QTest::newRow("950 under C") << "C" << 950 << QString::fromUtf8("中") << Hex("00 A4A4 02");
    QTest::newRow("1252 cannot hold it") << "en_US" << 1252 << QString::fromUtf8("AB€中") << QByteArray();
    QTest::newRow("932 cannot hold it under zh_CN") << "zh_CN" << 932 << QString::fromUtf8("这") << QByteArray();
}

// Another program's text is written in the code page the document shows, not
// the system's; a text the page cannot hold pastes nothing and says why.
void TestHexViewEdit::pastesOtherProgramsText()
{
    QFETCH(QString, locale);
    QFETCH(int, cp);
    QFETCH(QString, text);
    QFETCH(QByteArray, result);
    SetSystemLocaleOverride(locale);
    int nBeeps = 0;
    AfxSetBeepHook([&nBeeps](unsigned) { ++nBeeps; });
    const auto restore = qScopeGuard([] { AfxSetBeepHook({}); });
    m_frame.pBar->SetPaneText(0, QString());
    m_clipboard.SetForeignText(text);
    QVERIFY(AfxClipboardHasBytes());
    EditWindow w(Hex("000102"));
    w.doc.SetCodePage(cp);
    Select(w, 1, 2);
    w->OnEditPaste();
    if (result.isEmpty()) {
        QCOMPARE(w.Bytes(), Hex("000102"));
        QVERIFY(w->HasSelection());
        QVERIFY(!w.doc.IsModified());
        QCOMPARE(nBeeps, 1);
        QVERIFY(m_frame.pBar->GetPaneText(0).contains(QString::number(cp)));
    } else {
        QCOMPARE(w.Bytes().toHex(' '), result.toHex(' '));
        QCOMPARE(w->m_nCaretPos, 1u);
        QCOMPARE(nBeeps, 0);
    }
}

// Some programs offer text only as text/plain;charset=utf-8.
void TestHexViewEdit::pastesTextOfferedOnlyWithItsCharset()
{
    auto* pData = new QMimeData;
    pData->setData("text/plain;charset=utf-8", QString::fromUtf8("中A").toUtf8());
    m_clipboard.SetMimeData(pData);
    QVERIFY(AfxClipboardHasBytes());
    EditWindow w(Hex("0001"));
    w.doc.SetCodePage(936);
    w->m_nCaretPos = 1;
    w->OnEditPaste();
    QCOMPARE(w.Bytes().toHex(' '), QByteArray("00 d6 d0 41 01"));
}

// The context menu acts on what was clicked: a right click moves the caret to
// the byte under it, unless that byte is selected, which keeps the selection.
void TestHexViewEdit::rightClickMovesTheCaretOutsideTheSelection()
{
    EditWindow w(Counting(0x40));
    const auto rightClick = [&w](int nByte) {
        const int nColumn = 10 + 3 * (nByte % 16) + (nByte % 16 >= 8 ? 1 : 0);
        QTest::mouseClick(w.Mouse(), Qt::RightButton, Qt::NoModifier, w.CellCentre(nColumn, nByte / 16));
    };
    rightClick(0x13);
    QCOMPARE(w->m_nCaretPos, 0x13u);
    Select(w, 0x20, 0x24);
    rightClick(0x22);
    QVERIFY(w->HasSelection());
    QVERIFY(Run(w, ID_EDIT_CLEAR));
    QCOMPARE(w.doc.GetLength(), 0x3Cu);
    QCOMPARE(std::uint8_t(w.doc.Data()[0x20]), 0x24);
    Select(w, 0x20, 0x24);
    rightClick(0x05);
    QVERIFY(!w->HasSelection());
    QCOMPARE(w->m_nCaretPos, 0x05u);
}

void TestHexViewEdit::cutsAndPastesOverARightToLeftSelection()
{
    EditWindow w(Counting(0x30));
    QTest::mousePress(w.Mouse(), Qt::LeftButton, {}, w.CellCentre(22, 1));
    QTest::mouseMove(w.Mouse(), w.CellCentre(10, 1));
    QTest::mouseRelease(w.Mouse(), Qt::LeftButton, {}, w.CellCentre(10, 1));
    QCOMPARE(w->GetSelection().Anchor(), 0x14u);
    QCOMPARE(w->GetSelection().End(), 0x10u);
    QVERIFY(Run(w, ID_EDIT_CUT));
    QCOMPARE(m_clipboard.GetBytes(), Hex("10111213"));
    QCOMPARE(w.doc.GetSize() - 1, 0x2Cu);
    QCOMPARE(w.Bytes().mid(0x0F, 2), Hex("0F14"));
    QCOMPARE(w->m_nCaretPos, 0x10u);
    QVERIFY(!w->HasSelection());
    QCOMPARE(m_frame.pBar->GetPaneText(1), QString("44 Byte(s)"));

    Select(w, 0x12, 0x10);
    QVERIFY(Run(w, ID_EDIT_PASTE));
    QCOMPARE(w.Bytes().mid(0x0E, 8), Hex("0E0F 10111213 1617"));
    QCOMPARE(w->m_nCaretPos, 0x10u);
    QVERIFY(!w->HasSelection());
    QVERIFY(w.InvariantsHold());
}

void TestHexViewEdit::copiesTheShownSelection_data()
{
    QTest::addColumn<QString>("steps");
    QTest::newRow("End, Select All, Ctrl, Copy") << "End All Copy";
    QTest::newRow("Shift+End, Ctrl, Cut") << "S+End Cut";
    QTest::newRow("click, wheel, Shift+click, Ctrl, Copy") << "Click Wheel S+Click Copy";
    QTest::newRow("Shift+Down past the window, Ctrl, Copy") << "S+Down20 Copy";
}

// A selection whose anchor lies above the window: Ctrl pressed for the
// command's key scrolls nothing and drops nothing, and Copy and Cut take the
// selection that is shown.
void TestHexViewEdit::copiesTheShownSelection()
{
    QFETCH(QString, steps);
    const QByteArray bytes = Counting(4000);
    EditWindow w(bytes);
    m_clipboard.Clear();
    bool bCut = false;
    for (const QString& step : steps.split(' ')) {
        if (step == "All") {
            QVERIFY(Run(w, ID_EDIT_SELECT_ALL));
        } else if (step == "S+End") {
            w.WithShift("End");
        } else if (step == "S+Down20") {
            w.WithShift(QStringList(20, "Down").join(' '));
        } else if (step == "Click") {
            QTest::mouseClick(w.Mouse(), Qt::LeftButton, Qt::NoModifier, w.CellCentre(10, 1));
        } else if (step == "S+Click") {
            QTest::mouseClick(w.Mouse(), Qt::LeftButton, Qt::ShiftModifier, w.CellCentre(10, 2));
        } else if (step == "Wheel") {
            const QPointF at(50, 50);
            QWheelEvent event(at, w.Mouse()->mapToGlobal(at), QPoint(), QPoint(0, -600), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w.Mouse(), &event);
            QVERIFY(w->GetScrollPos(SB_VERT) > 0);
        } else if (step == "Copy" || step == "Cut") {
            bCut = step == "Cut";
            QVERIFY(w->HasSelection());
            QTest::simulateEvent(w.Keys(), true, Qt::Key_Control, Qt::NoModifier, QString(), false);
            QVERIFY(Run(w, bCut ? ID_EDIT_CUT : ID_EDIT_COPY));
            QTest::simulateEvent(w.Keys(), false, Qt::Key_Control, Qt::ControlModifier, QString(), false);
        } else {
            w.Press(step);
        }
    }
    // What the selection held is on the clipboard, and with Cut gone from the
    // document.
    QString text;
    const QByteArray copied = CClipboard::Instance()->GetBytes(&text);
    QVERIFY(!copied.isEmpty());
    const qsizetype nFirst = bytes.indexOf(copied.left(16));
    QVERIFY(nFirst >= 0 && nFirst < 0x20);
    QCOMPARE(copied, bytes.mid(nFirst, copied.size()));
    if (steps.startsWith("Click"))
        QCOMPARE(copied.size(), (w->GetScrollPos(SB_VERT) / qint64(w->m_nLineHeight) + 2) * 16 - 0x10);
    else if (steps.startsWith("S+Down"))
        QCOMPARE(copied.size(), 20 * 16);
    else
        QCOMPARE(copied.size(), bytes.size());
    if (bCut)
        QCOMPARE(w.Bytes(), bytes.left(nFirst) + bytes.mid(nFirst + copied.size()));
    else
        QCOMPARE(w.Bytes(), bytes);
}

void TestHexViewEdit::editOverASelectionLeavesNoHighlight_data()
{
    QTest::addColumn<unsigned>("nID");
    QTest::addColumn<bool>("bHexColumn");
    QTest::newRow("Delete") << unsigned(ID_EDIT_CLEAR) << true;
    QTest::newRow("Cut") << unsigned(ID_EDIT_CUT) << true;
    QTest::newRow("Paste") << unsigned(ID_EDIT_PASTE) << true;
    QTest::newRow("Delete, text column") << unsigned(ID_EDIT_CLEAR) << false;
    QTest::newRow("Paste, text column") << unsigned(ID_EDIT_PASTE) << false;
}

// Click, Shift+Down, Shift+Right, then the command and Left: what the screen
// shows in both columns is plain, as nothing is selected. The command's whole
// repaint is only scheduled, and paints plain when it comes; but in the
// program the status bar shares the view's window, and a pane that repaints
// at once during the edit paints everything the window has waiting, the rows
// too, while the selection still stands. Here the byte count, reported as the
// edit is made, repaints a pixel of the view at once, as such a pane would: the
// highlight painted then must be taken back.
void TestHexViewEdit::editOverASelectionLeavesNoHighlight()
{
    QFETCH(unsigned, nID);
    QFETCH(bool, bHexColumn);
    CMemoryClipboard clipboard;
    clipboard.SetForeignText("xy");
    EditWindow w(QByteArray(0x60, ' '));
    QTest::mouseClick(w.Mouse(), Qt::LeftButton, Qt::NoModifier, w.CellCentre(bHexColumn ? 13 : 63, 1));
    w.WithShift("Down Right");
    QVERIFY(w->HasSelection());
    QObject::connect(w.pView.get(), &CHexView::byteCountChanged, w.pView.get(),
                     [&w] { w->viewport()->repaint(QRect(0, 0, 1, 1)); });
    QVERIFY(Run(w, nID));
    w.Press("Left");
    QVERIFY(!w->HasSelection());
    QTest::qWait(20);
    const QImage screen = w.Screen();
    // Blank cells: between hex pairs, and spaces in the text column.
    for (int nLine = 1; nLine <= 3; ++nLine) {
        for (const int nColumn : {15, 18, 33, 34, 37, 40, 66, 70, 75}) {
            QVERIFY2(w.Pixel(screen, nColumn, nLine) == qRgb(255, 255, 255),
                     qPrintable(QString("cell %1, line %2").arg(nColumn).arg(nLine)));
        }
    }
}

void TestHexViewEdit::deletes_data()
{
    QTest::addColumn<QString>("keys");         // typed first, from offset 2 of 00 01 02
    QTest::addColumn<quint32>("nCaret");
    QTest::addColumn<quint32>("nSelEnd");      // a selection from nCaret, when different
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<quint32>("nCaretAfter");
    QTest::addColumn<bool>("bModified");

    QTest::newRow("on the end marker") << "" << 3u << 3u << Hex("000102") << 3u << false;
    QTest::newRow("the last byte") << "" << 2u << 2u << Hex("0001") << 2u << true;
    QTest::newRow("a selection") << "" << 2u << 0u << Hex("02") << 0u << true;
    QTest::newRow("during the pause") << "A" << 1u << 1u << Hex("000102") << 1u << true;
}

void TestHexViewEdit::deletes()
{
    QFETCH(QString, keys);
    QFETCH(quint32, nCaret);
    QFETCH(quint32, nSelEnd);
    EditWindow w(Hex("000102"));
    w->m_nCaretPos = nCaret;
    w.Type(keys);
    if (nSelEnd != nCaret)
        Select(w, nCaret, nSelEnd);
    QVERIFY(Run(w, ID_EDIT_CLEAR));
    QTEST(w.Bytes(), "result");
    QTEST(quint32(w->m_nCaretPos), "nCaretAfter");
    QTEST(w.doc.IsModified(), "bModified");
    QVERIFY(w->m_bInsertMode && !w->m_bResumeInsert);
    QCOMPARE(m_frame.pBar->GetPaneText(1), QString("%1 Byte(s)").arg(w.doc.GetSize() - 1));
    QVERIFY(w.InvariantsHold());
}

void TestHexViewEdit::cutOfNothingEndsTheSelection()
{
    m_clipboard.SetForeignText("kept");
    EditWindow w(Hex("000102"));
    Select(w, 1, 1);
    QVERIFY(w->HasSelection());
    w->OnEditCut();
    QVERIFY(!w->HasSelection());
    QCOMPARE(w.Bytes(), Hex("000102"));
    QString text;
    m_clipboard.GetBytes(&text);
    QCOMPARE(text, QString("kept"));
}

void TestHexViewEdit::refusesGrowthPastTheLimit()
{
    MessageLog log;
    const std::uint64_t nLimit = CHexDoc::s_nMaxFileLength;
    CHexDoc::s_nMaxFileLength = 5;
    EditWindow w(Hex("00010203"));
    w.Type("A 1");
    QCOMPARE(w.Bytes(), Hex("A100010203"));
    QVERIFY(log.texts.isEmpty());
    w.Type("B");
    QCOMPARE(w.Bytes(), Hex("A100010203"));
    QVERIFY(!w->m_bResumeInsert);
    QCOMPARE(log.texts.size(), 1);
    QVERIFY(log.texts[0].contains("5"));

    m_clipboard.SetForeignText("xyz");
    Select(w, 1, 3);
    w->OnEditPaste();
    QCOMPARE(log.texts.size(), 2);
    QCOMPARE(w.Bytes(), Hex("A100010203"));
    QVERIFY(w->HasSelection());
    m_clipboard.SetForeignText("xy");
    w->OnEditPaste();
    QCOMPARE(w.Bytes(), Hex("A178790203"));

    // Replace All may fill the document up to the limit, not past it.
    Select(w, 0, 0);
    w->ReplaceAll("78", "58", false);
    QCOMPARE(w.Bytes(), Hex("A158790203"));
    QCOMPARE(log.texts.size(), 2);
    Select(w, 0, 0);
    w->ReplaceAll("79", "79 79", false);
    QCOMPARE(w.Bytes(), Hex("A158790203"));
    QCOMPARE(log.texts.size(), 3);
    CHexDoc::s_nMaxFileLength = nLimit;
}

void TestHexViewEdit::otherViewsFollowTheLength()
{
    EditWindow w(Counting(0x100));
    std::unique_ptr<CHexView> pOther = w.OpenView(QSize(1000, 120));
    pOther->m_nCaretPos = 0xF0;
    pOther->OnVScroll(SB_BOTTOM, 0, nullptr);
    Select(w, 0x10, 0xF8);
    QVERIFY(Run(w, ID_EDIT_CUT));
    QCOMPARE(pOther->m_nRows, 2u);
    QCOMPARE(pOther->m_nCaretPos, 0x10u);   // its byte was cut: where the cut was
    QCOMPARE(pOther->GetTotalSize().height(), 2 * int(pOther->m_nLineHeight));
    QCOMPARE(pOther->GetScrollPos(SB_VERT), 0);
    w->m_nCaretPos = 0;
    w.Type("Tab a b c d e f g h i");
    QCOMPARE(pOther->m_nRows, 3u);
    QCOMPARE(m_frame.pBar->GetPaneText(1), QString("33 Byte(s)"));

    // A selection in the other window keeps within the end after this one's
    // undo, which leaves the caret and selection of this window alone.
    pOther->SelectRange(0x10, 0x21);
    w->m_nCaretPos = 3;
    QVERIFY(Run(w, ID_EDIT_UNDO));
    QCOMPARE(pOther->m_nRows, 2u);
    QVERIFY(pOther->HasSelection());
    QCOMPARE(pOther->GetSelection().Beyond(), 0x18u);
    QVERIFY(w.InvariantsHold(pOther.get(), nullptr));
}

// A selection made in another window stays on its bytes when this window
// deletes or inserts bytes before it, so Delete there removes what was selected.
void TestHexViewEdit::otherViewsSelectionFollowsItsBytes()
{
    EditWindow w(Counting(0x40));
    std::unique_ptr<CHexView> pOther = w.OpenView(QSize(1000, 200));
    QWidget* pKeys = pOther.get();
    QTest::keyClick(pKeys, Qt::Key_Down);
    QTest::keyClick(pKeys, Qt::Key_Down);
    QTest::simulateEvent(pKeys, true, Qt::Key_Shift, Qt::NoModifier, QString(), false);
    for (int i = 0; i < 4; ++i) {
        QTest::simulateEvent(pKeys, true, Qt::Key_Right, Qt::ShiftModifier, QString(), false);
        QTest::simulateEvent(pKeys, false, Qt::Key_Right, Qt::ShiftModifier, QString(), false);
    }
    QTest::simulateEvent(pKeys, false, Qt::Key_Shift, Qt::ShiftModifier, QString(), false);
    QVERIFY(pOther->HasSelection());

    Select(w, 0x04, 0x08);
    QVERIFY(Run(w, ID_EDIT_CLEAR));
    w->m_nCaretPos = 0;
    w.Type("a b");
    QVERIFY(Run(w, ID_EDIT_UNDO));
    w.Type("Ins 1 2 Ins 3 4");   // one byte overwritten, one inserted
    QCOMPARE(w.Bytes().left(2), QByteArray("\x12\x34"));

    QVERIFY(pOther->OnCmdMsg(ID_EDIT_CLEAR, nullptr));
    QByteArray expected = Counting(0x40);
    expected.remove(0x20, 4);
    expected.remove(0x04, 4);
    expected[0] = char(0x12);
    expected.insert(1, char(0x34));
    QCOMPARE(w.Bytes().toHex(' '), expected.toHex(' '));
    QVERIFY(w.InvariantsHold(pOther.get(), nullptr));
}

// The row cache of another window follows an edit made in this one (a long
// run of GB lead bytes moves by a byte, so every row's pairing flips), and a
// code page chosen in one window is drawn in every window.
void TestHexViewEdit::otherViewsFollowTheRowsAndCodePage()
{
    EditWindow w(QByteArray(3 * int(kLongLeadRun), char(0xB0)) + "tail");
    w.doc.SetCodePage(936);
    std::unique_ptr<CHexView> pOther = w.OpenView(QSize(600, 120));
    const std::uint32_t nRow = kLongLeadRun / 16 + 5;
    QVERIFY(!pOther->IsRowContinued(nRow, true));   // remembers the run from offset 0
    w->m_nCaretPos = 0;
    w.Type("Tab x");
    QVERIFY(pOther->IsRowContinued(nRow, true));
    QVERIFY(Run(w, ID_EDIT_UNDO));
    QVERIFY(!pOther->IsRowContinued(nRow, true));
    // New contents as a whole (as a reload puts in) drop what was remembered.
    w.doc.SetContents('a' + QByteArray(3 * int(kLongLeadRun), char(0xB0)));
    QVERIFY(pOther->IsRowContinued(nRow, true));
    QVERIFY(w->IsRowContinued(nRow, true));

    QVERIFY(Run(w, ID_VIEW_CODEPAGE_WESTERN));
    QCOMPARE(w.doc.GetCodePage(), 1252);
    QCOMPARE(pOther->m_logFont.lfCharSet, std::uint8_t(DEFAULT_CHARSET));
    w->m_nCaretPos = 0;
    w.Type("x");
    QVERIFY(!pOther->IsRowContinued(nRow, true));
}

void TestHexViewEdit::farRowsPaintAsAFreshView_data()
{
    QTest::addColumn<unsigned>("command");   // the code page
    QTest::addColumn<char>("lead");          // fills the document after "ab"
    QTest::addColumn<QString>("keys");       // typed at the start of row 1 (Ins: overwrite), Delete or Paste

    const struct {
        const char* pszName;
        unsigned nCommand;
        char lead;
    } pages[] = {{"GB", ID_VIEW_CODEPAGE_GB, char(0xB0)},
                 {"BIG5", ID_VIEW_CODEPAGE_BIG5, char(0xA4)},
                 {"Shift JIS", ID_VIEW_CODEPAGE_SJIS, char(0x88)}};
    for (const auto& page : pages) {
        QTest::addRow("%s, a lead byte inserted", page.pszName) << page.nCommand << page.lead << "B 0";
        QTest::addRow("%s, two inserted", page.pszName) << page.nCommand << page.lead << "B 0 B 0";
        QTest::addRow("%s, a letter inserted", page.pszName) << page.nCommand << page.lead << "4 1";
        QTest::addRow("%s, a letter pasted", page.pszName) << page.nCommand << page.lead << "Paste";
        QTest::addRow("%s, one deleted", page.pszName) << page.nCommand << page.lead << "Delete";
        QTest::addRow("%s, a letter over a lead byte", page.pszName) << page.nCommand << page.lead << "Ins 4 1";
    }
}

// Rows far from an edit, deep in a run of lead bytes whose pairing the edit
// shifts, paint as a view opened afresh on the same bytes paints them.
void TestHexViewEdit::farRowsPaintAsAFreshView()
{
    QFETCH(unsigned, command);
    QFETCH(char, lead);
    QFETCH(QString, keys);

    EditWindow w("ab" + QByteArray(200000, lead));
    QVERIFY(Run(w, command));
    // The far rows are formatted once before the edit.
    w->OnVScroll(SB_BOTTOM, 0, nullptr);
    w->viewport()->repaint();
    w->OnVScroll(SB_TOP, 0, nullptr);
    w.Type("Down");
    if (keys == "Delete") {   // the main frame's key for it
        QVERIFY(Run(w, ID_EDIT_CLEAR));
    } else if (keys == "Paste") {   // a letter inserted in one step
        m_clipboard.SetForeignText("A");
        QVERIFY(Run(w, ID_EDIT_PASTE));
    } else {
        w.Type(keys);
    }
    QVERIFY(w.doc.IsModified());
    EditWindow fresh(w.Bytes());
    QVERIFY(Run(fresh, command));
    QCoreApplication::processEvents();   // the scroll bars settle
    for (const unsigned nCode : {unsigned(SB_BOTTOM), unsigned(SB_PAGEUP)}) {
        w->OnVScroll(nCode, 0, nullptr);
        fresh->OnVScroll(nCode, 0, nullptr);
        QCOMPARE(fresh->GetScrollPos(SB_VERT), w->GetScrollPos(SB_VERT));
        QVERIFY(w.Grab() == fresh.Grab());
    }
}

// A document of the largest length, its zero bytes mapped without memory: its
// rows are taller than an int counts in pixels, and every part of it must still
// be reachable by the scroll bar, the keys and the mouse, and painted.
void TestHexViewEdit::keepsOffsetsBelowFourGiB()
{
    const std::size_t nSize = std::size_t(CHexDoc::kMaxFileLength) + 1;
    std::uint8_t* p = CHexDoc::AllocBuffer(std::uint32_t(nSize));
    MessageLog log;
    EditWindow w(QByteArray(16, 'a'));
    p[nSize - 1] = 0xFF;
    p[0xFFFFFFF0] = 0xAB;
    w.doc.AdoptBuffer(p, std::uint32_t(nSize));
    const std::uint32_t nLast = std::uint32_t(nSize - 1);
    const qint64 lh = w->m_nLineHeight;
    const qint64 nBottom = 0x10000000ll * lh - w->viewport()->height();
    QCOMPARE(w->m_nRows, 0x10000000u);
    QCOMPARE(w->GetTotalHeight(), 0x10000000ll * lh);

    // The scroll bar reaches the end and the middle.
    QScrollBar* bar = w->verticalScrollBar();
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(w->GetScrollPos(SB_VERT), nBottom);
    bar->setSliderPosition(bar->maximum() / 2);
    QVERIFY(qAbs(w->GetScrollPos(SB_VERT) - nBottom / 2) < 2 * lh);
    QCOMPARE(w->GetScrollPos(SB_VERT) % lh, 0);
    const qint64 nMiddle = w->GetScrollPos(SB_VERT);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(w->GetScrollPos(SB_VERT), nMiddle + lh);

    // Page Down past the middle moves by whole pages, Down and Page Down stop at the end.
    const auto nSecondLine = std::uint32_t((nMiddle / lh + 2) * 16);
    w->m_nCaretPos = nSecondLine;
    w.Press("PgDn");
    QCOMPARE(w->m_nCaretPos, nSecondLine + w->m_nClientHeight / lh * 16);
    QCOMPARE(w->GetScrollPos(SB_VERT), nMiddle + lh + w->GetPageSize().height());
    w->m_nCaretPos = nLast - 20;
    w.Press("PgDn");
    QCOMPARE(w->m_nCaretPos, nLast);
    w->m_nCaretPos = nLast - 5;
    w.Press("Down");
    QCOMPARE(w->m_nCaretPos, nLast);

    // End shows the last row, with its offset, its pairs and the caret.
    w.Press("End");
    QCOMPARE(w->m_nCaretPos, nLast);
    QCOMPARE(w->GetScrollPos(SB_VERT), nBottom);
    const int nLine = w->OffsetToCell(nLast).y();
    // Rows are drawn one pixel down, so the last one's bottom line lies just below.
    QVERIFY(w->viewport()->rect().adjusted(0, 0, 0, 1).contains(w->GetCaretRect()));
    QCOMPARE(w->GetCaretRect().top(), w->CellToClient(0, nLine).y());
    const QImage image = w.Grab().convertToFormat(QImage::Format_RGB32);
    const auto ink = [&](int nColumn, int nCount) {
        const QRect cells =
            QRect(w->CellToClient(nColumn, nLine), QSize(nCount * w->m_nCharWidth, int(lh))).intersected(image.rect());
        int n = 0;
        for (int y = cells.top(); y <= cells.bottom(); ++y)
            for (int x = cells.left(); x <= cells.right(); ++x)
                n += image.pixel(x, y) != qRgb(255, 255, 255);
        return n;
    };
    QVERIFY(ink(0, 8) > 0);       // "FFFFFFF0"
    QVERIFY(ink(10, 2) > 0);      // "AB"
    QCOMPARE(ink(54, 4), 0);      // the end marker's blank pair, right of the caret

    // Clicks and drags in the last rows land there.
    QTest::mouseClick(w.Mouse(), Qt::LeftButton, {}, w.CellCentre(10, nLine));
    QCOMPARE(w->m_nCaretPos, 0xFFFFFFF0u);
    QTest::mouseClick(w.Mouse(), Qt::LeftButton, {}, w.CellCentre(13, nLine - 1));
    QCOMPARE(w->m_nCaretPos, 0xFFFFFFE1u);
    QTest::mouseClick(w.Mouse(), Qt::LeftButton, {}, w.CellCentre(78, nLine));
    QCOMPARE(w->m_nCaretPos, nLast);
    QTest::mousePress(w.Mouse(), Qt::LeftButton, {}, w.CellCentre(10, nLine - 1));
    QTest::mouseMove(w.Mouse(), QPoint(w.CellCentre(10, 0).x(), 1 << 30));
    QCOMPARE(w->GetSelection().End(), 0xFFFFFFF0u);
    QTest::mouseRelease(w.Mouse(), Qt::LeftButton, {}, w.CellCentre(10, nLine - 1));

    // Page Up goes back by whole pages from there.
    w->m_nCaretPos = nLast;
    w.Press("PgUp");
    QCOMPARE(w->GetScrollPos(SB_VERT), nBottom - w->GetPageSize().height());

    // Nothing more fits: typing at the end is refused with a message.
    w->m_nCaretPos = nLast;
    w.Type("A Tab x");
    QCOMPARE(w.doc.GetSize(), std::uint32_t(nSize));
    QCOMPARE(log.texts.size(), 2);
    QVERIFY(w.InvariantsHold());
}

// Long random runs of keys, clicks, drags and edit commands in two views of one
// document, with the invariants checked after every step.
void TestHexViewEdit::randomEditsKeepTheInvariants()
{
    static const QStringList keys = {"Left", "Right", "Up", "Down", "Home", "End", "PgUp", "PgDn", "Ins", "Tab",
                                     "A", "7", "f", "x", "KP7", "KP3", "S+B", "Esc"};
    static const unsigned commands[] = {ID_EDIT_CLEAR, ID_EDIT_COPY, ID_EDIT_CUT, ID_EDIT_PASTE};
    QRandomGenerator random(20240611);
    EditWindow w(Counting(40), QSize(1000, 160));
    std::unique_ptr<CHexView> pOther = w.OpenView(QSize(600, 100));
    for (int step = 0; step < 3000; ++step) {
        const int nKind = random.bounded(10);
        QString what;
        if (nKind < 5) {
            what = keys[random.bounded(keys.size())];
            w.Press(what);
        } else if (nKind < 6) {
            what = "shift " + keys[random.bounded(6)];
            w.WithShift(what.mid(6));
        } else if (nKind < 8) {
            const QPoint a = w.CellCentre(random.bounded(-3, 85), random.bounded(-1, 12));
            const QPoint b = w.CellCentre(random.bounded(-3, 85), random.bounded(-1, 12));
            what = QString("drag %1,%2 to %3,%4").arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y());
            QTest::mousePress(w.Mouse(), Qt::LeftButton, {}, a);
            QTest::mouseMove(w.Mouse(), b);
            QTest::mouseRelease(w.Mouse(), Qt::LeftButton, {}, b);
        } else {
            const unsigned nID = commands[random.bounded(4)];
            what = QString("command %1").arg(nID);
            Run(w, nID);
        }
        QString why;
        QVERIFY2(w.InvariantsHold(&why), qPrintable(QString("step %1, %2: %3").arg(step).arg(what, why)));
        QVERIFY2(pOther->m_nRows == w->m_nRows && pOther->m_nCaretPos < w.doc.GetSize()
                     && pOther->GetSelection().End() < w.doc.GetSize(),
                 qPrintable(QString("step %1, %2: the other view").arg(step).arg(what)));
    }
}

QTEST_MAIN(TestHexViewEdit)
#include "tst_hexview_edit.moc"
