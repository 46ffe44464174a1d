#include "beep.h"
#include "cmdtarget.h"
#include "editfixture.h"
#include "resource.h"
#include "syslang.h"
#include "testsupport.h"

namespace {

QByteArray Hex(const char* pszHex)
{
    return QByteArray::fromHex(pszHex);
}

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kDarkGrey = qRgb(123, 123, 123);
const QRgb kLightGrey = qRgb(231, 231, 231);

// Left-button actions through the window, as the platform delivers them: the
// widget under the pointer, or the one holding the implicit grab.
void Mouse(const EditWindow& w, QTest::MouseAction action, QPoint client)
{
    QWindow* pWindow = w.pView->window()->windowHandle();
    const QPoint at = w.Mouse()->mapTo(w.pView->window(), client);
    if (action == QTest::MouseMove)
        QTest::mouseMove(pWindow, at);
    else
        QTest::mouseEvent(action, pWindow, Qt::LeftButton, Qt::NoModifier, at);
}

} // namespace

// Caret moves, selection and its highlight, typing and the mouse on a real view.
class TestHexViewInput : public QObject {
    Q_OBJECT

private slots:
    void init() { SetSystemLocaleOverride("en_US"); }
    void entersHexDigits_data();
    void entersHexDigits();
    void typesText_data();
    void typesText();
    void typesCapitalsWithShift_data();
    void typesCapitalsWithShift();
    void typesInTheDocumentCodePage_data();
    void typesInTheDocumentCodePage();
    void newWindowTypesInTheDocumentCodePage();
    void overwriteRefusesHalfACharacter();
    void loneShiftKeepsTheSelection();
    void overwritesEitherDigit_data();
    void overwritesEitherDigit();
    void movesByRows_data();
    void movesByRows();
    void stopsAtTheEnds_data();
    void stopsAtTheEnds();
    void selectsWithShift_data();
    void selectsWithShift();
    void selectsBeyondTheWindow_data();
    void selectsBeyondTheWindow();
    void extendsTheShownSelection_data();
    void extendsTheShownSelection();
    void paintsTheHighlight_data();
    void paintsTheHighlight();
    void shrinkingASelectionRepaints_data();
    void shrinkingASelectionRepaints();
    void stepToTheOtherDigitRepaints();
    void placesAStraddlingCharacter_data();
    void placesAStraddlingCharacter();
    void clicksLandByTheRules_data();
    void clicksLandByTheRules();
    void dragsPastTheRowAndTheWindow();
    void scrollsDownOneLine_data();
    void scrollsDownOneLine();
    void scrollsUpFromTheTopLine();
    void insertTogglesTheMode();
    void followsTheHorizontalScroll();

private:
    MainFrame m_frame;
};

void TestHexViewInput::entersHexDigits_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<quint32>("nCaret");   // from offset 5 of 00 11 22 33 44 55 66
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<quint32>("nCaretAfter");
    QTest::addColumn<bool>("bInsert");
    QTest::addColumn<bool>("bHigh");

    QTest::newRow("A then 7") << "A 7" << 5u << Hex("00112233 44A75566") << 6u << true << true;
    QTest::newRow("A then Right") << "A Right" << 5u << Hex("00112233 44A05566") << 6u << true << true;
    QTest::newRow("A then keypad 7") << "A KP7" << 5u << Hex("00112233 44A75566") << 6u << true << true;
    QTest::newRow("keypad 7 8 9 0") << "KP7 KP8 KP9 KP0" << 5u << Hex("00112233 44789055 66") << 7u << true << true;
    QTest::newRow("A, Ctrl alone, 7") << "A Ctrl 7" << 5u << Hex("00112233 44A75566") << 6u << true << true;
    QTest::newRow("A, Shift alone, 7") << "A Shift 7" << 5u << Hex("00112233 44A75566") << 6u << true << true;
    QTest::newRow("4, Caps Lock, a") << "4 Caps a" << 5u << Hex("00112233 444A5566") << 6u << true << true;
    QTest::newRow("4, Num Lock, KP2") << "4 NumLock KP2" << 5u << Hex("00112233 44425566") << 6u << true << true;
    QTest::newRow("a, Space, 1 2") << "a Space 1 2" << 5u << Hex("00112233 44A01255 66") << 7u << true << true;
    QTest::newRow("a, Esc, 1 2") << "a Esc 1 2" << 5u << Hex("00112233 44A01255 66") << 7u << true << true;
    QTest::newRow("A then Left") << "A Left" << 5u << Hex("00112233 44A05566") << 5u << true << true;
    QTest::newRow("A then keypad 3") << "A KP3" << 5u << Hex("00112233 44A35566") << 6u << true << true;
    QTest::newRow("4 then Shift+A") << "4 S+A" << 5u << Hex("00112233 444A5566") << 6u << true << true;
    QTest::newRow("4 then a") << "4 a" << 5u << Hex("00112233 444A5566") << 6u << true << true;
    QTest::newRow("overwrite f then 0") << "Ins f 0" << 2u << Hex("0011F033 445566") << 3u << false << true;
    QTest::newRow("overwrite on the end marker") << "Ins 7 7" << 7u << Hex("00112233 445566") << 7u << false << true;
    QTest::newRow("insert at the end marker") << "7 e" << 7u << Hex("00112233 4455667E") << 8u << true << true;
    QTest::newRow("not a digit") << "g Space" << 5u << Hex("00112233 445566") << 5u << true << true;
}

