#include "beep.h"
#include "editfixture.h"
#include "findreplacedialog.h"
#include "parsepattern.h"
#include "resource.h"
#include "resources.h"
#include "testsupport.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray Hex(const char* pszHex)
{
    return QByteArray::fromHex(pszHex);
}

using Range = QPair<std::uint32_t, std::uint32_t>;

// An edit window that counts beeps.
struct FindWindow : EditWindow {
    int nBeeps = 0;

    explicit FindWindow(const QByteArray& bytes) : EditWindow(bytes)
    {
        AfxSetBeepHook([this](unsigned) { ++nBeeps; });
    }
    ~FindWindow() { AfxSetBeepHook({}); }

    // A selection shown from nAnchor to nEnd, or the caret at nAnchor.
    void Select(std::uint32_t nAnchor, std::uint32_t nEnd)
    {
        pView->SelectRange(nAnchor, nEnd);
    }
    Range Selection() const { return {pView->GetSelection().Anchor(), pView->GetSelection().End()}; }
};

// Replace All as replacing one by one does it: each search resumes after the
// bytes put in. Without Match case the search runs over a copy with the ASCII
// letters in lower case, kept in step with the bytes. nLast receives where the
// last replacement starts.
QByteArray ReplacedOneByOne(QByteArray bytes, qsizetype nFrom, const QByteArray& find, const QByteArray& replace,
                            qsizetype& nLast, bool bMatchCase = true)
{
    QByteArray searched = bMatchCase ? bytes : bytes.toLower();
    const QByteArray found = bMatchCase ? find : find.toLower();
    for (qsizetype i = searched.indexOf(found, nFrom); i >= 0; i = searched.indexOf(found, i + replace.size())) {
        bytes.replace(i, find.size(), replace);
        searched.replace(i, find.size(), bMatchCase ? replace : replace.toLower());
        nLast = i;
    }
    return bytes;
}

} // namespace

// Find, F3, Replace and Replace All of the hex view.
class TestHexViewFind : public QObject {
    Q_OBJECT

private slots:
    void parsesPatterns_data();
    void parsesPatterns();
    void findsUnderTheCaseRule_data();
    void findsUnderTheCaseRule();
    void searchesFromTheAnchor_data();
    void searchesFromTheAnchor();
    void startsAtTheCaretWithoutASelection_data();
    void startsAtTheCaretWithoutASelection();
    void foldsOnlyLettersThatStandAlone_data();
    void foldsOnlyLettersThatStandAlone();
    void repeatStepsThroughOverlappingMatches();
    void showsAMatchFarDown();
    void opensWithTheSelectionAsHex();
    void replacesOne_data();
    void replacesOne();
    void replacesAllFromTheStartPoint_data();
    void replacesAllFromTheStartPoint();
    void replaceAllMatchesOneByOne_data();
    void replaceAllMatchesOneByOne();
    void replacingEndsTheInsertPause_data();
    void replacingEndsTheInsertPause();
    void dialogDrivesTheView();
    void replaceAllBeyondTheHistorySaysSo();
    void findsTextInAUtf8Document();
    void highlightsTheSelectedBytes_data();
    void highlightsTheSelectedBytes();
};

void TestHexViewFind::parsesPatterns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("pattern");
    QTest::newRow("two tokens") << "41 42" << Hex("4142");
    QTest::newRow("comma, both cases") << "ab,CD" << Hex("abcd");
    QTest::newRow("tab, line feed, outer separators") << " 0a\t41\n" << Hex("0a41");
    QTest::newRow("be is a byte") << "be" << Hex("be");
    QTest::newRow("four digits are text") << "4142" << QByteArray("4142");
    QTest::newRow("text") << "hello world" << QByteArray("hello world");
    QTest::newRow("token then text") << "41 hello" << QByteArray("41 hello");
    QTest::newRow("CR is no separator") << "41\r\n42" << QByteArray("41\r\n42");
    QTest::newRow("separators only") << " ,\t" << QByteArray();
    QTest::newRow("long hex text is whole") << QString("41,").repeated(300) << QByteArray(300, 'A');
    QTest::newRow("long text is whole") << QString(400, 'z') << QByteArray(400, 'z');
    QTest::newRow("long double-byte text is whole")
        << QString::fromUtf8("中").repeated(127) + "x" << Hex("D6D0").repeated(127) + "x";
}

