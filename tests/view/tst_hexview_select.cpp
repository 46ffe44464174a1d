#include "afxmsg.h"
#include "editfixture.h"
#include "resource.h"
#include "resources.h"
#include "syslang.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

namespace {

const QRgb kDarkGrey = qRgb(123, 123, 123);
const QRgb kLightGrey = qRgb(231, 231, 231);

// The left button through the window, as the platform delivers it.
void Mouse(const EditWindow& w, QTest::MouseAction action, QPoint client,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWindow* pWindow = w.pView->window()->windowHandle();
    QTest::mouseEvent(action, pWindow, Qt::LeftButton, modifiers, w.Mouse()->mapTo(w.pView->window(), client));
}

int HexColumn(int k)
{
    return 10 + 3 * k + (k >= 8 ? 1 : 0);
}

// The hex cell of byte k of its row, on line nLine.
QPoint HexCell(const EditWindow& w, int k, int nLine)
{
    return w.CellCentre(HexColumn(k), nLine);
}

// The colour most of a cell shows: its background, whatever glyph is drawn on it.
QRgb CellBackground(const EditWindow& w, const QImage& image, int nColumn, int nLine)
{
    const QRect cell(w->CellToClient(nColumn, nLine), QSize(w->m_nCharWidth, int(w->m_nLineHeight) - 1));
    QHash<QRgb, int> counts;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb best = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(best))
            best = it.key();
    return best;
}

// Steps a person takes, separated by ";": "keys ..." (see EditWindow::Type),
// "shift ..." (keys with Shift held), "click k,line", "shift-click k,line" and
// "dclick k,line" on the hex cell of byte k, "text-dclick k,line" on its text cell,
// "drag k,line k,line" from one hex cell to another (press, one move, release),
// "all" for Select All, "find hex" and "replace-all hex by hex" (the bytes
// as the Find dialog takes them), "delete" and "undo".
void Act(const EditWindow& w, const QString& steps)
{
    for (const QString& step : steps.split(';', Qt::SkipEmptyParts)) {
        const QString verb = step.trimmed().section(' ', 0, 0);
        const QString rest = step.trimmed().section(' ', 1);
        const QStringList at = rest.section(' ', 0, 0).split(',');
        const auto cell = [&] {
            return verb.startsWith("text") ? w.CellCentre(62 + at[0].toInt(), at[1].toInt())
                                           : HexCell(w, at[0].toInt(), at[1].toInt());
        };
        if (verb == "keys") {
            w.Type(rest);
        } else if (verb == "drag" || verb == "drag-columns") {
            const QStringList to = rest.section(' ', 1).split(',');
            const bool bColumns = verb == "drag-columns";
            const QPoint a = bColumns ? w.CellCentre(at[0].toInt(), at[1].toInt()) : cell();
            const QPoint b = bColumns ? w.CellCentre(to[0].toInt(), to[1].toInt()) : HexCell(w, to[0].toInt(), to[1].toInt());
            QTest::mousePress(w.Mouse(), Qt::LeftButton, {}, a);
            QTest::mouseMove(w.Mouse(), b);
            QTest::mouseRelease(w.Mouse(), Qt::LeftButton, {}, b);
        } else if (verb == "shift") {
            w.WithShift(rest);
        } else if (verb == "click") {
            Mouse(w, QTest::MouseClick, cell());
        } else if (verb == "shift-click") {
            Mouse(w, QTest::MouseClick, cell(), Qt::ShiftModifier);
        } else if (verb == "dclick" || verb == "text-dclick") {
            Mouse(w, QTest::MouseDClick, cell());
        } else if (verb == "all") {
            w->OnEditSelectAll();
        } else if (verb == "find") {
            w->FindNext(rest, true, false);
        } else if (verb == "replace-all") {
            w->ReplaceAll(rest.section(" by ", 0, 0), rest.section(" by ", 1), false);
        } else if (verb == "delete" || verb == "undo") {
            w->OnCmdMsg(verb == "delete" ? ID_EDIT_CLEAR : ID_EDIT_UNDO, nullptr);
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
}

} // namespace

// Whole selections, Shift+click and double-click, the caret pane, Copy as Hex
// and Go To on a real view.
class TestHexViewSelect : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void caretPane_data();
    void caretPane();
    void caretPaneOfTheActiveWindowOnly();
    void highlightsWhatIsSelected_data();
    void highlightsWhatIsSelected();
    void doubleClick_data();
    void doubleClick();
    void selectAll_data();
    void selectAll();
    void copyHex_data();
    void copyHex();
    void goTo_data();
    void goTo();
    void goToDialog();
    void goToDialogConvertsAndExtends();

private:
    QString Pane() const { return m_frame.pBar->GetPaneText(MainFrame::kCaretPane); }

    MainFrame m_frame;
    QStringList m_messages;
};

