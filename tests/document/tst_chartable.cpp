#include "chartable.h"
#include "hexdoc.h"
#include "tablerow.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <QtTest>

// Character tables: which files load (and which line stops a bad one), and
// reading and writing through a table against plain walks written here.
class TestCharTable : public QObject {
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
    void refuses_data();
    void refuses();
    void failedParseKeepsTable();
    void decodesLikePlainWalk_data();
    void decodesLikePlainWalk();
    void rowCells_data();
    void rowCells();
    void rowTextMatchesCells_data();
    void rowTextMatchesCells();
    void decodesRangeAsText();
    void readsLandingFromDocument_data();
    void readsLandingFromDocument();
    void encodes_data();
    void encodes();
    void encodesLikePlainSearch();
};

namespace {

struct PlainEntry {
    QByteArray key;
    QString text;
    CCharTable::Kind kind;
};

// The longest key at p by looking at every entry.
int PlainMatch(const std::vector<PlainEntry>& entries, const QByteArray& data, int p, int* pIndex = nullptr)
{
    int nBest = 0;
    for (int i = 0; i < int(entries.size()); ++i) {
        const QByteArray& key = entries[std::size_t(i)].key;
        if (key.size() > nBest && data.mid(p, key.size()) == key) {
            nBest = int(key.size());
            if (pIndex)
                *pIndex = i;
        }
    }
    return nBest;
}

// Every offset the walk from the start lands on, and the file's length.
std::vector<int> PlainLandings(const std::vector<PlainEntry>& entries, const QByteArray& data)
{
    std::vector<int> landings;
    for (int p = 0; p < data.size();) {
        landings.push_back(p);
        p += std::max(1, PlainMatch(entries, data, p));
    }
    return landings;
}

// A table over a few byte values, so that keys overlap and prefix each other;
// its file and its entries.
QByteArray RandomTable(QRandomGenerator& random, int nEntries, int nMaxKey, std::vector<PlainEntry>& entries)
{
    QByteArray file = "# random\n";
    QSet<QByteArray> keys;
    while (int(entries.size()) < nEntries) {
        QByteArray key;
        const int nLength = 1 + int(random.bounded(nMaxKey));
        for (int i = 0; i < nLength; ++i)
            key += char(0xF8 + random.bounded(8));   // 0xFF too: no end marker is read
        if (keys.contains(key))
            continue;
        keys.insert(key);
        const auto kind = CCharTable::Kind(random.bounded(10) == 0 ? 1 + random.bounded(2) : 0);
        QString text = QString(QChar(u'a' + int(entries.size() % 26)));
        if (random.bounded(3) == 0)
            text += QChar(0x4E00 + int(random.bounded(100)));
        const char* prefix = kind == CCharTable::Kind::End ? "/" : kind == CCharTable::Kind::LineBreak ? "*" : "";
        file += prefix + key.toHex().toUpper() + "=" + text.toUtf8() + "\r\n";
        entries.push_back({key, text, kind});
    }
    return file;
}

QByteArray RandomBytes(QRandomGenerator& random, int n)
{
    QByteArray data;
    for (int i = 0; i < n; ++i)
        data += char(0xF7 + random.bounded(9));   // 0xF7 has no key
    return data;
}

QString PlainText(const PlainEntry& entry)
{
    return entry.kind == CCharTable::Kind::LineBreak ? entry.text + QLatin1Char('\n') : entry.text;
}

const auto* Bytes(const QByteArray& data)
{
    return reinterpret_cast<const std::uint8_t*>(data.constData());
}

} // namespace