void TestHexViewFind::parsesPatterns()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, pattern);
    const CEncodedText parsed = ParsePattern(text, 936);
    QVERIFY(parsed.bOk);
    QCOMPARE(parsed.bytes, pattern);
}

void TestHexViewFind::findsUnderTheCaseRule_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bMatchCase");
    QTest::addColumn<int>("nFound");   // -1: not found
    QTest::newRow("41 42 finds ab") << Hex("006162") << "41 42" << false << 1;
    QTest::newRow("41 42 finds aB") << Hex("00006142") << "41 42" << false << 2;
    QTest::newRow("match case skips ab") << Hex("61624142") << "41 42" << true << 2;
    QTest::newRow("match case finds nothing") << Hex("6162") << "41 42" << true << -1;
    QTest::newRow("@ is not `") << Hex("60") << "40" << false << -1;
    QTest::newRow("[ is not {") << Hex("7b") << "5b" << false << -1;
    QTest::newRow("accented letters keep case") << Hex("e0") << "c0" << false << -1;
    QTest::newRow("be is not the letters") << QByteArray("be\xBE") << "be" << false << 2;
    QTest::newRow("4142 finds the digits") << QByteArray("AB4142") << "4142" << true << 2;
    QTest::newRow("never takes in the end marker") << Hex("4142") << "42 ff" << false << -1;
}

void TestHexViewFind::findsUnderTheCaseRule()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, bMatchCase);
    QFETCH(int, nFound);
    FindWindow w(bytes);
    w.pView->FindNext(text, true, bMatchCase);
    if (nFound < 0) {
        QCOMPARE(w.nBeeps, 1);
        QCOMPARE(w.Selection(), Range(0, 0));
    } else {
        QCOMPARE(w.nBeeps, 0);
        QCOMPARE(w.Selection(), Range(nFound, nFound + ParsePattern(text, 1252).bytes.size()));
        QCOMPARE(w.pView->m_nCaretPos, std::uint32_t(nFound));
        QVERIFY(w.pView->HasSelection());
    }
}

void TestHexViewFind::searchesFromTheAnchor_data()
{
    QTest::addColumn<bool>("bDown");
    QTest::addColumn<Range>("selection");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("nFound");
    // Occurrences of 41 at 1, 5 and 9.
    QTest::newRow("down from the caret") << true << Range(2, 2) << "41" << 5;
    QTest::newRow("down from an occurrence") << true << Range(5, 5) << "41" << 5;
    QTest::newRow("down does not wrap") << true << Range(10, 10) << "41" << -1;
    QTest::newRow("up finds the greatest") << false << Range(8, 8) << "41" << 5;
    QTest::newRow("up from an occurrence") << false << Range(5, 5) << "41" << 5;
    QTest::newRow("up from the last occurrence") << false << Range(9, 9) << "41" << 9;
    QTest::newRow("up from offset 0 beeps") << false << Range(0, 0) << "00" << -1;
    QTest::newRow("up steps over a match") << false << Range(5, 6) << "41" << 1;
    QTest::newRow("up over a backward match") << false << Range(6, 5) << "41" << 1;
    QTest::newRow("no tokens beeps") << true << Range(0, 0) << "  " << -1;
}

void TestHexViewFind::searchesFromTheAnchor()
{
    QFETCH(bool, bDown);
    QFETCH(Range, selection);
    QFETCH(QString, text);
    QFETCH(int, nFound);
    FindWindow w(Hex("00410000004100000041000000"));
    w.Select(selection.first, selection.second);
    w.pView->FindNext(text, bDown, false);
    QCOMPARE(w.nBeeps, nFound < 0 ? 1 : 0);
    QCOMPARE(w.Selection(), nFound < 0 ? selection : Range(nFound, nFound + 1));
}