void TestHexViewSelect::init()
{
    SetSystemLocaleOverride("en_US");
    AfxSetResourceLanguage(LANG_EN_US);
    m_messages.clear();
    AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
        m_messages.append(text);
        return IDOK;
    });
}

void TestHexViewSelect::cleanup()
{
    AfxSetMessageBoxHandler(nullptr);
}

void TestHexViewSelect::caretPane_data()
{
    QTest::addColumn<QString>("steps");   // in a file of 0x40 blanks
    QTest::addColumn<QString>("pane");

    QTest::newRow("start") << "" << "Offset: 0x0 (0)";
    QTest::newRow("keys") << "keys Right Right Down" << "Offset: 0x12 (18)";
    QTest::newRow("the end marker") << "keys End" << "Offset: 0x40 (64)";
    QTest::newRow("Shift+Right") << "shift Right Right Right" << "Offset: 0x3 (3)  Selected: 0x0-0x2, 3 Byte(s)";
    QTest::newRow("Shift+Left back to the anchor") << "keys Right; shift Right Left" << "Offset: 0x1 (1)";
    QTest::newRow("selection collapsed by a key") << "shift Right Right Right; keys Right" << "Offset: 0x4 (4)";
    QTest::newRow("click") << "click 1,1" << "Offset: 0x11 (17)";
    QTest::newRow("click ends a selection") << "shift Right Right; click 1,1" << "Offset: 0x11 (17)";
    QTest::newRow("Shift+click from the caret") << "click 1,1; shift-click 5,1"
                                                << "Offset: 0x15 (21)  Selected: 0x11-0x14, 4 Byte(s)";
    QTest::newRow("Shift+click before the caret") << "click 5,1; shift-click 1,1"
                                                  << "Offset: 0x11 (17)  Selected: 0x11-0x14, 4 Byte(s)";
    QTest::newRow("Shift+click after keys") << "click 1,0; keys Down; shift-click 1,3"
                                            << "Offset: 0x31 (49)  Selected: 0x11-0x30, 32 Byte(s)";
    QTest::newRow("Shift+click keeps the anchor") << "click 4,0; shift-click 8,0; shift-click 2,0"
                                                  << "Offset: 0x2 (2)  Selected: 0x2-0x3, 2 Byte(s)";
    QTest::newRow("Shift+click on the anchor") << "click 4,0; shift-click 4,0" << "Offset: 0x4 (4)";
    QTest::newRow("Shift+click after Shift+keys") << "keys Right; shift Right Right; shift-click 0,1"
                                                  << "Offset: 0x10 (16)  Selected: 0x1-0xF, 15 Byte(s)";
    QTest::newRow("double-click") << "dclick 7,2" << "Offset: 0x28 (40)  Selected: 0x27-0x27, 1 Byte(s)";
    QTest::newRow("typing moves it") << "click 3,0; keys 4 1" << "Offset: 0x4 (4)";
    QTest::newRow("Select All") << "all" << "Offset: 0x40 (64)  Selected: 0x0-0x3F, 64 Byte(s)";
}

void TestHexViewSelect::caretPane()
{
    QFETCH(QString, steps);
    EditWindow w(QByteArray(0x40, ' '));
    Act(w, steps);
    QTEST(Pane(), "pane");
    QVERIFY(w.InvariantsHold());
}