void TestHexViewInput::entersHexDigits()
{
    QFETCH(QString, keys);
    QFETCH(quint32, nCaret);
    QFETCH(QByteArray, result);
    EditWindow w(Hex("00112233445566"));
    w->m_nCaretPos = nCaret;
    w.Type(keys);
    QCOMPARE(w.Bytes().toHex(' '), result.toHex(' '));
    QTEST(quint32(w->m_nCaretPos), "nCaretAfter");
    QTEST(w->m_bInsertMode, "bInsert");
    QTEST(w->m_bHighNibble, "bHigh");
    QVERIFY(w.InvariantsHold());
}

void TestHexViewInput::typesText_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<quint32>("nCaret");   // in "abc"
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<quint32>("nCaretAfter");

    QTest::newRow("insert at the end marker") << "x" << 3u << QByteArray("abcx") << 4u;
    QTest::newRow("insert at the start") << "x y" << 0u << QByteArray("xyabc") << 2u;
    QTest::newRow("overwrite") << "Ins x" << 1u << QByteArray("axc") << 2u;
    QTest::newRow("overwrite on the end marker") << "Ins x" << 3u << QByteArray("abc") << 3u;
    QTest::newRow("control keys") << "Esc Ret" << 1u << QByteArray("abc") << 1u;
}

void TestHexViewInput::typesText()
{
    QFETCH(QString, keys);
    QFETCH(quint32, nCaret);
    EditWindow w("abc");
    w.Press("Tab");
    QVERIFY(!w->m_bHexColumn);
    QVERIFY(w->hasFocus());
    w->m_nCaretPos = nCaret;
    w.Type(keys);
    QTEST(w.Bytes(), "result");
    QTEST(quint32(w->m_nCaretPos), "nCaretAfter");
    QVERIFY(w.InvariantsHold());
    if (w.doc.GetSize() != 4)
        QCOMPARE(m_frame.pBar->GetPaneText(1), QString("%1 Byte(s)").arg(w.doc.GetSize() - 1));
}

void TestHexViewInput::typesCapitalsWithShift_data()
{
    QTest::addColumn<bool>("bHex");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QByteArray>("saved");

    const QString hello = "S+H e l l o Space S+W o r l d";
    QTest::newRow("text, insert, empty file") << false << QByteArray() << hello << QByteArray("Hello World");
    QTest::newRow("text, overwrite") << false << QByteArray("xxxxxxxxxxxx") << "Ins " + hello
                                     << QByteArray("Hello Worldx");
    QTest::newRow("text, capital last") << false << QByteArray("z") << "a S+B" << QByteArray("aBz");
    QTest::newRow("hex, insert, DEADBEEF") << true << QByteArray() << "S+D S+E S+A S+D S+B S+E S+E S+F"
                                           << Hex("DEADBEEF");
    QTest::newRow("hex, overwrite, ABCD") << true << Hex("00000000") << "Ins S+A S+B S+C S+D" << Hex("ABCD0000");
    QTest::newRow("hex, 4 then Shift+A") << true << Hex("FF") << "4 S+A" << Hex("4AFF");
    QTest::newRow("hex, Shift+A then 4") << true << QByteArray() << "S+A 4" << Hex("A4");
    QTest::newRow("hex, mixed case") << true << QByteArray() << "S+C a f S+E" << Hex("CAFE");
}

// Each capital typed with its own Shift press: the caret stays after what was
// typed, and a pause for a byte's second digit goes on. The bytes are checked
// in the saved file.
void TestHexViewInput::typesCapitalsWithShift()
{
    QFETCH(bool, bHex);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, keys);
    EditWindow w(bytes);
    if (!bHex)
        w.Press("Tab");
    w.Type(keys);
    QVERIFY(!w->HasSelection());
    QVERIFY(w.InvariantsHold());
    QTEST(w.SavedBytes(TestSupport::scratchDir() + "/capitals.bin"), "saved");
}