void TestCharTable::parses_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("nEntries");
    QTest::addColumn<QByteArray>("probe");     // bytes to match
    QTest::addColumn<int>("nBytes");           // the key that matches them
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");

    const QString ma = QString::fromUtf8("魔");
    QTest::newRow("one-byte and two-byte keys") << QByteArray("41=A\n9B4D=魔\n") << 2 << QByteArray("\x9B\x4D")
                                                << 2 << ma << 0;
    QTest::newRow("several characters for one key") << QByteArray("80=the \n") << 1 << QByteArray("\x80") << 1
                                                    << QString("the ") << 0;
    QTest::newRow("comments, blank lines, lower-case hex")
        << QByteArray("# a table\n; more\n\n   \n9b4d=魔\n") << 1 << QByteArray("\x9B\x4D") << 2 << ma << 0;
    QTest::newRow("value holding '='") << QByteArray("3D==\n") << 1 << QByteArray("=") << 1 << QString("=") << 0;
    QTest::newRow("a space as value") << QByteArray("20= \n") << 1 << QByteArray(" ") << 1 << QString(" ") << 0;
    QTest::newRow("eight-byte key")
        << QByteArray("0102030405060708=x\n01=y\n") << 2 << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09") << 8
        << QString("x") << 0;
    QTest::newRow("end code with text") << QByteArray("/FF=<end>\n") << 1 << QByteArray("\xFF") << 1
                                        << QString("<end>") << 1;
    QTest::newRow("end code without text") << QByteArray("/FFFF\n") << 1 << QByteArray("\xFF\xFF") << 2 << QString()
                                           << 1;
    QTest::newRow("line break") << QByteArray("*FE\n") << 1 << QByteArray("\xFE") << 1 << QString() << 2;
    QTest::newRow("line break with text") << QByteArray("*FE=<br>\n") << 1 << QByteArray("\xFE") << 1
                                          << QString("<br>") << 2;
    QTest::newRow("byte-order mark, CRLF") << QByteArray("\xEF\xBB\xBF" "41=A\r\n9B4D=魔\r\n") << 2
                                           << QByteArray("\x9B\x4D") << 2 << ma << 0;
    QTest::newRow("no newline at the end") << QByteArray("41=A") << 1 << QByteArray("A") << 1 << QString("A") << 0;
    QStringEncoder le(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    QStringEncoder be(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom);
    QTest::newRow("UTF-16 LE") << QByteArray(le.encode(QString::fromUtf8("41=A\r\n9B4D=魔\r\n"))) << 2
                               << QByteArray("\x9B\x4D") << 2 << ma << 0;
    QTest::newRow("UTF-16 BE") << QByteArray(be.encode(QString::fromUtf8("9B4D=魔\n"))) << 1
                               << QByteArray("\x9B\x4D") << 2 << ma << 0;
    QTest::newRow("longest key wins") << QByteArray("9B=a\n9B4D=b\n9B4D4E=c\n") << 3 << QByteArray("\x9B\x4D\x41")
                                      << 2 << QString("b") << 0;
    QTest::newRow("no key matches") << QByteArray("9B4D=b\n") << 1 << QByteArray("\x9B\x4E") << 0 << QString() << 0;
}

void TestCharTable::parses()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, probe);
    QFETCH(int, nBytes);
    CCharTable table;
    CCharTable::ParseError error;
    QVERIFY2(table.Parse(file, &error), qPrintable(QString("line %1: %2").arg(error.nLine).arg(error.strLine)));
    QTEST(int(table.Entries().size()), "nEntries");
    const CCharTable::Match match = table.MatchAt(Bytes(probe), std::size_t(probe.size()));
    QCOMPARE(match.nBytes, nBytes);
    if (nBytes) {
        QTEST(match.pEntry->text, "text");
        QTEST(int(match.pEntry->kind), "kind");
    }
}

void TestCharTable::refuses_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("nLine");   // 0: no entry at all

    QTest::newRow("no '='") << QByteArray("41=A\n42\n") << 2;
    QTest::newRow("empty value") << QByteArray("41=\n") << 1;
    QTest::newRow("odd digits") << QByteArray("# c\n414=A\n") << 2;
    QTest::newRow("not hexadecimal") << QByteArray("4G=A\n") << 1;
    QTest::newRow("empty key") << QByteArray("=A\n") << 1;
    QTest::newRow("nine-byte key") << QByteArray("010203040506070809=A\n") << 1;
    QTest::newRow("key given twice") << QByteArray("41=A\n\n42=B\n41=C\n") << 4;
    QTest::newRow("two-byte key given twice") << QByteArray("4142=A\n4142=B\n") << 2;
    QTest::newRow("same key as end code") << QByteArray("FF=A\n/FF=B\n") << 2;
    QTest::newRow("line that is not UTF-8") << QByteArray("41=A\r\n42=\xB0\xA1\r\n") << 2;
    QTest::newRow("only comments") << QByteArray("# nothing\n\n") << 0;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("UTF-16 with an odd byte") << QByteArray("\xFF\xFE" "4\x00" "1\x00" "=\x00" "A\x00\n\x00" "4", 13)
                                             << 2;
}