// Two windows of one document: an edit in one repaints the other, which must
// not take the pane over. Without an active window each view writes its own.
void TestHexViewSelect::caretPaneOfTheActiveWindowOnly()
{
    EditWindow w(QByteArray(0x40, ' '));
    std::unique_ptr<CHexView> pOther = w.OpenView();
    w->m_nCaretPos = 5;
    pOther->m_nCaretPos = 9;
    pOther->PlaceCaret();
    QCOMPARE(Pane(), QString("Offset: 0x9 (9)"));
    w->PlaceCaret();
    QCOMPARE(Pane(), QString("Offset: 0x5 (5)"));
}

void TestHexViewSelect::highlightsWhatIsSelected_data()
{
    QTest::addColumn<QString>("steps");   // in a file of 0x40 blanks
    QTest::newRow("drag down") << "drag 3,1 9,2";
    QTest::newRow("drag up") << "drag 3,3 0,1";
    QTest::newRow("drag up within a row") << "drag 9,2 2,2";
    QTest::newRow("drag up after a selection by keys") << "shift Right Right; drag 12,1 4,0";
    // The end crosses the anchor of a selection the keys did not make, after
    // one the keys made the other way: the old highlight goes.
    QTest::newRow("Shift+Up across a found match's start")
        << "click 5,2; shift Up; keys Left; find 20 20 20; shift Up";
    QTest::newRow("Shift+Up across a replacement's start")
        << "click 5,2; shift Up; keys Left; replace-all 20 20 20 by 20 20 20; shift Up";
    QTest::newRow("Shift+Down across the anchor of an undone upward selection")
        << "click 5,1; shift Left Left Left; delete; all; undo; shift Down";
}

// What the screen shows after the steps, read from the screen, not a fresh
// rendering: both digits of every selected byte highlighted and no other
// byte's, except the first byte's high digit when the caret's digit is the low one.
void TestHexViewSelect::highlightsWhatIsSelected()
{
    QFETCH(QString, steps);
    EditWindow w(QByteArray(0x40, ' '));
    Act(w, steps);
    QVERIFY(w->HasSelection());
    QCoreApplication::processEvents();
    const QImage image = w.Screen();
    const std::uint32_t lo = w->GetSelection().First();
    const std::uint32_t hi = w->GetSelection().Beyond();
    QString shown, expected;
    for (std::uint32_t nOffset = 0; nOffset < 0x40; ++nOffset) {
        const int k = int(nOffset % 16);
        const int nLine = int(nOffset / 16);
        const bool bSelected = nOffset >= lo && nOffset < hi;
        for (const int nColumn : {HexColumn(k), HexColumn(k) + 1, 62 + k})
            shown += CellBackground(w, image, nColumn, nLine) == qRgb(255, 255, 255) ? '.' : 'x';
        expected += bSelected && (nOffset != lo || w->m_bHighNibble) ? 'x' : '.';
        expected += bSelected ? "xx" : "..";
        if (k == 15) {
            shown += '\n';
            expected += '\n';
        }
    }
    QCOMPARE(shown, expected);
}

void TestHexViewSelect::doubleClick_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("bSelection");
    QTest::addColumn<quint32>("nAnchor");
    QTest::addColumn<quint32>("nEnd");

    // Shift JIS: "ab", a character 82 A0 at 2-3, then 'a' up to a character
    // 82 A0 whose lead byte ends row 0; 0x12 bytes in all.
    QTest::newRow("hex pair of a lead byte") << "dclick 2,0" << true << 2u << 3u;
    QTest::newRow("hex pair of a trail byte") << "dclick 3,0" << true << 3u << 4u;
    QTest::newRow("text cell of a single byte") << "text-dclick 1,0" << true << 1u << 2u;
    QTest::newRow("left half of a character") << "text-dclick 2,0" << true << 2u << 4u;
    QTest::newRow("right half of a character") << "text-dclick 3,0" << true << 2u << 4u;
    QTest::newRow("character spilling into the next row") << "text-dclick 15,0" << true << 15u << 17u;
    QTest::newRow("its spilled half") << "text-dclick 16,0" << true << 15u << 17u;
    QTest::newRow("the next row's first cell") << "text-dclick 0,1" << true << 15u << 17u;
    QTest::newRow("after a spilled character") << "text-dclick 1,1" << true << 17u << 18u;
    QTest::newRow("end marker's pair") << "dclick 2,1" << false << 18u << 18u;
    QTest::newRow("end marker's text cell") << "text-dclick 2,1" << false << 18u << 18u;
    QTest::newRow("again after a selection") << "dclick 0,0; text-dclick 3,0" << true << 2u << 4u;
}