void TestHexViewInput::typesInTheDocumentCodePage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("cp");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");   // empty: refused

    QTest::newRow("1252 under en_US") << "en_US" << 1252 << QString::fromUtf8("é€") << Hex("E980");
    QTest::newRow("932 under zh_CN") << "zh_CN" << 932 << QString::fromUtf8("あ中") << Hex("82A0 9286");
    QTest::newRow("936 under ja_JP") << "ja_JP" << 936 << QString::fromUtf8("中") << Hex("D6D0");
    QTest::newRow("950 under C") << "C" << 950 << QString::fromUtf8("中") << Hex("A4A4");
    QTest::newRow("949 under C") << "C" << 949 << QString::fromUtf8("가갂") << Hex("B0A1 8141");
    QTest::newRow("1252 from 0x80-0x9F") << "C" << 1252 << QString::fromUtf8("€Ÿ") << Hex("809F");
    QTest::newRow("1252 cannot hold it") << "en_US" << 1252 << QString::fromUtf8("中") << QByteArray();
    QTest::newRow("936 cannot hold it") << "zh_CN" << 936 << QString::fromUtf8("😀") << QByteArray();
    QTest::newRow("932 cannot hold simplified") << "zh_CN" << 932 << QString::fromUtf8("a这") << QByteArray();
    QTest::newRow("65001 under zh_CN") << "zh_CN" << 65001 << QString::fromUtf8("中한😀")
                                       << Hex("E4B8AD ED959C F09F9880");
}

// Typed and committed text is written in the code page the text column shows,
// whatever the system's language; a character it cannot hold is refused with a
// beep and a message naming it, and nothing of the text goes in.
void TestHexViewInput::typesInTheDocumentCodePage()
{
    QFETCH(QString, locale);
    QFETCH(int, cp);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    SetSystemLocaleOverride(locale);
    int nBeeps = 0;
    AfxSetBeepHook([&nBeeps](unsigned) { ++nBeeps; });
    m_frame.pBar->SetPaneText(0, QString());
    EditWindow w{QByteArray()};
    w.doc.SetCodePage(cp);
    w.Press("Tab");
    QTest::sendKeyEvent(QTest::Click, w.Keys(), Qt::Key_unknown, text, Qt::NoModifier);
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(w.Keys(), &commit);
    AfxSetBeepHook({});
    QCOMPARE(w.Bytes().toHex(' '), (bytes + bytes).toHex(' '));
    QCOMPARE(nBeeps, bytes.isEmpty() ? 2 : 0);
    const QString message = m_frame.pBar->GetPaneText(0);
    if (bytes.isEmpty()) {
        QVERIFY2(message.contains(QString::number(cp)) && message.contains("U+"), qPrintable(message));
        QVERIFY(!w.doc.IsModified());
    } else {
        QVERIFY(message.isEmpty());
    }
}

// The code page belongs to the document: a window opened after the user chose
// Shift JIS in another shows it and types in it.
void TestHexViewInput::newWindowTypesInTheDocumentCodePage()
{
    SetSystemLocaleOverride("zh_CN");
    EditWindow w{QByteArray("abc")};
    QCOMPARE(w.doc.GetCodePage(), 936);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_VIEW_CODEPAGE_SJIS));
    const std::unique_ptr<CHexView> pSecond = w.OpenView();
    QCOMPARE(w.doc.GetCodePage(), 932);
    QTest::keyClick(pSecond.get(), Qt::Key_Tab);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("中"));
    QApplication::sendEvent(pSecond.get(), &commit);
    QCOMPARE(w.Bytes().toHex(' '), QByteArray("92 86 61 62 63"));
    SetSystemLocaleOverride(QString());
}

// Overwriting keeps the file's length: a double-byte character typed over the
// last byte is refused whole, with a beep and a message, not written in half.
void TestHexViewInput::overwriteRefusesHalfACharacter()
{
    int nBeeps = 0;
    AfxSetBeepHook([&nBeeps](unsigned) { ++nBeeps; });
    m_frame.pBar->SetPaneText(0, QString());
    EditWindow w{QByteArray("\x00\x01", 2)};
    w.doc.SetCodePage(936);
    w.Type("Tab Ins Right");
    const auto commit = [&w](const QString& text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(w.Keys(), &event);
    };
    commit(QString::fromUtf8("中"));
    AfxSetBeepHook({});
    QCOMPARE(w.Bytes().toHex(' '), QByteArray("00 01"));
    QCOMPARE(nBeeps, 1);
    QVERIFY(!w.doc.IsModified());
    const QString message = m_frame.pBar->GetPaneText(0);
    QVERIFY2(message.contains(QString::fromUtf8("中")) && message.contains(" 2 ") && message.contains(" 1 "),
             qPrintable(message));
    w.Type("Left");
    commit(QString::fromUtf8("中"));
    QCOMPARE(w.Bytes().toHex(' '), QByteArray("d6 d0"));
}

// A Shift press with no key that selects leaves a selection as it is: what is
// highlighted, selected and copied agree. After an unshifted key the next
// selecting Shift press starts a new selection at the caret and repaints the
// old one plain.
void TestHexViewInput::loneShiftKeepsTheSelection()
{
    EditWindow w(QByteArray(0x40, ' '));
    w->m_nCaretPos = 0x11;
    w.WithShift("Right Right");
    w.WithShift("");
    QVERIFY(w->HasSelection());
    QCOMPARE(w->GetSelection().Anchor(), 0x11u);
    QCOMPARE(w->GetSelection().End(), 0x13u);
    QCOMPARE(w->m_nCaretPos, 0x11u);
    QCOMPARE(w.Pixel(w.Grab(), 15, 1), kDarkGrey);

    // An unshifted key ends it: Down goes from its end to 0x23.
    w.Type("Down");
    w.WithShift("Left");
    QCOMPARE(w->GetSelection().Anchor(), 0x23u);
    QCOMPARE(w->GetSelection().End(), 0x22u);
    const QImage image = w.Grab();
    QCOMPARE(w.Pixel(image, 15, 1), kWhite);
    QCOMPARE(w.Pixel(image, 63, 1), kWhite);
    QCOMPARE(w.Pixel(image, 64, 2), kLightGrey);
    QCOMPARE(w.Pixel(image, 63, 2), kWhite);
}