void TestHexViewFind::startsAtTheCaretWithoutASelection_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<Range>("after");
    QTest::newRow("Replace All") << "replace all" << Hex("4141414142424242") << Range(7, 8);
    // The one at the caret is replaced and the next selected.
    QTest::newRow("Replace") << "replace" << Hex("4141414142414141") << Range(5, 6);
    QTest::newRow("Find") << "find" << Hex("4141414141414141") << Range(4, 5);
    QTest::newRow("F3") << "F3" << Hex("4141414141414141") << Range(4, 5);
    QTest::newRow("Find up") << "find up" << Hex("4141414141414141") << Range(4, 5);
}

// Arrow keys move the caret and leave the anchor behind: with no selection
// shown, the commands start at the caret, and the occurrences before it stay.
void TestHexViewFind::startsAtTheCaretWithoutASelection()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, result);
    QFETCH(Range, after);
    FindWindow w(Hex("4141414141414141"));
    for (int i = 0; i < 16 && w->m_nCaretPos != 4; ++i)
        w.Type("Right");
    QCOMPARE(w->m_nCaretPos, 4u);
    QCOMPARE(w->GetSelection().Anchor(), 0u);
    if (command == "replace all") {
        w->ReplaceAll("41", "42", false);
    } else if (command == "replace") {
        w->ReplaceOne("41", true, false, "42");
    } else if (command == "F3") {
        w->m_strFind = "41";
        QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_REPEAT));
    } else {
        w->FindNext("41", command == "find", false);
    }
    QCOMPARE(w.Bytes(), result);
    QCOMPARE(w.Selection(), after);
    QCOMPARE(w.nBeeps, 0);
}

void TestHexViewFind::foldsOnlyLettersThatStandAlone_data()
{
    QTest::addColumn<int>("nCodePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QByteArray>("result");   // Replace All by X from offset 0, Match case off
    // Shift JIS ア 83 41, ヂ 83 61: the trail bytes are letters.
    QTest::newRow("932, ア is not ヂ") << 932 << Hex("834183612083 41") << QString::fromUtf8("ア")
                                      << Hex("58836120 58");
    QTest::newRow("932, a is no trail byte") << 932 << Hex("83416141") << "61" << Hex("83415858");
    QTest::newRow("932, the run of lead bytes decides")
        << 932 << Hex("8383834120838341") << "61" << Hex("8383834120838358");
    QTest::newRow("932, the pattern's own character") << 932 << Hex("838361") << "83 41" << Hex("838361");
    QTest::newRow("932, half-width katakana is no lead byte") << 932 << Hex("B141") << "b1 61" << Hex("58");
    // BIG5 乙 A4 41, 兀 A4 61.
    QTest::newRow("950, 乙 is not 兀") << 950 << Hex("A441A46120A441") << QString::fromUtf8("乙")
                                     << Hex("58A4612058");
    QTest::newRow("950, a is no trail byte") << 950 << Hex("A4416141") << "61" << Hex("A4415858");
    QTest::newRow("950, the run of lead bytes decides") << 950 << Hex("A4A4A441") << "61" << Hex("A4A4A441");
    // GB pairs lead bytes with A1-FE only: a letter after one stands alone.
    QTest::newRow("936, a letter after a lead byte") << 936 << Hex("B041B061") << "61" << Hex("B058B058");
    QTest::newRow("936, 中 whole") << 936 << Hex("D6D041") << QString::fromUtf8("中a") << Hex("58");
    // No letter is ever part of a UTF-8 character.
    QTest::newRow("65001, letters beside ア") << 65001 << Hex("41E382A261") << "61" << Hex("58E382A258");
    QTest::newRow("65001, ア then a") << 65001 << Hex("E382A241") << QString::fromUtf8("アa") << Hex("58");
}

// Without Match case only bytes that stand alone as ASCII letters in the
// document's code page fold; inside double-byte characters, the document's or
// the pattern's, bytes must be equal. Find (stepping with F3) finds the
// occurrences Replace All replaces.
void TestHexViewFind::foldsOnlyLettersThatStandAlone()
{
    QFETCH(int, nCodePage);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, find);
    QFETCH(QByteArray, result);
    FindWindow w(bytes);
    w.doc.SetCodePage(nCodePage);
    const QByteArray pattern = ParsePattern(find, nCodePage).bytes;
    // Each X of the result stands for an occurrence.
    QList<qsizetype> found;
    for (qsizetype i = 0, j = 0; i < result.size(); ++i, ++j) {
        if (result.at(i) == 'X') {
            found.append(j);
            j += pattern.size() - 1;
        }
    }
    QList<qsizetype> stepped;
    w->FindNext(find, true, false);
    while (w.nBeeps == 0 && stepped.size() <= found.size()) {
        stepped.append(w.Selection().first);
        w->OnEditRepeat();
    }
    QCOMPARE(stepped, found);

    w.Select(0, 0);
    w->ReplaceAll(find, "58", false);
    QCOMPARE(w.Bytes(), result);
}