void TestHexViewSelect::doubleClick()
{
    QFETCH(QString, steps);
    QFETCH(bool, bSelection);
    QFETCH(quint32, nAnchor);
    QFETCH(quint32, nEnd);
    QByteArray bytes("ab\x82\xA0" "aaaaaaaaaaa\x82\xA0" "a");
    QCOMPARE(bytes.size(), 0x12);
    EditWindow w(bytes);
    w.doc.SetCodePage(932);
    Act(w, steps);
    QCOMPARE(w->HasSelection() && w->GetSelection().Anchor() != w->GetSelection().End(), bSelection);
    if (bSelection) {
        QCOMPARE(w->GetSelection().Anchor(), nAnchor);
        QCOMPARE(w->GetSelection().End(), nEnd);
        // The highlight shows in both columns, darker in the one clicked.
        const bool bText = steps.section(';', -1).trimmed().startsWith("text");
        const QImage image = w.Grab();
        const int k = int(nAnchor % 16);
        const int nLine = int(nAnchor / 16);
        QCOMPARE(CellBackground(w, image, 62 + k, nLine), bText ? kDarkGrey : kLightGrey);
        QCOMPARE(CellBackground(w, image, HexColumn(k) + 1, nLine), bText ? kLightGrey : kDarkGrey);
    } else {
        QCOMPARE(w->m_nCaretPos, nAnchor);
    }
    // The release after the double-click leaves the caret at the anchor, as a drag does.
    QCOMPARE(w->m_nCaretPos, nAnchor);
    QVERIFY(w.InvariantsHold());
}

void TestHexViewSelect::selectAll_data()
{
    QTest::addColumn<int>("nLength");
    QTest::newRow("empty file") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("more rows than the window") << 0x1000;
}

void TestHexViewSelect::selectAll()
{
    QFETCH(int, nLength);
    EditWindow w(QByteArray(nLength, 'x'), QSize(1000, 200));
    w.Type("Right");
    CCmdUI state(ID_EDIT_SELECT_ALL);
    QVERIFY(w->OnCmdMsg(ID_EDIT_SELECT_ALL, &state));
    QCOMPARE(state.IsEnabled(), nLength > 0);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_SELECT_ALL) == (nLength > 0));
    if (nLength == 0) {
        QVERIFY(!w->HasSelection());
        return;
    }
    QCOMPARE(w->GetSelection().Anchor(), 0u);
    QCOMPARE(w->GetSelection().End(), quint32(nLength));
    QCOMPARE(CellBackground(w, w.Grab(), HexColumn(0), 0), kDarkGrey);
    if (nLength > 0x30)
        QCOMPARE(CellBackground(w, w.Grab(), 62 + 15, 2), kLightGrey);

    CMemoryClipboard clipboard;
    w->OnEditCopy();
    QCOMPARE(clipboard.GetBytes(), w.Bytes());
    // Typing replaces nothing: the selection collapses onto its end, where the key acts.
    w.Type("Left");
    QVERIFY(!w->HasSelection());
    QCOMPARE(w->m_nCaretPos, quint32(nLength - 1));
}

void TestHexViewSelect::copyHex_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("keys");   // from offset 0, with Shift held
    QTest::addColumn<QString>("text");

    QTest::newRow("four bytes") << QByteArray::fromHex("DEADBEEF00") << "Right Right Right Right" << "DE AD BE EF";
    QTest::newRow("one zero byte") << QByteArray(3, '\0') << "Right" << "00";
    QTest::newRow("backwards") << QByteArray::fromHex("0A0B0C") << "End Left Left" << "0B 0C";
    QTest::newRow("nothing selected") << QByteArray("abc") << "" << "clipboard";
    QTest::newRow("back to the anchor") << QByteArray("abc") << "Right Left" << "clipboard";
}