void TestHexViewInput::overwritesEitherDigit_data()
{
    QTest::addColumn<quint32>("nCaret");   // in bytes 00 01 .. 1F
    QTest::addColumn<bool>("bHigh");
    QTest::addColumn<quint8>("result");
    QTest::addColumn<quint32>("nCaretAfter");

    QTest::newRow("byte 7, high digit") << 7u << true << quint8(0xC7) << 7u;
    QTest::newRow("byte 8, high digit") << 8u << true << quint8(0xC8) << 8u;
    QTest::newRow("byte 8, low digit") << 8u << false << quint8(0x0C) << 9u;
    QTest::newRow("byte 11, high digit") << 11u << true << quint8(0xCB) << 11u;
    QTest::newRow("byte 15, high digit") << 15u << true << quint8(0xCF) << 15u;
    QTest::newRow("byte 15, low digit") << 15u << false << quint8(0x0C) << 16u;
    QTest::newRow("second row, byte 8, high digit") << 24u << true << quint8(0xC8) << 24u;
    QTest::newRow("second row, last byte, low digit") << 31u << false << quint8(0x1C) << 32u;
}

// Overwriting one digit of a byte, in either half of a row: the halves' pairs
// sit one column apart.
void TestHexViewInput::overwritesEitherDigit()
{
    QFETCH(quint32, nCaret);
    QFETCH(bool, bHigh);
    QFETCH(quint8, result);
    QByteArray bytes(32, 0);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i);
    EditWindow w(bytes);
    w.Press("Ins");
    w->m_nCaretPos = nCaret;
    w->m_bHighNibble = bHigh;
    w->ResetCaret();
    w.Press("c");
    QByteArray expected = bytes;
    expected[nCaret] = char(result);
    QCOMPARE(w.Bytes().toHex(' '), expected.toHex(' '));
    QTEST(quint32(w->m_nCaretPos), "nCaretAfter");
    QCOMPARE(w->m_bHighNibble, !bHigh);
}

void TestHexViewInput::movesByRows_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<quint32>("nCaret");   // in 40 bytes: 40 is the end marker
    QTest::addColumn<quint32>("nCaretAfter");

    QTest::newRow("up from 16") << "Up" << 16u << 0u;
    QTest::newRow("up from 15") << "Up" << 15u << 15u;
    QTest::newRow("up from 33") << "Up" << 33u << 17u;
    QTest::newRow("down onto the end marker") << "Down" << 24u << 40u;
    QTest::newRow("down stops at the end marker") << "Down" << 25u << 40u;
    QTest::newRow("down from 23") << "Down" << 23u << 39u;
}

void TestHexViewInput::movesByRows()
{
    QFETCH(QString, key);
    QFETCH(quint32, nCaret);
    EditWindow w(QByteArray(40, 'x'));
    w->m_nCaretPos = nCaret;
    w.Press(key);
    QTEST(quint32(w->m_nCaretPos), "nCaretAfter");
}

void TestHexViewInput::stopsAtTheEnds_data()
{
    QTest::addColumn<bool>("bInsert");
    QTest::addColumn<bool>("bHex");
    QTest::addColumn<quint32>("nCaret");   // in a 3-byte file: 3 is the end marker
    QTest::addColumn<bool>("bHigh");
    QTest::addColumn<QString>("key");
    QTest::addColumn<quint32>("nCaretAfter");
    QTest::addColumn<bool>("bHighAfter");

    QTest::newRow("insert, left at 0") << true << true << 0u << true << "Left" << 0u << true;
    QTest::newRow("insert, right on the marker") << true << true << 3u << true << "Right" << 3u << true;
    QTest::newRow("insert, right moves a byte") << true << true << 1u << true << "Right" << 2u << true;
    QTest::newRow("overwrite, left at 0 high") << false << true << 0u << true << "Left" << 0u << true;
    QTest::newRow("overwrite, left at 0 low") << false << true << 0u << false << "Left" << 0u << true;
    QTest::newRow("overwrite, left from high") << false << true << 2u << true << "Left" << 1u << false;
    QTest::newRow("overwrite, right on the marker") << false << true << 3u << true << "Right" << 3u << true;
    QTest::newRow("overwrite, right from the last low") << false << true << 2u << false << "Right" << 3u << true;
    QTest::newRow("overwrite text, left at 0") << false << false << 0u << true << "Left" << 0u << true;
    QTest::newRow("overwrite text, right on the marker") << false << false << 3u << true << "Right" << 3u << true;
    QTest::newRow("down past the marker") << true << true << 1u << true << "Down" << 3u << true;
    QTest::newRow("up in the first row") << true << true << 2u << true << "Up" << 2u << true;
}