void TestCharTable::refuses()
{
    QFETCH(QByteArray, file);
    CCharTable table;
    CCharTable::ParseError error;
    QVERIFY(!table.Parse(file, &error));
    QTEST(error.nLine, "nLine");
    QVERIFY(table.IsEmpty());
}

void TestCharTable::failedParseKeepsTable()
{
    CCharTable table;
    QVERIFY(table.Parse("41=A\n"));
    QVERIFY(!table.Parse("42=B\n43\n"));
    QCOMPARE(table.Entries().size(), std::size_t(1));
    QCOMPARE(table.MatchAt(Bytes("A"), 1).pEntry->text, QString("A"));
    QCOMPARE(table.MatchAt(Bytes("B"), 1).nBytes, 0);
}

void TestCharTable::decodesLikePlainWalk_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("nEntries");
    QTest::addColumn<int>("nMaxKey");
    QTest::addColumn<int>("nBytes");
    QTest::addColumn<bool>("bEveryPair");
    // Long keys over few byte values make walks that meet late, so that
    // LandingAt has to look further back than its first try.
    QTest::newRow("short keys") << 1u << 30 << 2 << 3000 << false;
    QTest::newRow("keys up to eight bytes") << 2u << 200 << 8 << 3000 << false;
    QTest::newRow("few long keys") << 3u << 12 << 8 << 20000 << false;
    // Walks begun one byte apart never meet: only the walk from the start
    // is right.
    QTest::newRow("two-byte keys only, every pair") << 4u << 0 << 2 << 2000 << true;
}

void TestCharTable::decodesLikePlainWalk()
{
    QFETCH(quint32, seed);
    QFETCH(int, nEntries);
    QFETCH(int, nMaxKey);
    QFETCH(int, nBytes);
    QFETCH(bool, bEveryPair);
    QRandomGenerator random(seed);
    std::vector<PlainEntry> entries;
    QByteArray tableFile = RandomTable(random, nEntries, nMaxKey, entries);
    QByteArray data = RandomBytes(random, nBytes);
    if (bEveryPair) {
        data.replace(char(0xF7), "\xF8");
        for (int a = 0; a < 8; ++a) {
            for (int b = 0; b < 8; ++b) {
                const QByteArray key = QByteArray(1, char(0xF8 + a)) + char(0xF8 + b);
                entries.push_back({key, QString(QChar(u'A' + a)) + QChar(u'a' + b), CCharTable::Kind::Char});
                tableFile += key.toHex() + "=" + entries.back().text.toUtf8() + "\n";
            }
        }
    }
    CCharTable table;
    CCharTable::ParseError error;
    QVERIFY2(table.Parse(tableFile, &error), qPrintable(QString("line %1: %2").arg(error.nLine).arg(error.strLine)));
    const std::vector<int> landings = PlainLandings(entries, data);
    auto next = landings.begin();
    for (int p = 0; p <= data.size(); ++p) {
        while (next != landings.end() && *next < p)
            ++next;
        const int nExpected = next == landings.end() ? int(data.size()) : *next;
        QCOMPARE(int(table.LandingAt(Bytes(data), std::uint32_t(data.size()), std::uint32_t(p))), nExpected);
        if (p < data.size()) {
            int nIndex = -1;
            const int nPlain = PlainMatch(entries, data, p, &nIndex);
            const CCharTable::Match match = table.MatchAt(Bytes(data) + p, std::size_t(data.size() - p));
            QCOMPARE(match.nBytes, nPlain);
            if (nPlain)
                QCOMPARE(match.pEntry->text, entries[std::size_t(nIndex)].text);
        }
    }
}