void TestHexViewSelect::copyHex()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    EditWindow w(bytes);
    CMemoryClipboard clipboard;
    clipboard.SetForeignText("clipboard");
    if (keys.startsWith("End"))
        w.Type("End");
    if (!keys.isEmpty())
        w.WithShift(keys.startsWith("End") ? keys.mid(4) : keys);
    CCmdUI state(ID_EDIT_COPY_HEX);
    QVERIFY(w->OnCmdMsg(ID_EDIT_COPY_HEX, &state));
    QCOMPARE(state.IsEnabled(), w->HasSelection());
    w->OnEditCopyHex();
    QCOMPARE(clipboard.MimeData()->text(), text);
    // It is text: other programs and Paste read the characters, not the bytes.
    QVERIFY(!clipboard.MimeData()->hasFormat(CClipboard::kBytesMimeType));
    QCOMPARE(w.Bytes(), bytes);
}

void TestHexViewSelect::goTo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bDecimal");
    QTest::addColumn<quint32>("nCaret");   // then Shift+Right twice; the file has 0x1000 bytes
    QTest::addColumn<qint64>("nAfter");    // -1: refused
    QTest::addColumn<QString>("message");

    QTest::newRow("far down") << "F00" << false << 0u << qint64(0xF00) << "";
    QTest::newRow("0x, back up") << "0x20" << false << 0xF00u << qint64(0x20) << "";
    QTest::newRow("decimal") << "256" << true << 0u << qint64(0x100) << "";
    QTest::newRow("relative to the selection's moving end") << "+10" << false << 0x20u << qint64(0x32) << "";
    QTest::newRow("the end marker") << "1000" << false << 0u << qint64(0x1000) << "";
    // The offset named in both bases, as the end is.
    QTest::newRow("past the end marker") << "1001" << false << 0x20u << qint64(-1)
                                         << "4097 (0x1001) is past the end of the file, which is 4096 bytes long (0x1000).";
    QTest::newRow("decimal past the end") << " 4097 " << true << 0x20u << qint64(-1)
                                          << "4097 (0x1001) is past the end of the file, which is 4096 bytes long (0x1000).";
    QTest::newRow("relative past the end") << "+FF0" << false << 0x20u << qint64(-1)
                                           << "4114 (0x1012) is past the end of the file, which is 4096 bytes long (0x1000).";
    QTest::newRow("more digits than any offset") << "123456789ABCDEF" << false << 0x20u << qint64(-1)
                                                 << "123456789ABCDEF is past the end of the file, which is 4096 bytes long (0x1000).";
    QTest::newRow("to the start") << "-22" << false << 0x20u << qint64(0) << "";
    QTest::newRow("before the start") << "-23" << false << 0x20u << qint64(-1)
                                       << "-23 is before the start of the file.";
    QTest::newRow("no number") << "ab cd" << false << 0x20u << qint64(-1)
                               << "\"ab cd\" is not an offset. Type hexadecimal digits such as 1A2B, or decimal "
                                  "digits with Decimal ticked; a leading + or - counts from the caret.";
}