void TestHexViewInput::stopsAtTheEnds()
{
    QFETCH(quint32, nCaret);
    QFETCH(QString, key);
    EditWindow w("abc");
    QFETCH(bool, bInsert);
    QFETCH(bool, bHex);
    QFETCH(bool, bHigh);
    w->m_bInsertMode = bInsert;
    w->m_bHexColumn = bHex;
    w->m_bHighNibble = bHigh;
    w->m_nCaretPos = nCaret;
    w.Press(key);
    QTEST(quint32(w->m_nCaretPos), "nCaretAfter");
    QTEST(w->m_bHighNibble, "bHighAfter");
}

void TestHexViewInput::selectsWithShift_data()
{
    QTest::addColumn<quint32>("nCaret");   // in a file of 0x40 bytes
    QTest::addColumn<QString>("keys");     // with Shift held
    QTest::addColumn<quint32>("nAnchor");
    QTest::addColumn<quint32>("nEnd");

    QTest::newRow("three to the right") << 0x10u << "Right Right Right" << 0x10u << 0x13u;
    QTest::newRow("to the end, not the marker") << 0x10u << "End" << 0x10u << 0x40u;
    QTest::newRow("to the start") << 0x25u << "Home" << 0x25u << 0x00u;
    QTest::newRow("back across the anchor") << 0x10u << "Right Right Left Left Left" << 0x10u << 0x0Fu;
    QTest::newRow("down and up") << 0x10u << "Down Down Up" << 0x10u << 0x20u;
}

void TestHexViewInput::selectsWithShift()
{
    QFETCH(quint32, nCaret);
    QFETCH(QString, keys);
    QFETCH(quint32, nEnd);
    EditWindow w(QByteArray(0x40, ' '), QSize(1000, 100));
    w->m_nCaretPos = nCaret;
    w.WithShift(keys);
    QTEST(quint32(w->GetSelection().Anchor()), "nAnchor");
    QCOMPARE(w->GetSelection().End(), nEnd);
    QVERIFY(w->HasSelection());
    QCOMPARE(w->m_nCaretPos, w->GetSelection().Anchor());
    if (keys == "End")
        QCOMPARE(w->GetScrollPos(SB_VERT), w->verticalScrollBar()->maximum());

    // An unshifted key collapses the selection onto its moving end and acts there.
    w.Press("Right");
    QVERIFY(!w->HasSelection());
    QCOMPARE(w->m_nCaretPos, std::min(nEnd + 1, 0x40u));
    w->viewport()->repaint();
    QCOMPARE(w.Grab().pixel(w.CellCentre(12, 1)), kWhite);
}

void TestHexViewInput::selectsBeyondTheWindow_data()
{
    QTest::addColumn<quint32>("nCaret");   // in 0x1000 bytes, about 15 rows shown
    QTest::addColumn<QString>("keys");     // with Shift held
    QTest::addColumn<bool>("bForward");    // the moving end after the anchor
    QTest::newRow("Down past the last row") << 0x00u << QStringList(20, "Down").join(' ') << true;
    QTest::newRow("Page Down twice") << 0x08u << "PgDn PgDn" << true;
    QTest::newRow("Page Up twice") << 0x800u << "PgUp PgUp" << false;
    QTest::newRow("Ctrl+End") << 0x20u << "C+End" << true;
    QTest::newRow("Ctrl+Home") << 0x800u << "C+Home" << false;
}

// The window follows the moving end of a selection made by keys, and every
// key that moves the caret by a page or to an end extends the selection.
void TestHexViewInput::selectsBeyondTheWindow()
{
    QFETCH(quint32, nCaret);
    QFETCH(QString, keys);
    QFETCH(bool, bForward);
    EditWindow w(QByteArray(0x1000, ' '));
    w->MoveCaretTo(nCaret);
    w.WithShift(keys);
    QVERIFY(w->HasSelection());
    const CSelection sel = w->GetSelection();
    QCOMPARE(sel.Anchor(), nCaret);
    QVERIFY(sel.Length() >= 0x100);
    QCOMPARE(sel.IsForward(), bForward);
    const qint64 nTop = w->GetScrollPos(SB_VERT);
    const qint64 nRowTop = qint64(sel.End() / 16) * w->m_nLineHeight;
    // At most on the line below the last whole line, as for the caret.
    QVERIFY2(nRowTop >= nTop && nRowTop < nTop + w.Mouse()->height() + w->m_nLineHeight,
             qPrintable(QString("row at %1, window from %2").arg(nRowTop).arg(nTop)));
    // Highlighted on the screen, in the caret's column.
    const QImage image = w.Grab();
    int nHighlighted = 0;
    for (int nLine = 0; nLine < w.Mouse()->height() / int(w->m_nLineHeight); ++nLine)
        nHighlighted += w.Pixel(image, 12, nLine) == kDarkGrey ? 1 : 0;
    QVERIFY(nHighlighted >= 1);
}