void TestCharTable::rowCells_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("nRow");
    QTest::addColumn<QString>("cells");   // "cell:cells:text" each, space-separated

    const QByteArray row0("ABCDEFGHIJKLMNO");
    QTest::newRow("plain row") << QByteArray("A\x01\x80\x81" "A") << 0 << QString("0:1:A 1:1:. 2:2:魔 4:1:A");
    QTest::newRow("three-byte key crosses the row's end")
        << (row0 + "\x90\x91\x92" "A") << 0 << QString("0:1:A 1:1:. 2:1:. 3:1:. 4:1:. 5:1:. 6:1:. 7:1:. 8:1:. 9:1:. "
                                                      "10:1:. 11:1:. 12:1:. 13:1:. 14:1:. 15:2:終");
    QTest::newRow("the next row shows its bytes as dots")
        << (row0 + "\x90\x91\x92" "A") << 1 << QString("0:1:. 1:1:. 2:1:A");
    QTest::newRow("key cut off by the end of the file") << QByteArray("A\x90\x91") << 0
                                                        << QString("0:1:A 1:1:. 2:1:.");
    QTest::newRow("wide value squeezed, line break") << QByteArray("\x82\xFE") << 0 << QString("0:1:the 1:1:↵");
}

void TestCharTable::rowCells()
{
    QFETCH(QByteArray, data);
    QFETCH(int, nRow);
    CCharTable table;
    QVERIFY(table.Parse("41=A\n8081=魔\n909192=終\n82=the\n*FE\n"));
    const auto nLength = std::uint32_t(data.size());
    const auto nStart = std::uint32_t(nRow * 16);
    std::vector<CTableCell> cells;
    const std::uint32_t nNext =
        CTableRow::Cells(table, Bytes(data), nLength, nStart, table.LandingAt(Bytes(data), nLength, nStart), cells);
    QStringList got;
    for (const CTableCell& cell : cells)
        got << QString("%1:%2:%3").arg(cell.nCell).arg(cell.nCells).arg(cell.text);
    QTEST(got.join(' '), "cells");
    QCOMPARE(nNext, table.LandingAt(Bytes(data), nLength, std::min(nStart + 16, nLength)));
}

void TestCharTable::rowTextMatchesCells_data()
{
    QTest::addColumn<QByteArray>("tableFile");
    QTest::addColumn<bool>("bPlain");
    // 41 has a one-byte key only, 80 and 81 begin two-byte keys (81 has one of
    // its own too), 01 begins none; 90 begins keys of three and four bytes.
    const QByteArray shortKeys = "41=A\n8041=魔\n8080=b\n81=c\n8181=ア\n20= \n";
    // Each table both ways: the plain way is the one processors without
    // SSSE3 take.
    for (const bool bPlain : {false, true}) {
        const char* pszWay = bPlain ? ", the plain way" : "";
        QTest::addRow("one-byte and two-byte keys%s", pszWay) << shortKeys << bPlain;
        QTest::addRow("keys of three and four bytes%s", pszWay) << shortKeys + "908081=終\n90808141=x\n9041=y\n"
                                                                << bPlain;
        QTest::addRow("texts of four bytes and more, none at all%s", pszWay)
            << shortKeys + "90=😀\n9080=the \n/01\n*4180\n" << bPlain;
        // Texts of one to three bytes only, so that nearly every row is a
        // fast one.
        QTest::addRow("short texts only%s", pszWay) << shortKeys + "9080=é\n90=\x7F\n" << bPlain;
    }
}