// The caret lands on the offset's high digit with its row on screen and any
// selection gone; a refused offset changes nothing.
void TestHexViewSelect::goTo()
{
    QFETCH(QString, text);
    QFETCH(bool, bDecimal);
    QFETCH(quint32, nCaret);
    QFETCH(qint64, nAfter);
    EditWindow w(QByteArray(0x1000, 'x'), QSize(1000, 200));
    w->MoveCaretTo(nCaret);
    w.WithShift("Right Right");
    const qint64 nScroll = w->GetScrollPos(SB_VERT);
    QCOMPARE(w->GoToOffset(text, bDecimal), nAfter >= 0);
    QTEST(m_messages.join('|'), "message");
    if (nAfter < 0) {
        QVERIFY(w->HasSelection());
        QCOMPARE(w->GetScrollPos(SB_VERT), nScroll);
        return;
    }
    QVERIFY(!w->HasSelection());
    QCOMPARE(w->m_nCaretPos, quint32(nAfter));
    QVERIFY(w->m_bHighNibble);
    const qint64 nRowTop = qint64(nAfter / 16) * w->m_nLineHeight - w->GetScrollPos(SB_VERT);
    QVERIFY2(nRowTop >= 0 && nRowTop + w->m_nLineHeight <= w->m_nClientHeight, qPrintable(QString::number(nRowTop)));
    const QRect caret = w->GetCaretRect();
    QCOMPARE(caret.topLeft(), w->CellToClient(w->OffsetToCell(quint32(nAfter)).x(), w->OffsetToCell(quint32(nAfter)).y()));
    QCOMPARE(Pane(), QString("Offset: 0x%1 (%2)").arg(QString::number(nAfter, 16).toUpper()).arg(nAfter));
}

// Through the dialog as a person uses it: a refused offset keeps the dialog
// open for another try, and the base chosen is offered next time.
void TestHexViewSelect::goToDialog()
{
    EditWindow w(QByteArray(0x100, 'x'));
    QStringList seen;
    const auto answer = [&](const QString& keys, bool bTickDecimal) {
        QTimer::singleShot(0, [&, keys, bTickDecimal] {
            auto* pDialog = QApplication::activeModalWidget();
            QVERIFY(pDialog);
            auto* pEdit = pDialog->findChild<QLineEdit*>("offset");
            auto* pDecimal = pDialog->findChild<QCheckBox*>("decimal");
            seen.append(pEdit->text() + (pDecimal->isChecked() ? " dec" : " hex"));
            if (bTickDecimal)
                pDecimal->setChecked(true);
            QTest::keyClicks(pEdit, keys);
            QTest::keyClick(pEdit, Qt::Key_Return);
            if (pDialog->isVisible()) {
                QTest::keyClick(pEdit, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(pEdit, "+8");
                QTest::keyClick(pEdit, Qt::Key_Return);
            }
        });
        w->OnEditGoTo();
    };
    answer("1G", false);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(w->m_nCaretPos, 8u);
    answer("100", true);
    QCOMPARE(w->m_nCaretPos, 100u);
    answer("20", false);
    QCOMPARE(w->m_nCaretPos, 20u);
    QCOMPARE(seen, QStringList({"0 hex", "8 hex", "100 dec"}));
    QCOMPARE(m_messages.size(), 1);
}

// Ticking Decimal rewrites the number in the box in decimal, clearing it back in
// hexadecimal; Extend selection selects from the caret to the offset.
void TestHexViewSelect::goToDialogConvertsAndExtends()
{
    EditWindow w(QByteArray(0x100, 'x'));
    w->MoveCaretTo(0x1A);
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* pDialog = QApplication::activeModalWidget();
        QVERIFY(pDialog);
        auto* pEdit = pDialog->findChild<QLineEdit*>("offset");
        auto* pDecimal = pDialog->findChild<QCheckBox*>("decimal");
        auto* pExtend = pDialog->findChild<QCheckBox*>("extend");
        QTest::keyClick(pDecimal, Qt::Key_Space);
        seen << pEdit->text();
        QTest::keyClicks(pEdit, "40");   // the converted number stays selected
        QTest::keyClick(pDecimal, Qt::Key_Space);
        seen << pEdit->text();
        pEdit->setText("+0x10");
        QTest::keyClick(pDecimal, Qt::Key_Space);
        seen << pEdit->text();
        QTest::keyClick(pExtend, Qt::Key_Space);
        QTest::keyClick(pEdit, Qt::Key_Return);
    });
    w->OnEditGoTo();
    QCOMPARE(seen, QStringList({"26", "28", "+16"}));
    QVERIFY(w->HasSelection());
    QCOMPARE(w->GetSelection().First(), 0x1Au);
    QCOMPARE(w->GetSelection().Beyond(), 0x2Au);
}

QTEST_MAIN(TestHexViewSelect)
#include "tst_hexview_select.moc"