void TestHexViewInput::extendsTheShownSelection_data()
{
    QTest::addColumn<QString>("between");   // between the two Shift presses
    QTest::addColumn<quint32>("nAnchor");
    QTest::addColumn<quint32>("nEnd");
    QTest::newRow("nothing") << "" << 0x11u << 0x14u;
    QTest::newRow("a click") << "Click" << 0x20u << 0x21u;
    QTest::newRow("an unshifted key") << "Right" << 0x14u << 0x15u;
}

// Shift+Right Right, Shift up, then Shift+Right again: the selection shown
// grows from its anchor. A click or an unshifted key starts afresh.
void TestHexViewInput::extendsTheShownSelection()
{
    QFETCH(QString, between);
    EditWindow w(QByteArray(0x40, ' '));
    w->MoveCaretTo(0x11);
    w.WithShift("Right Right");
    if (between == "Click")
        QTest::mouseClick(w.Mouse(), Qt::LeftButton, Qt::NoModifier, w.CellCentre(10, 2));
    else
        w.Type(between);
    w.WithShift("Right");
    QVERIFY(w->HasSelection());
    QTEST(quint32(w->GetSelection().Anchor()), "nAnchor");
    QTEST(quint32(w->GetSelection().End()), "nEnd");
}

void TestHexViewInput::paintsTheHighlight_data()
{
    QTest::addColumn<bool>("bHexColumn");
    QTest::newRow("caret in the hex column") << true;
    QTest::newRow("caret in the text column") << false;
}

// Bytes 0x11 and 0x12 selected in a file of blanks: the blanks between their
// pairs and their text cells show the background alone. The highlight stays
// through a full repaint and a resize.
void TestHexViewInput::paintsTheHighlight()
{
    QFETCH(bool, bHexColumn);
    EditWindow w(QByteArray(0x40, ' '));
    if (!bHexColumn)
        w.Press("Tab");
    w->m_nCaretPos = 0x11;
    w.WithShift("Right Right");
    const QRgb hexBack = bHexColumn ? kDarkGrey : kLightGrey;
    const QRgb textBack = bHexColumn ? kLightGrey : kDarkGrey;
    for (int pass = 0; pass < 3; ++pass) {
        const QImage image = w.Grab();
        QCOMPARE(w.Pixel(image, 15, 1), hexBack);    // between the pairs of 0x11 and 0x12
        QCOMPARE(w.Pixel(image, 18, 1), kWhite);     // after the pair of 0x12
        QCOMPARE(w.Pixel(image, 63, 1), textBack);
        QCOMPARE(w.Pixel(image, 64, 1), textBack);
        QCOMPARE(w.Pixel(image, 65, 1), kWhite);
        QCOMPARE(w.Pixel(image, 63, 0), kWhite);
        if (pass == 0)
            w->viewport()->repaint();
        else
            w->resize(w->width() + 40, w->height());
    }
}

void TestHexViewInput::shrinkingASelectionRepaints_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("nPlain");       // the byte in row 1 left plain
    QTest::addColumn<int>("nSelected");    // its neighbour, still selected

    QTest::newRow("backward, shrunk from the left") << "Up Right Right" << 6 << 7;
    QTest::newRow("forward, shrunk from the right") << "Down Left Left" << 3 << 2;
}

// The strip a selection gives up is painted plain at once. What the screen
// shows is read, not a fresh grab of the widget, which would repaint it all
// and hide a strip left highlighted.
void TestHexViewInput::shrinkingASelectionRepaints()
{
    QFETCH(QString, keys);
    QFETCH(int, nPlain);
    QFETCH(int, nSelected);
    EditWindow w(QByteArray(0x40, ' '));
    w->m_nCaretPos = keys.startsWith("Up") ? 0x25 : 0x05;
    w.WithShift(keys);
    QCoreApplication::processEvents();
    const QImage screen = w->screen()->grabWindow(w->winId()).toImage();
    const auto pixel = [&](int nColumn) {
        return screen.pixel(w->viewport()->mapTo(w.pView.get(), w.CellCentre(nColumn, 1)));
    };
    // The blank before a byte's pair, and its text cell.
    const auto blank = [](int nByte) { return 10 + 3 * nByte - 1 + (nByte >= 8 ? 1 : 0); };
    QCOMPARE(pixel(62 + nPlain), kWhite);
    QCOMPARE(pixel(62 + nSelected), kLightGrey);
    QCOMPARE(pixel(blank(std::max(nPlain, nSelected))), kWhite);
    QCOMPARE(pixel(blank(nPlain < nSelected ? nSelected + 1 : nSelected)), kDarkGrey);
}