void TestHexViewFind::repeatStepsThroughOverlappingMatches()
{
    FindWindow w(Hex("41414141"));
    w.pView->m_strFind = "41 41";
    for (std::uint32_t i = 0; i < 3; ++i) {
        w.pView->OnEditRepeat();
        QCOMPARE(w.Selection(), Range(i, i + 2));
    }
    w.pView->OnEditRepeat();
    QCOMPARE(w.nBeeps, 1);
    QCOMPARE(w.Selection(), Range(2, 4));
}

void TestHexViewFind::showsAMatchFarDown()
{
    QByteArray bytes(0x2000, 0);
    bytes[0x1000] = 'A';
    bytes[0x1001] = 'B';
    FindWindow w(bytes);
    w->FindNext("61 62", true, false);
    QCOMPARE(w->GetScrollPosition().y(), int(0x100 * w->m_nLineHeight));
    QCOMPARE(w->GetCaretRect().topLeft(), w->CellToClient(10, 0));
    // The blank between the two found pairs is highlighted; the one below is not.
    const QImage image = w.Grab();
    const QPoint inBlank(1, 1);
    QCOMPARE(QColor(image.pixel(w->CellToClient(12, 0) + inBlank)), QColor(123, 123, 123));
    QCOMPARE(QColor(image.pixel(w->CellToClient(12, 1) + inBlank)), QColor(Qt::white));
}

void TestHexViewFind::opensWithTheSelectionAsHex()
{
    QByteArray bytes = Hex("0aff41");
    for (int i = 0; i < 50; ++i)
        bytes.append(char(i));
    bytes += bytes;
    FindWindow w(bytes);

    w.Select(0, 3);
    w.pView->OnEditFind();
    QCOMPARE(w.pView->m_strFind, QString("0A,FF,41"));
    QCOMPARE(w.pView->m_pFindDlg->GetFindString(), QString("0A,FF,41"));
    w.pView->m_pFindDlg->close();
    QVERIFY(!w.pView->m_pFindDlg);

    // 50 bytes make 149 characters: the box and the stored text hold them all,
    // and F3 finds the 50 bytes again.
    w.Select(3, 53);
    w.pView->OnEditFind();
    const QString strAll = w.pView->m_strFind;
    QCOMPARE(strAll.size(), 149);
    QCOMPARE(w.pView->m_pFindDlg->GetFindString(), strAll);
    w.pView->OnEditRepeat();
    QCOMPARE(w.Selection(), Range(56, 106));
    QCOMPARE(w.pView->m_strFind, strAll);
}