// WriteUtf8 against the cells of each row (Cells walks by MatchAt): the same
// text and the same next landing, for bytes of every kind and rows that begin
// inside a key.
void TestCharTable::rowTextMatchesCells()
{
    QFETCH(QByteArray, tableFile);
    QFETCH(bool, bPlain);
    CCharTable table;
    QVERIFY(table.Parse(tableFile));
    CTableRow::s_bPlainSteps = bPlain;
    const auto restore = qScopeGuard([] { CTableRow::s_bPlainSteps = false; });
    QRandomGenerator random(11);
    const char alphabet[] = "\x41\x80\x81\x01\x90\x20";
    QByteArray data;
    for (int i = 0; i < 4000; ++i)
        data += alphabet[random.bounded(6)];
    const auto nLength = std::uint32_t(data.size());
    std::vector<char> out(CTableRow::MaxUtf8(table));
    std::vector<CTableCell> cells;
    std::uint32_t nLanding = 0;
    for (std::uint32_t nRow = 0; nRow < nLength; nRow += 16) {
        const std::uint32_t nNext = CTableRow::Cells(table, Bytes(data), nLength, nRow, nLanding, cells);
        QString expected;
        for (const CTableCell& cell : cells)
            expected += cell.text;
        char* pEnd = out.data();
        QCOMPARE(CTableRow::WriteUtf8(table, Bytes(data), nLength, nRow, nLanding, pEnd), nNext);
        QCOMPARE(QString::fromUtf8(out.data(), pEnd - out.data()), expected);
        nLanding = nNext;
    }
}

void TestCharTable::readsLandingFromDocument_data()
{
    QTest::addColumn<int>("nEntries");
    QTest::addColumn<bool>("bEveryPair");
    QTest::addColumn<int>("nPos");

    // 64 KiB is the first stretch read before the offset asked for.
    const int n64K = 1 << 16;
    QTest::newRow("walks meet, in the first stretch") << 200 << false << n64K - 3;
    QTest::newRow("walks meet, past the first stretch") << 200 << false << n64K + 5;
    QTest::newRow("walks meet, far on") << 200 << false << 5 * n64K + 1;
    QTest::newRow("walks never meet, even offset") << 0 << true << 3 * n64K + 2;
    QTest::newRow("walks never meet, odd offset") << 0 << true << 3 * n64K + 1;
    QTest::newRow("the end") << 200 << false << 6 * n64K;
}

// The window and printing read only the bytes near their rows; where walks
// from a little before disagree, the landing must still be the walk's from
// the document's start.
void TestCharTable::readsLandingFromDocument()
{
    QFETCH(int, nEntries);
    QFETCH(bool, bEveryPair);
    QFETCH(int, nPos);
    QRandomGenerator random(7);
    std::vector<PlainEntry> entries;
    QByteArray tableFile = RandomTable(random, nEntries, 8, entries);
    QByteArray data;
    if (bEveryPair) {
        // Keys of two bytes over bytes that are all key bytes: walks begun
        // one byte apart stay apart to the end.
        tableFile += "f8f8=A\n";
        data = QByteArray(6 << 16, char(0xF8));
        data[0] = 'x';
    } else {
        data = RandomBytes(random, 6 << 16);
    }
    CCharTable table;
    QVERIFY(table.Parse(tableFile));
    CHexDoc doc;
    doc.SetContents(data);

    QByteArray hold;
    const CTableBytes bytes = CTableRow::Read(table, doc, nPos, nPos + 16, hold);
    QVERIFY(bytes.pData);
    const auto nWhole = table.LandingAt(Bytes(data), std::uint32_t(data.size()), std::uint32_t(nPos));
    QCOMPARE(bytes.nLanding, qint64(nWhole));
    QVERIFY(bytes.nBase <= nPos);
    QCOMPARE(bytes.nBase + bytes.nLength, std::min<qint64>(data.size(), nPos + 16 + CCharTable::kMaxKeyLength));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.pData), bytes.nLength), data.mid(bytes.nBase, bytes.nLength));
}

void TestCharTable::decodesRangeAsText()
{
    CCharTable table;
    QVERIFY(table.Parse("41=A\n8081=魔\n*FE=<br>\n/FF=<end>\n"));
    const QByteArray data("A\x80\x81\xFE\x01\xFF" "A", 7);
    const auto decode = [&](std::uint32_t a, std::uint32_t b) {
        return table.Decode(Bytes(data), std::uint32_t(data.size()), a, b);
    };
    QCOMPARE(decode(0, 7), QString::fromUtf8("A魔<br>\n\uFFFD<end>A"));
    // A key started before the range gives U+FFFD for its bytes in it; one
    // that runs past the range's end is taken whole.
    QCOMPARE(decode(2, 4), QString::fromUtf8("\uFFFD<br>\n"));
    QCOMPARE(decode(1, 2), QString::fromUtf8("魔"));
    QCOMPARE(decode(7, 7), QString());
}