// Overwriting, Shift+Down then Left from byte 0x10 ends on a low digit, which
// moves both ends of the hex highlight a cell right: the high digit of 0x10
// shows plain on the screen at once, its low digit highlighted.
void TestHexViewInput::stepToTheOtherDigitRepaints()
{
    EditWindow w(QByteArray(0x40, ' '));
    w.Press("Ins");
    w->m_nCaretPos = 0x10;
    w.WithShift("Down Left");
    QVERIFY(!w->m_bHighNibble);
    QCoreApplication::processEvents();
    const QImage screen = w.Screen();
    const auto corner = [&](int nColumn) { return screen.pixel(w->CellToClient(nColumn, 1) + QPoint(1, 1)); };
    QCOMPARE(corner(10), kWhite);
    QCOMPARE(corner(11), kDarkGrey);
}

void TestHexViewInput::placesAStraddlingCharacter_data()
{
    QTest::addColumn<int>("nScrollLines");
    QTest::newRow("row of the trail byte on line 8") << 0;
    QTest::newRow("row of the trail byte on line 5") << 3;
}

// A character of 932 whose lead byte ends row 7 and whose trail byte starts row 8.
void TestHexViewInput::placesAStraddlingCharacter()
{
    QFETCH(int, nScrollLines);
    QByteArray bytes(0x400, 'a');
    bytes[0x7F] = char(0x82);
    bytes[0x80] = char(0xA0);
    EditWindow w(bytes, QSize(1000, 240));
    w.doc.SetCodePage(932);
    w->OnVScroll(SB_THUMBPOSITION, unsigned(nScrollLines) * w->m_nLineHeight, nullptr);
    const int nLine = 8 - nScrollLines;
    w->m_nCaretPos = 0x80;
    w.Press("Tab");
    QCOMPARE(w->GetCaretRect().topLeft(), w->CellToClient(78, nLine - 1));
    w.WithShift("Right Right Right Right");
    QCOMPARE(w->GetSelection().End(), 0x84u);
    QVERIFY(w->m_rgnText.contains(w.CellCentre(78, nLine - 1)));
    QVERIFY(!w->m_rgnText.contains(w.CellCentre(77, nLine - 1)));
    QVERIFY(w->m_rgnText.contains(w.CellCentre(65, nLine)));
    QVERIFY(!w->m_rgnText.contains(w.CellCentre(66, nLine)));
}

void TestHexViewInput::clicksLandByTheRules_data()
{
    QTest::addColumn<bool>("bInsert");
    QTest::addColumn<int>("nColumn");
    QTest::addColumn<int>("nLine");
    QTest::addColumn<quint32>("nCaret");
    QTest::addColumn<bool>("bHex");
    QTest::addColumn<bool>("bHigh");

    // Rows 0-2 of 0x35 bytes; row 1 ends with the lead byte of a character.
    QTest::newRow("left margin") << true << -2 << 1 << 0x10u << true << true;
    QTest::newRow("offset column") << true << 3 << 1 << 0x10u << true << true;
    QTest::newRow("low digit, overwrite") << false << 14 << 0 << 0x01u << true << false;
    QTest::newRow("low digit, insert") << true << 14 << 0 << 0x01u << true << true;
    QTest::newRow("blank after a pair") << false << 15 << 0 << 0x02u << true << true;
    QTest::newRow("gap after byte 7") << false << 34 << 0 << 0x08u << true << true;
    QTest::newRow("blank 58 after the hex part") << false << 58 << 0 << 0x0Fu << true << false;
    QTest::newRow("blank 59 after the hex part") << false << 59 << 0 << 0x0Fu << true << false;
    QTest::newRow("blank 60 after the hex part") << false << 60 << 0 << 0x00u << false << true;
    QTest::newRow("blank 61 after the hex part") << false << 61 << 0 << 0x00u << false << true;
    QTest::newRow("right of a plain row") << true << 80 << 0 << 0x0Fu << false << true;
    QTest::newRow("right of a row ending in a lead byte") << true << 80 << 1 << 0x20u << false << true;
    QTest::newRow("below the last row") << true << 13 << 7 << 0x31u << true << true;
    QTest::newRow("below the last row, past its end") << true << 38 << 7 << 0x35u << true << true;
    QTest::newRow("text cell of the last row") << true << 70 << 3 << 0x35u << false << true;
}

void TestHexViewInput::clicksLandByTheRules()
{
    QFETCH(int, nColumn);
    QFETCH(int, nLine);
    QByteArray bytes(0x35, 'a');
    bytes[0x1F] = char(0x82);
    bytes[0x20] = char(0xA0);
    EditWindow w(bytes);
    w.doc.SetCodePage(932);
    QFETCH(bool, bInsert);
    w->m_bInsertMode = bInsert;
    QVERIFY(w->m_nLeftMargin > 2 * w->m_nCharWidth);
    Mouse(w, QTest::MouseClick, w.CellCentre(nColumn, nLine));
    QTEST(quint32(w->m_nCaretPos), "nCaret");
    QTEST(w->m_bHexColumn, "bHex");
    QTEST(w->m_bHighNibble, "bHigh");
}