void TestHexViewFind::replacesOne_data()
{
    QTest::addColumn<bool>("bDown");
    QTest::addColumn<Range>("selection");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<Range>("after");
    QTest::addColumn<int>("nBeeps");
    // 41 42 at 0, 3 and 6.
    QTest::newRow("matching selection") << true << Range(3, 5) << "43" << Hex("41420043004142") << Range(5, 7) << 0;
    QTest::newRow("no selection replaces the next")
        << true << Range(1, 1) << "43" << Hex("41420043004142") << Range(5, 7) << 0;
    QTest::newRow("the last one, silently") << true << Range(6, 8) << "" << Hex("414200414200") << Range(6, 6) << 0;
    QTest::newRow("replacement holding the pattern")
        << true << Range(0, 2) << "41 42 41 42" << Hex("41424142004142004142") << Range(5, 7) << 0;
    QTest::newRow("nothing after the caret")
        << true << Range(7, 7) << "43" << Hex("4142004142004142") << Range(7, 7) << 1;
    QTest::newRow("up, then the one before") << false << Range(6, 8) << "43" << Hex("41420041420043") << Range(3, 5) << 0;
}

void TestHexViewFind::replacesOne()
{
    QFETCH(bool, bDown);
    QFETCH(Range, selection);
    QFETCH(QString, replace);
    QFETCH(QByteArray, result);
    QFETCH(Range, after);
    QFETCH(int, nBeeps);
    FindWindow w(Hex("4142004142004142"));
    w.Select(selection.first, selection.second);
    w.pView->ReplaceOne("41 42", bDown, false, replace);
    QCOMPARE(w.Bytes(), result);
    QCOMPARE(w.Selection(), after);
    QCOMPARE(w.nBeeps, nBeeps);
    QCOMPARE(w.doc.IsModified(), nBeeps == 0);
    QString why;
    QVERIFY2(w.InvariantsHold(&why), qPrintable(why));
}

void TestHexViewFind::replacesAllFromTheStartPoint_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::uint32_t>("nCaret");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<Range>("after");
    QTest::newRow("from the middle") << Hex("41004100410041") << 3u << "41" << "42 42" << Hex("410041004242004242")
                                     << Range(7, 9);
    QTest::newRow("42 43 with nothing") << Hex("414243") << 0u << "42 43" << "" << Hex("41") << Range(1, 1);
    QTest::newRow("replacement holds the pattern")
        << Hex("61004100") << 0u << "41" << "41 41" << Hex("414100414100") << Range(3, 5);
    QTest::newRow("pattern overlapping itself") << Hex("4141414141") << 0u << "41 41" << "42" << Hex("424241")
                                                << Range(1, 2);
    QTest::newRow("overlapping, from the second byte")
        << Hex("4141414141") << 1u << "41 41" << "43 43 43" << Hex("41434343434343") << Range(4, 7);
    QTest::newRow("nothing to replace") << Hex("414243") << 1u << "41" << "00" << Hex("414243") << Range(1, 1);
    QTest::newRow("no tokens") << Hex("414243") << 0u << " , " << "00" << Hex("414243") << Range(0, 0);
}

void TestHexViewFind::replacesAllFromTheStartPoint()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::uint32_t, nCaret);
    QFETCH(QString, find);
    QFETCH(QString, replace);
    QFETCH(QByteArray, result);
    QFETCH(Range, after);
    FindWindow w(bytes);
    w.Select(nCaret, nCaret);
    w.pView->ReplaceAll(find, replace, false);
    QCOMPARE(w.Bytes(), result);
    QCOMPARE(w.Selection(), after);
    QCOMPARE(w.nBeeps, result == bytes ? 1 : 0);
    QVERIFY(w.pView->m_bFindDown);
    QString why;
    QVERIFY2(w.InvariantsHold(&why), qPrintable(why));
}