void TestCharTable::encodes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");    // empty when refused
    QTest::addColumn<int>("nRefusedAt");
    QTest::addColumn<uint>("chRefused");

    QTest::newRow("longest value first") << QString("then") << QByteArray("\x82\x6E") << -1 << 0u;
    QTest::newRow("shorter when the longer does not go on") << QString("tn") << QByteArray("\x74\x6E") << -1 << 0u;
    QTest::newRow("two-byte key") << QString::fromUtf8("魔n") << QByteArray("\x80\x81\x6E") << -1 << 0u;
    QTest::newRow("newline as line break") << QString("n\n") << QByteArray("\x6E\xFE") << -1 << 0u;
    QTest::newRow("end code's text") << QString("<end>") << QByteArray("\xFF") << -1 << 0u;
    QTest::newRow("first of equal values") << QString("x") << QByteArray("\x78") << -1 << 0u;
    QTest::newRow("first of equal values among others") << QString("thtt") << QByteArray("\x83\x74\x74") << -1 << 0u;
    QTest::newRow("refused") << QString("tnq") << QByteArray() << 2 << uint('q');
    QTest::newRow("refused outside the BMP") << QString::fromUtf8("n😀") << QByteArray() << 1 << 0x1F600u;
}

void TestCharTable::encodes()
{
    QFETCH(QString, text);
    QFETCH(int, nRefusedAt);
    CCharTable table;
    QVERIFY(table.Parse("74=t\n6E=n\n82=the\n8081=魔\n*FE\n/FF=<end>\n78=x\n79=x\n83=th\n84=the\n85=t\n"));
    const CEncodedText result = table.Encode(text);
    QTEST(result.bytes, "bytes");
    QCOMPARE(result.bOk, nRefusedAt < 0);
    QCOMPARE(int(result.nRefusedAt), nRefusedAt);
    QTEST(uint(result.chRefused), "chRefused");
}

// Encoding against a search of every value at every place; where the table's
// values are all one character, decoding what was written gives the text back.
void TestCharTable::encodesLikePlainSearch()
{
    for (quint32 seed = 10; seed < 30; ++seed) {
        QRandomGenerator random(seed);
        std::vector<PlainEntry> entries;
        CCharTable table;
        QVERIFY(table.Parse(RandomTable(random, 40, 3, entries)));
        QString text;
        for (int i = 0; i < 60; ++i) {
            const PlainEntry& entry = entries[random.bounded(std::uint32_t(entries.size()))];
            text += PlainText(entry);
        }
        QByteArray expected;
        for (qsizetype i = 0; i < text.size();) {
            int nBest = -1;
            for (int e = 0; e < int(entries.size()); ++e) {
                const QString value = PlainText(entries[std::size_t(e)]);
                const bool bLonger = nBest < 0 || value.size() > PlainText(entries[std::size_t(nBest)]).size();
                if (!value.isEmpty() && QStringView(text).mid(i).startsWith(value) && bLonger)
                    nBest = e;
            }
            if (nBest < 0 && text[i] == QLatin1Char('\n')) {
                for (int e = 0; e < int(entries.size()) && nBest < 0; ++e) {
                    if (entries[std::size_t(e)].kind == CCharTable::Kind::LineBreak)
                        nBest = e;
                }
                expected += entries[std::size_t(nBest)].key;
                ++i;
                continue;
            }
            QVERIFY(nBest >= 0);
            expected += entries[std::size_t(nBest)].key;
            i += PlainText(entries[std::size_t(nBest)]).size();
        }
        const CEncodedText result = table.Encode(text);
        QVERIFY(result.bOk);
        QCOMPARE(result.bytes, expected);
    }
}

QTEST_GUILESS_MAIN(TestCharTable)
#include "tst_chartable.moc"