// The pointer is followed past the row's end and out of the window while the
// button is held; the release out there ends the drag.
void TestHexViewInput::dragsPastTheRowAndTheWindow()
{
    EditWindow w(QByteArray(0x35, 'a'));
    Mouse(w, QTest::MousePress, w.CellCentre(10, 1));
    Mouse(w, QTest::MouseMove, w.CellCentre(50, 1));
    Mouse(w, QTest::MouseMove, w.CellCentre(80, 1));
    QCOMPARE(w->GetSelection().Anchor(), 0x10u);
    QCOMPARE(w->GetSelection().End(), 0x20u);
    QVERIFY(w->HasSelection());
    const QPoint outside(w.CellCentre(10, 0).x(), w.Mouse()->height() + 40);
    Mouse(w, QTest::MouseMove, outside);
    QCOMPARE(w->GetSelection().End(), 0x30u);
    Mouse(w, QTest::MouseRelease, outside);
    QCOMPARE(w->m_nCaretPos, 0x10u);
    Mouse(w, QTest::MouseMove, w.CellCentre(20, 0));
    QCOMPARE(w->GetSelection().End(), 0x30u);
    QVERIFY(w.InvariantsHold());
}

void TestHexViewInput::scrollsDownOneLine_data()
{
    QTest::addColumn<int>("nHalfLines");
    QTest::newRow("10 lines") << 20;
    QTest::newRow("10.5 lines") << 21;
}

// Line 10 is the first line not wholly shown, yet a caret there does not scroll.
void TestHexViewInput::scrollsDownOneLine()
{
    QFETCH(int, nHalfLines);
    EditWindow w(QByteArray(0x400, 'a'));
    const int nWanted = nHalfLines * int(w->m_nLineHeight) / 2;
    w->resize(w->width(), w->height() + nWanted - w->viewport()->height());
    QCOMPARE(w->m_nClientHeight, nWanted);
    w.Type("Down Down Down Down Down Down Down Down Down Down");
    QCOMPARE(w->m_nCaretPos, 0xA0u);
    QCOMPARE(w->GetScrollPos(SB_VERT), 0);
    w.Press("Down");
    QCOMPARE(w->GetScrollPos(SB_VERT), int(w->m_nLineHeight));
}

void TestHexViewInput::scrollsUpFromTheTopLine()
{
    EditWindow w(QByteArray(0x400, 'a'), QSize(1000, 200));
    const int lh = int(w->m_nLineHeight);
    w->OnVScroll(SB_THUMBPOSITION, unsigned(3 * lh), nullptr);
    w->m_nCaretPos = 0x30;
    w.Press("Right");
    QCOMPARE(w->m_nCaretPos, 0x31u);
    QCOMPARE(w->GetScrollPos(SB_VERT), 2 * lh);
}

void TestHexViewInput::insertTogglesTheMode()
{
    EditWindow w("abc");
    w.Press("Ins");
    QCOMPARE(m_frame.pBar->GetPaneText(2), QString("OVR"));
    QCOMPARE(w->GetCaretRect().width(), w->m_nCharWidth);
    QCOMPARE(w->GetCaretRect().height(), int(w->m_nLineHeight));
    w.Press("Ins");
    QCOMPARE(m_frame.pBar->GetPaneText(2), QString("INS"));
    QCOMPARE(w->GetCaretRect().width(), 2);
    QVERIFY(w->IsCaretVisible());
    // The caret is drawn inverted, two pixels wide, at the first digit's cell.
    const QImage shown = w.Grab();
    w->HideCaret();
    const QImage hidden = w.Grab();
    const QPoint at = w->GetCaretRect().topLeft() + QPoint(0, int(w->m_nLineHeight) / 2);
    QVERIFY(shown.pixel(at) != hidden.pixel(at));
    QVERIFY(shown.pixel(at + QPoint(1, 0)) != hidden.pixel(at + QPoint(1, 0)));
    QCOMPARE(shown.pixel(at + QPoint(2, 0)), hidden.pixel(at + QPoint(2, 0)));
}

// A window narrower than the block, scrolled sideways: caret, hit test and
// highlight all take the scroll off.
void TestHexViewInput::followsTheHorizontalScroll()
{
    EditWindow w(QByteArray(0x40, ' '), QSize(300, 200));
    QCOMPARE(w->m_nLeftMargin, 0);
    w->OnHScroll(SB_THUMBPOSITION, unsigned(20 * w->m_nCharWidth), nullptr);
    QCOMPARE(w->GetScrollPos(SB_HORZ), 20 * w->m_nCharWidth);
    Mouse(w, QTest::MouseClick, w.CellCentre(25, 1));
    QCOMPARE(w->m_nCaretPos, 0x15u);
    QCOMPARE(w->GetCaretRect().x(), (25 - 20) * w->m_nCharWidth);
    w.WithShift("Right Right");
    QCOMPARE(w.Pixel(w.Grab(), 27, 1), kDarkGrey);
    w->OnHScroll(SB_THUMBPOSITION, unsigned(18 * w->m_nCharWidth), nullptr);
    QVERIFY(w->HasSelection());
    QCOMPARE(w.Pixel(w.Grab(), 27, 1), kDarkGrey);
}

QTEST_MAIN(TestHexViewInput)
#include "tst_hexview_input.moc"