void TestHexViewFind::replaceAllMatchesOneByOne_data()
{
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<bool>("bMatchCase");
    QTest::newRow("AB, match case") << QByteArray("AB\x01") << QByteArray("AB") << true;
    QTest::newRow("ab, capitals common") << QByteArray("AaBb\x01") << QByteArray("ab") << false;
    QTest::newRow("the, capital T rare") << QByteArray("tttttttttttttttttttttttthhhhhhhheeeeeee T") << QByteArray("the")
                                         << false;
    QTest::newRow("the, no capitals at all") << QByteArray("theeeet ") << QByteArray("THE") << false;
    QTest::newRow("CD CD in runs of CD") << QByteArray("\xCD\xCD\xCD\xCD\xCD\xCD\x00", 7)
                                         << QByteArray("\xCD\xCD", 2) << false;
}

void TestHexViewFind::replaceAllMatchesOneByOne()
{
    QFETCH(QByteArray, alphabet);
    QFETCH(QByteArray, find);
    QFETCH(bool, bMatchCase);
    QRandomGenerator random(7);
    QByteArray bytes(20000, 0);
    for (char& b : bytes)
        b = alphabet.at(int(random.bounded(alphabet.size())));
    for (const QByteArray& replace : {QByteArray(), QByteArray("ABAB"), QByteArray("x"), find.toUpper()}) {
        FindWindow w(bytes);
        w.Select(1000, 1000);
        w.pView->ReplaceAll(QString::fromLatin1(find.toHex(' ')), QString::fromLatin1(replace.toHex(' ')), bMatchCase);
        qsizetype nLast = -1;
        const QByteArray result = ReplacedOneByOne(bytes, 1000, find, replace, nLast, bMatchCase);
        QCOMPARE(w.Bytes(), result);
        // The last replacement ends selected.
        QCOMPARE(w.Selection(), Range(nLast, nLast + replace.size()));
    }
}

void TestHexViewFind::replacingEndsTheInsertPause_data()
{
    QTest::addColumn<bool>("bAll");
    QTest::addColumn<QByteArray>("result");
    // Replace All leaves the caret on its last, empty, replacement; Replace,
    // whose search for the next finds none, where the typed digit left it.
    QTest::newRow("Replace All") << true << Hex("404150");
    QTest::newRow("Replace") << false << Hex("404150");
}

// A first digit typed in insert mode, then a replacement of bytes after it:
// the half-typed byte is complete, and the next digit inserts a byte where
// the replacement left the caret, as after any other edit; it is not dropped
// or typed into another byte.
void TestHexViewFind::replacingEndsTheInsertPause()
{
    QFETCH(bool, bAll);
    QFETCH(QByteArray, result);
    FindWindow w(Hex("414243"));
    w.Select(0, 0);
    w.Type("4");
    QCOMPARE(w.Bytes(), Hex("40414243"));
    if (bAll)
        w->ReplaceAll("42 43", "", false);
    else
        w->ReplaceOne("42 43", true, false, "");
    w.Type("5");
    QCOMPARE(w.Bytes(), result);
}

// The find text is written in UTF-8 when the document shows UTF-8, wherever its
// characters fall in the rows; a text in another page's bytes is not found.
void TestHexViewFind::findsTextInAUtf8Document()
{
    const QByteArray text = QString::fromUtf8("テキスト中文").toUtf8();
    FindWindow w(QByteArray(14, 'x') + text + QByteArray("\xD6\xD0\xCE\xC4", 4) + text);
    w.doc.SetCodePage(65001);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_FIND));
    CFindReplaceDialog* pDlg = w.pView->m_pFindDlg;
    QVERIFY(pDlg && pDlg->isVisible());
    QLineEdit* pFind = pDlg->findChild<QLineEdit*>("findWhat");
    // Characters that no key has come from the input method.
    const auto commit = [pFind](const QString& chars) {
        QInputMethodEvent event;
        event.setCommitString(chars);
        QApplication::sendEvent(pFind, &event);
    };
    commit(QString::fromUtf8("中文"));
    QTest::mouseClick(pDlg->findChild<QPushButton*>("findNext"), Qt::LeftButton);
    QCOMPARE(w.Selection(), Range(26, 32));
    QTest::mouseClick(pDlg->findChild<QPushButton*>("findNext"), Qt::LeftButton);
    QCOMPARE(w.Selection(), Range(48, 54));
    QTest::mouseClick(pDlg->findChild<QPushButton*>("findNext"), Qt::LeftButton);
    QCOMPARE(w.Selection(), Range(48, 54));
    QCOMPARE(w.nBeeps, 1);
    // A character that crosses a row's end is found as well.
    pFind->selectAll();
    commit(QString::fromUtf8("テキ"));
    w.Select(0, 0);
    QTest::mouseClick(pDlg->findChild<QPushButton*>("findNext"), Qt::LeftButton);
    QCOMPARE(w.Selection(), Range(14, 20));
}

// A Replace All too large for the history is made, and the status bar says
// beside the count that it cannot be undone.
void TestHexViewFind::replaceAllBeyondTheHistorySaysSo()
{
    MainFrame main;
    FindWindow w(Hex("00414200414200"));
    w.doc.SetUndoLimit(0);
    w.pView->ReplaceAll("41 42", "5A", false);
    QCOMPARE(w.Bytes(), Hex("005a005a00"));
    QVERIFY(!w.doc.History().CanUndo());
    QCOMPARE(main.pBar->GetPaneText(0), AfxLoadString(IDS_REPLACED_NO_UNDO).arg(2));
}

void TestHexViewFind::dialogDrivesTheView()
{
    MainFrame main;
    FindWindow w(Hex("00414200614200"));
    const auto byteCount = [&] { return main.pBar->GetPaneText(1); };
    const auto bytes = [](int n) { return AfxLoadString(IDS_BYTE_COUNT).replace("%d", QString::number(n)); };
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_REPLACE));
    CFindReplaceDialog* pDlg = w.pView->m_pFindDlg;
    QVERIFY(pDlg && pDlg->isVisible());
    QTest::keyClicks(pDlg->findChild<QLineEdit*>("findWhat"), "41 42");
    QTest::keyClicks(pDlg->findChild<QLineEdit*>("replaceWith"), "5A");
    QTest::mouseClick(pDlg->findChild<QPushButton*>("findNext"), Qt::LeftButton);
    QCOMPARE(w.Selection(), Range(1, 3));
    QTest::mouseClick(pDlg->findChild<QPushButton*>("replace"), Qt::LeftButton);
    QCOMPARE(w.Bytes(), Hex("005a00614200"));
    QCOMPARE(w.Selection(), Range(3, 5));
    QCOMPARE(byteCount(), bytes(6));
    QTest::mouseClick(pDlg->findChild<QPushButton*>("replaceAll"), Qt::LeftButton);
    QCOMPARE(w.Bytes(), Hex("005a005a00"));
    QCOMPARE(byteCount(), bytes(5));
    // The last replacement is selected, one byte as the replacement is, and
    // the status bar counts them.
    QCOMPARE(w.Selection(), Range(3, 4));
    QCOMPARE(main.pBar->GetPaneText(0), QString("1 replaced"));
    QTest::mouseClick(pDlg->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    QVERIFY(!w.pView->m_pFindDlg);

    // F3 goes on with the dialog closed; the next Find starts from what was kept.
    w.Select(0, 0);
    QVERIFY(AfxExecuteCommand(w.pView.get(), ID_EDIT_REPEAT));
    QCOMPARE(w.nBeeps, 1);
    w.pView->OnEditFind();
    QCOMPARE(w.pView->m_pFindDlg->GetFindString(), QString("41 42"));
    QCOMPARE(w.pView->m_pFindDlg->GetReplaceString(), QString());
}

void TestHexViewFind::highlightsTheSelectedBytes_data()
{
    QTest::addColumn<bool>("bTextColumn");
    QTest::addColumn<QString>("command");
    for (const bool bText : {false, true}) {
        const char* pszColumn = bText ? "text column" : "hex column";
        for (const char* pszCommand : {"find", "find from the dialog", "F3", "replace", "replace all",
                                       "replace all by fewer bytes"})
            QTest::addRow("%s, %s", pszCommand, pszColumn) << bText << QString(pszCommand);
    }
}

// After a keyboard selection of 20 bytes, each command leaves both columns
// highlighting exactly the bytes selected, on every visible row of the screen,
// with no caret drawn over or beside the highlight. A cell counts as
// highlighted when its top-left corner, above the glyphs, shows a highlight
// colour.
void TestHexViewFind::highlightsTheSelectedBytes()
{
    QFETCH(bool, bTextColumn);
    QFETCH(QString, command);
    QByteArray bytes;
    for (int i = 0; i < 40; ++i)
        bytes += QByteArray(150 + i, '\0') + "_2.28.GLIBC_2.14.";
    FindWindow w(bytes);
    if (bTextColumn)
        w.Press("Tab");
    w.WithShift("Down Right Right Right Right");
    QCOMPARE(w.Selection(), Range(0, 20));
    if (command == "find") {
        w->FindNext("GLIBC", true, false);
    } else if (command == "find from the dialog") {
        w->OnEditFind();
        CFindReplaceDialog* pDlg = w->m_pFindDlg;
        pDlg->findChild<QLineEdit*>("findWhat")->setText("GLIBC");
        QTest::mouseClick(pDlg->findChild<QPushButton*>("findNext"), Qt::LeftButton);
    } else if (command == "F3") {
        w->FindNext("GLIBC", true, false);
        w->OnEditRepeat();
    } else if (command == "replace") {
        w->FindNext("GLIBC", true, false);
        w->ReplaceOne("GLIBC", true, false, "glibc");
    } else if (command == "replace all") {
        w->ReplaceAll("GLIBC", "GLIBX", false);
    } else {
        w->ReplaceAll("GLIBC", "GL", false);
    }
    QVERIFY(w->HasSelection());
    const std::uint32_t lo = w->GetSelection().First();
    const std::uint32_t hi = w->GetSelection().Beyond();
    QCOMPARE(hi - lo, command.endsWith("fewer bytes") ? 2u : 5u);
    QVERIFY(w->m_bHighNibble);

    const QImage image = w.Screen();
    const std::uint32_t nTop = std::uint32_t(w->GetScrollPos(SB_VERT) / w->m_nLineHeight);
    const int nLines = w->m_nClientHeight / int(w->m_nLineHeight);
    QString hex, text, blanks, expected, expectedBlanks;
    // A line cut by the window's top edge is left out.
    for (int nLine = w->CellToClient(0, 0).y() < 1 ? 1 : 0; nLine < nLines; ++nLine) {
        for (int k = 0; k < 16; ++k) {
            const std::uint32_t nOffset = (nTop + nLine) * 16 + k;
            if (nOffset >= w.doc.GetSize() - 1)
                break;
            // Any other colour is something drawn over the cell, such as the caret.
            const auto painted = [&](int nColumn) {
                const QRgb rgb = image.pixel(w->CellToClient(nColumn, nLine) + QPoint(1, 1));
                if (rgb == qRgb(255, 255, 255))
                    return '.';
                return rgb == qRgb(123, 123, 123) || rgb == qRgb(231, 231, 231) ? 'x' : '?';
            };
            hex += painted(10 + 3 * k + (k >= 8 ? 1 : 0));
            text += painted(62 + k);
            expected += nOffset >= lo && nOffset < hi ? 'x' : '.';
            // The blank after a pair is highlighted between two selected bytes.
            if (k != 7 && k != 15) {
                blanks += painted(10 + 3 * k + (k >= 8 ? 1 : 0) + 2);
                expectedBlanks += nOffset >= lo && nOffset + 1 < hi ? 'x' : '.';
            }
        }
    }
    QCOMPARE(hex, expected);
    QCOMPARE(text, expected);
    QCOMPARE(blanks, expectedBlanks);
}

QTEST_MAIN(TestHexViewFind)
#include "tst_hexview_find.moc"
