#include "hexdoc.h"
#include "rowformat.h"
#include "testsupport.h"
#include "codepage.h"
#include "textdecoder.h"
#include "utf8.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

// The row rules shared by the view, printing and --dump: row strings, the pairing
// that carries over from one row to the next, and the text column's characters.
class TestRowFormat : public QObject {
    Q_OBJECT

private slots:
    void formatRow_data();
    void formatRow();
    void formatOffset_data();
    void formatOffset();
    void offsetColumnOfLargeFiles_data();
    void offsetColumnOfLargeFiles();
    void rowTextMatchesByteByByteRule_data();
    void rowTextMatchesByteByByteRule();
    void utf8RowTextMatchesWalk_data();
    void utf8RowTextMatchesWalk();
    void continuedRowsMatchWalkFromStart_data();
    void continuedRowsMatchWalkFromStart();
    void continuedRowsFollowEdits_data();
    void continuedRowsFollowEdits();
    void continuedRowsFollowCodePage();
    void textColumnToUtf8_data();
    void textColumnToUtf8();
    void utf8MatchesCharacterByCharacter_data();
    void utf8MatchesCharacterByCharacter();
    void pairsAsTheCodecDecodesEachAlone_data();
    void pairsAsTheCodecDecodesEachAlone();
    void dumpLineMatchesRowAndDecoder_data();
    void dumpLineMatchesRowAndDecoder();
    void dumpLinesMatchLineByLine_data() { dumpLineMatchesRowAndDecoder_data(); }
    void dumpLinesMatchLineByLine();
    void charOutputsEndInZeros_data();
    void charOutputsEndInZeros();
    void utf8Rows_data();
    void utf8Rows();
    void utf8RowsShowEveryCharacterOnce();
};

namespace {

std::unique_ptr<CHexDoc> MakeDoc(const QByteArray& bytes, int nCodePage)
{
    auto doc = std::make_unique<CHexDoc>();
    doc->SetContents(bytes);
    doc->SetCodePage(nCodePage);
    return doc;
}

QByteArray RandomBytes(int nLength, quint32 seed)
{
    QByteArray bytes(nLength, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (char& b : bytes)
        b = char(gen.bounded(256));
    return bytes;
}

// The hex part of a row: "XX XX ... XX  XX ... XX    " with blanks for missing pairs.
QByteArray HexPart(const QByteArray& bytes)
{
    QByteArray part;
    for (int k = 0; k < 16; ++k) {
        part += k < bytes.size() ? bytes.mid(k, 1).toHex().toUpper() : QByteArray("  ");
        part += k == 7 ? "  " : " ";
    }
    return part + "   ";
}

// The walk from offset 0 that the view's continued-row test stands for.
std::vector<bool> ContinuedRows(const CHexDoc& doc)
{
    std::vector<bool> continued((doc.GetSize() + 15) / 16 + 1, false);
    std::uint32_t i = 0;
    while (i < doc.GetSize() - 1) {
        if (IsLeadByte(doc.GetCodePage(), doc.Data()[i]) && IsTrailByte(doc.GetCodePage(), doc.Data()[i + 1])) {
            if ((i + 1) % 16 == 0)
                continued[(i + 1) / 16] = true;
            i += 2;
        } else {
            ++i;
        }
    }
    return continued;
}

} // namespace

void TestRowFormat::formatRow_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("continued");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("nextContinued");

    const QByteArray hello("Hello, world!\r\n\0", 16);
    const QByteArray a15(15, 'a');
    QTest::newRow("empty file") << QByteArray() << 1252 << 0 << false << HexPart("") + " " << false;
    QTest::newRow("full row") << hello << 1252 << 0 << false << HexPart(hello) + "Hello, world!..." << false;
    QTest::newRow("16 bytes, row after them") << hello << 1252 << 1 << false << HexPart("") + " " << false;
    QTest::newRow("17 bytes, second row") << hello + "A" << 1252 << 1 << false << HexPart("A") + "A " << false;
    QTest::newRow("lead byte at offset 15") << a15 + "\xB0\xA1" + "bc" << 936 << 0 << false
                                            << HexPart(a15 + "\xB0") + a15 + "\xB0\xA1" << true;
    QTest::newRow("row after it") << a15 + "\xB0\xA1" + "bc" << 936 << 1 << true << HexPart("\xA1" "bc") + ".bc " << false;
    QTest::newRow("lead byte without trail byte") << a15 + "\xB0" + "bc" << 936 << 0 << false
                                                  << HexPart(a15 + "\xB0") + a15 + "." << false;
    QTest::newRow("lead byte before the end marker") << QByteArray("x\xB0") << 936 << 0 << false
                                                     << HexPart("x\xB0") + "x. " << false;
    QTest::newRow("half-width katakana in 932") << QByteArray("\xB1\xDF") << 932 << 0 << false
                                                << HexPart("\xB1\xDF") + "\xB1\xDF " << false;
    QTest::newRow("the same bytes in 950") << QByteArray("\xA0\xDF") << 950 << 0 << false
                                           << HexPart("\xA0\xDF") + ".. " << false;
    QTest::newRow("no pairs in 1252") << QByteArray("\xB0\xA1~") << 1252 << 0 << false
                                      << HexPart("\xB0\xA1~") + "\xB0\xA1~ " << false;
}

void TestRowFormat::formatRow()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, codePage);
    QFETCH(int, row);
    QFETCH(bool, continued);
    QFETCH(QByteArray, expected);
    QFETCH(bool, nextContinued);

    const auto doc = MakeDoc(bytes, codePage);
    QByteArray strRow = "stale";
    QCOMPARE(CRowFormat::FormatRow(*doc, std::uint32_t(row), strRow, continued), nextContinued);
    QCOMPARE(strRow, expected);
}

void TestRowFormat::formatOffset_data()
{
    QTest::addColumn<quint32>("offset");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("first row") << 0u << QByteArray("000000    ");
    QTest::newRow("last six-digit row") << 0xFFFFF0u << QByteArray("FFFFF0    ");
    // The window draws the hex part over the blanks of a longer offset.
    QTest::newRow("16 MiB") << 0x1000000u << QByteArray("1000000   ");
    QTest::newRow("last seven-digit row") << 0xFFFFFF0u << QByteArray("FFFFFF0   ");
    QTest::newRow("256 MiB") << 0x10000000u << QByteArray("10000000  ");
    QTest::newRow("last row of 4 GiB") << 0xFFFFFFF0u << QByteArray("FFFFFFF0  ");
}

void TestRowFormat::formatOffset()
{
    QFETCH(quint32, offset);
    QFETCH(QByteArray, expected);
    char out[CRowFormat::kOffsetColumns];
    CRowFormat::FormatOffset(offset, out);
    QCOMPARE(QByteArray(out, CRowFormat::kOffsetColumns), expected);
}

// Files under 4 GiB keep the ten columns; from 4 GiB on every row's offset takes
// the digits of the last row's, the end marker's row (4 GiB exactly ends there).
void TestRowFormat::offsetColumnOfLargeFiles_data()
{
    QTest::addColumn<quint64>("length");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("4 GiB less one, last row") << 0xFFFFFFFFull << 0xFFFFFFF0ull << QByteArray("FFFFFFF0  ");
    QTest::newRow("4 GiB less one, first row") << 0xFFFFFFFFull << 0ull << QByteArray("000000    ");
    QTest::newRow("4 GiB, first row") << 0x100000000ull << 0ull << QByteArray("000000     ");
    QTest::newRow("4 GiB, the end marker's row") << 0x100000000ull << 0x100000000ull << QByteArray("100000000  ");
    QTest::newRow("5 GiB, before 4 GiB") << 0x140000000ull << 0xFFFFFFF0ull << QByteArray("FFFFFFF0   ");
    QTest::newRow("64 GiB, 16 MiB") << 0x1000000000ull << 0x1000000ull << QByteArray("1000000     ");
    QTest::newRow("64 GiB, last row") << 0x1000000000ull << 0x1000000000ull << QByteArray("1000000000  ");
    QTest::newRow("largest offset") << ~0ull << 0xFFFFFFFFFFFFFFF0ull << QByteArray("FFFFFFFFFFFFFFF0  ");
    // Never cut: an offset the column has no room for keeps its digits.
    QTest::newRow("file grown past the column") << 0x10ull << 0x100000010ull << QByteArray("100000010  ");
}

void TestRowFormat::offsetColumnOfLargeFiles()
{
    QFETCH(quint64, length);
    QFETCH(quint64, offset);
    QFETCH(QByteArray, expected);
    char out[32];
    std::memset(out, 'E', sizeof out);
    const int nColumns = CRowFormat::OffsetColumns(length);
    QCOMPARE(CRowFormat::FormatOffset(offset, nColumns, out), int(expected.size()));
    QCOMPARE(QByteArray(out, int(expected.size()) + 1), expected + 'E');
}

// Whole rows are extracted 16 bytes at a time; the rule they must follow is the
// byte-by-byte one written out here.
void TestRowFormat::rowTextMatchesByteByByteRule_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    for (const int cp : {932, 936, 950, 1252}) {
        QTest::addRow("random bytes, %d", cp) << cp << RandomBytes(4099, quint32(cp));
        QTest::addRow("lead bytes only, %d", cp) << cp << QByteArray(300, char(0xE4));
    }
}

void TestRowFormat::rowTextMatchesByteByByteRule()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    const auto doc = MakeDoc(bytes, codePage);
    const std::uint8_t* data = doc->Data();
    for (std::uint32_t offset = 0; offset < doc->GetSize(); ++offset) {
        for (const bool continuation : {false, true}) {
            std::uint8_t hex[17], expectedHex[17];
            char text[17], expectedText[17];
            std::memset(hex, 0xEE, 17);
            std::memset(text, 'E', 17);
            std::memcpy(expectedHex, hex, 17);
            std::memcpy(expectedText, text, 17);

            const std::uint32_t left = doc->GetSize() - offset;
            const std::uint32_t count = std::min<std::uint32_t>(left, 16);
            std::uint32_t j = continuation ? 1 : 0;
            while (j < count) {
                const std::uint8_t b = data[offset + j];
                expectedHex[j] = b;
                const bool shown = IsShownAlone(codePage, b);
                if (IsLeadByte(codePage, b) && j + 1 < left && IsTrailByte(codePage, data[offset + j + 1])) {
                    expectedText[j] = char(b);
                    ++j;
                    expectedHex[j] = data[offset + j];
                    expectedText[j] = char(data[offset + j]);
                } else {
                    expectedText[j] = shown && !IsLeadByte(codePage, b) ? char(b) : '.';
                }
                ++j;
            }
            if (continuation) {
                expectedHex[0] = data[offset];
                expectedText[0] = '.';
            }
            const std::uint32_t expectedCount = count == left ? count : j;

            const std::uint32_t n = doc->GetRowText(offset, hex, text, continuation);
            QVERIFY2(n == expectedCount && std::memcmp(hex, expectedHex, 17) == 0
                         && std::memcmp(text, expectedText, 17) == 0,
                     qPrintable(QString("offset %1, continuation %2").arg(offset).arg(continuation)));
        }
    }
}

void TestRowFormat::continuedRowsMatchWalkFromStart_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    // Long runs, so that remembered runs are used and built upon.
    const int nLength = 3 * 0x10000 + 77;
    for (const int cp : {932, 936, 950}) {
        const char lead = cp == 932 ? char(0x81) : char(0xB0);
        QTest::addRow("random bytes, %d", cp) << cp << RandomBytes(nLength, quint32(cp));
        QTest::addRow("one run of lead bytes, %d", cp) << cp << QByteArray(nLength, lead);
        QByteArray odd(nLength, lead);
        odd[0] = 'x';
        odd[0x10000 + 5] = 'y';
        QTest::addRow("runs of lead bytes from odd offsets, %d", cp) << cp << odd;
        QByteArray runs;
        QRandomGenerator gen{quint32(cp)};
        while (runs.size() < nLength) {
            runs += QByteArray(int(gen.bounded(9000)), lead);
            runs += RandomBytes(int(gen.bounded(3)) + 1, gen.generate());
        }
        QTest::addRow("runs of random lengths, %d", cp) << cp << runs;
    }
    // 932's lead bytes 0xE0-0xFC are lead bytes in 936 too; 0x81 is none there.
    QTest::newRow("932 high lead bytes") << 932 << QByteArray(nLength, char(0xE5));
    QTest::newRow("no pairs in 1252") << 1252 << RandomBytes(5000, 7);
}

void TestRowFormat::continuedRowsMatchWalkFromStart()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    const auto doc = MakeDoc(bytes, codePage);
    const std::vector<bool> expected = ContinuedRows(*doc);
    const std::uint32_t nRows = (doc->GetSize() + 15) / 16;

    // From the end backwards first, so that the cache is filled out of order;
    // again with the runs of lead bytes that detection lists, as a view opens.
    for (const bool seeded : {false, true}) {
        CRowFormat format;
        if (seeded) {
            std::vector<CByteRange> runs;
            DetectCodePage(doc->Data(), doc->GetSize(), &runs);
            format.AddLeadRuns(*doc, runs);
        }
        for (std::uint32_t r = nRows; r-- > 0;) {
            QVERIFY2(format.IsRowContinued(*doc, r, true) == expected[r], qPrintable(QString("row %1").arg(r)));
            QVERIFY2(format.IsRowContinued(*doc, r, false) == expected[r + 1],
                     qPrintable(QString("after row %1").arg(r)));
        }
        QVERIFY(!format.IsRowContinued(*doc, nRows, true));
    }
}

void TestRowFormat::continuedRowsFollowEdits_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QByteArray>("inserted");
    QTest::addColumn<bool>("invalidate");   // InvalidateRowCache instead of ReplaceInRowCache
    for (const int cp : {932, 936, 950}) {
        QTest::addRow("lead byte typed at offset 0, %d", cp) << cp << 0 << 0 << QByteArray("\xE4") << false;
        QTest::addRow("other byte typed at offset 0, %d", cp) << cp << 0 << 0 << QByteArray("x") << false;
        QTest::addRow("first byte deleted, %d", cp) << cp << 0 << 1 << QByteArray() << false;
        QTest::addRow("byte overwritten in a run, %d", cp) << cp << 0x10004 << 1 << QByteArray("x") << false;
        QTest::addRow("run cut out, %d", cp) << cp << 0x8000 << 0x11001 << QByteArray() << false;
        QTest::addRow("text pasted into a run, %d", cp) << cp << 0x20003 << 0 << QByteArray("ab\xE4") << false;
        QTest::addRow("byte changed, cache dropped from it, %d", cp) << cp << 0x10004 << 1 << QByteArray("x") << true;
    }
}

void TestRowFormat::continuedRowsFollowEdits()
{
    // Runs of lead bytes through several blocks, asked about first so that the
    // cache holds them: one changed byte shifts the pairing of every row after it.
    QFETCH(int, codePage);
    QFETCH(int, position);
    QFETCH(int, removed);
    QFETCH(QByteArray, inserted);
    QFETCH(bool, invalidate);
    QByteArray bytes(4 * 0x10000, char(0xE4));
    bytes[0x30000] = 'z';
    const auto doc = MakeDoc(bytes, codePage);
    CRowFormat format;
    for (std::uint32_t r = (doc->GetSize() + 15) / 16; r-- > 0;)
        format.IsRowContinued(*doc, r, true);

    bytes.replace(position, removed, inserted);
    const auto edited = MakeDoc(bytes, codePage);
    doc->SetContents(QByteArray(reinterpret_cast<const char*>(edited->Data()), qsizetype(edited->GetLength())));
    if (invalidate)
        format.InvalidateRowCache(std::uint32_t(position));
    else
        format.ReplaceInRowCache(std::uint32_t(position), std::uint32_t(removed), std::uint32_t(inserted.size()));

    const std::vector<bool> expected = ContinuedRows(*doc);
    const std::uint32_t nRows = (doc->GetSize() + 15) / 16;
    for (std::uint32_t r = nRows; r-- > 0;)
        QVERIFY2(format.IsRowContinued(*doc, r, true) == expected[r], qPrintable(QString("row %1").arg(r)));
}

void TestRowFormat::continuedRowsFollowCodePage()
{
    // 0xE0 pairs with itself in 932 and 936; 0x90 does only in 932, so in 936 the
    // pairs after it start one byte later and cross every row's end.
    QByteArray bytes(0x30000, char(0xE0));
    bytes[0x10004] = char(0x90);
    const auto doc = MakeDoc(bytes, 932);
    CRowFormat format;
    const std::uint32_t row = 0x2FFF0 / 16;
    QVERIFY(!format.IsRowContinued(*doc, row, true));
    doc->SetCodePage(936);
    QVERIFY(format.IsRowContinued(*doc, row, true));
    doc->SetCodePage(932);
    QVERIFY(!format.IsRowContinued(*doc, row, true));
}

void TestRowFormat::textColumnToUtf8_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("utf8");   // when it differs: an undefined pair keeps its two cells
    const QString replacement(QChar(0xFFFD));
    QTest::newRow("GB pair") << 936 << QByteArray("a\xB0\xA1.") << QString::fromUtf8("a啊.") << QString();
    QTest::newRow("BIG5 pair") << 950 << QByteArray("\xA4\xA4z") << QString::fromUtf8("中z") << QString();
    QTest::newRow("Shift JIS pair and katakana")
        << 932 << QByteArray("\x82\xA0\xB1") << QString::fromUtf8("あｱ") << QString();
    QTest::newRow("spilled character") << 936 << QByteArray(15, 'a') + "\xC4\xE3"
                                       << QString(15, 'a') + QString::fromUtf8("你") << QString();
    QTest::newRow("undefined BIG5 pair") << 950 << QByteArray("\xA3\xC0!") << replacement + '!'
                                         << replacement + " !";
    QTest::newRow("undefined Shift JIS pair")
        << 932 << QByteArray("\x81\xAD") << replacement << replacement + ' ';
    QTest::newRow("undefined pair spilled") << 950 << QByteArray(15, 'a') + "\xA3\xC0"
                                            << QString(15, 'a') + replacement << QString(15, 'a') + replacement + ' ';
    QTest::newRow("undefined single byte") << 932 << QByteArray("\xA0 ") << replacement + ' ' << QString();
    QTest::newRow("lead byte ending the column") << 936 << QByteArray("ab\xC4") << "ab" + replacement << QString();
    QTest::newRow("lead byte before no trail byte") << 936 << QByteArray("\xB0\x7F") << replacement
                                                    << replacement + ' ';
}

void TestRowFormat::textColumnToUtf8()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QFETCH(QString, utf8);
    const CTextDecoder decoder(codePage);
    char out[3 * 17 + 16];
    const char* end = decoder.ToUtf8(text.constData(), int(text.size()), out);
    QCOMPARE(QString::fromUtf8(out, end - out), utf8.isNull() ? expected : utf8);

    QString chars;
    int nCells = 0;
    decoder.ForEachChar(text.constData(), int(text.size()), [&](int nCell, int nWidth, char32_t ch) {
        QCOMPARE(nCell, nCells);
        nCells += nWidth;
        chars += QString::fromUcs4(&ch, 1);
    });
    QCOMPARE(nCells, int(text.size()));
    QCOMPARE(chars, expected);
}

// ToUtf8 skips from one pair or high byte to the next; it must give what the
// characters one by one give, for every row of random files.
void TestRowFormat::utf8MatchesCharacterByCharacter_data()
{
    QTest::addColumn<int>("codePage");
    for (const int cp : {932, 936, 950, 1252})
        QTest::addRow("%d", cp) << cp;
}

void TestRowFormat::utf8MatchesCharacterByCharacter()
{
    QFETCH(int, codePage);
    const auto doc = MakeDoc(RandomBytes(16 * 1000 + 9, quint32(codePage) + 1), codePage);
    const CTextDecoder decoder(codePage);
    bool continued = false;
    for (std::uint32_t r = 0; r < (doc->GetSize() + 15) / 16; ++r) {
        QByteArray row;
        continued = CRowFormat::FormatRow(*doc, r, row, continued);
        const QByteArray text = row.mid(CRowFormat::kHexPartLength);
        QString expected;
        decoder.ForEachChar(text.constData(), int(text.size()), [&expected](int, int nCells, char32_t ch) {
            expected += QString::fromUcs4(&ch, 1);
            if (nCells == 2 && ch == 0xFFFD)
                expected += ' ';
        });
        char out[3 * 17 + 16];
        const char* end = decoder.ToUtf8(text.constData(), int(text.size()), out);
        QVERIFY2(QString::fromUtf8(out, end - out) == expected, qPrintable(QString("row %1").arg(r)));
    }
}

// The decoder's tables decode a lead byte's pairs in one call; each must come
// out as the codec gives that pair alone: one character that is no control, or
// U+FFFD.
void TestRowFormat::pairsAsTheCodecDecodesEachAlone_data()
{
    QTest::addColumn<int>("codePage");
    for (const int cp : {932, 936, 949, 950})
        QTest::addRow("%d", cp) << cp;
}

void TestRowFormat::pairsAsTheCodecDecodesEachAlone()
{
    QFETCH(int, codePage);
    const CTextDecoder decoder(codePage);
    QStringDecoder codec(CodecNameFromCodePage(codePage), QStringDecoder::Flag::Stateless);
    QVERIFY(codec.isValid());
    int nDefined = 0;
    for (int lead = 0x80; lead < 0x100; ++lead) {
        if (!IsLeadByte(codePage, std::uint8_t(lead)))
            continue;
        for (int trail = 0; trail < 0x100; ++trail) {
            if (!IsTrailByte(codePage, std::uint8_t(trail)))
                continue;
            const char pair[2] = {char(lead), char(trail)};
            const QList<uint> chars = QString(codec.decode(QByteArrayView(pair, 2))).toUcs4();
            const bool bOne = chars.size() == 1 && chars[0] >= 0x20 && !(chars[0] >= 0x7F && chars[0] < 0xA0);
            const char32_t expected = bOne ? char32_t(chars[0]) : char32_t(0xFFFD);
            nDefined += int(bOne && expected != 0xFFFD);
            if (decoder.DecodePair(std::uint8_t(lead), std::uint8_t(trail)) != expected)
                QFAIL(qPrintable(QString("pair %1 %2").arg(lead, 2, 16).arg(trail, 2, 16)));
        }
    }
    QVERIFY(nDefined > 7000);
}

namespace {

// The text column of a row as --dump writes it.
QString DumpedText(const QByteArray& strRow, const CTextDecoder& decoder)
{
    const QByteArray text = strRow.mid(CRowFormat::kHexPartLength);
    char out[3 * CRowFormat::kMaxTextLength + 16];
    const char* end = decoder.ToUtf8(text.constData(), int(text.size()), out);
    return QString::fromUtf8(out, end - out);
}

} // namespace

// In UTF-8 each character shows once at its first byte's cell, wide ones over two
// cells; the dump writes a blank for each other cell of its bytes. The last cell
// of a row that reaches the end marker is its blank.
// A dump line keeps the text column of most rows in registers; it must be what
// the row and the decoder give, at every offset, after a continued row or not.
void TestRowFormat::utf8RowTextMatchesWalk_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("random bytes") << RandomBytes(4099, 8);
    // Every kind of sequence side by side, well-formed or not, shown or not.
    QRandomGenerator gen(65001);
    QByteArray mixed;
    while (mixed.size() < 6000) {
        switch (gen.bounded(9)) {
        case 0: mixed += QByteArray("word ").left(int(gen.bounded(1, 6))); break;
        case 1: mixed += QString(QChar(0x4E00 + gen.bounded(0x5200))).toUtf8(); break;
        case 2: mixed += QString(QChar(0xA0 + gen.bounded(0x700))).toUtf8(); break;       // two bytes
        case 3: mixed += QString(QChar(0x2000 + gen.bounded(0x1000))).toUtf8(); break;    // three, some not shown
        case 4: mixed += QString(QChar(0xE000 + gen.bounded(0x2000))).toUtf8(); break;    // private use, forms
        case 5: mixed += QString::fromUcs4(U"\U0001F600\U00020000").toUtf8().mid(int(gen.bounded(2)) * 4, 4); break;
        case 6: mixed += QString(QChar(0x4E00 + gen.bounded(0x5200))).toUtf8().left(int(gen.bounded(1, 3))); break;
        case 7: mixed += char(gen.bounded(0x80, 0x100)); break;   // continuation, C0, C1, F5-FF, leads alone
        default: mixed += "\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80"; break;   // overlong, surrogate, past U+10FFFF
        }
    }
    QTest::newRow("mixed sequences") << mixed;
}

// The row text of UTF-8 against the walk through every byte: a sequence of
// an ideograph or of a shown character keeps its bytes, any other byte shows
// as itself when printable ASCII, else as '.'.
void TestRowFormat::utf8RowTextMatchesWalk()
{
    QFETCH(QByteArray, bytes);
    const auto doc = MakeDoc(bytes, kCodePageUtf8);
    const std::uint8_t* data = doc->Data();
    for (std::uint32_t offset = 0; offset < doc->GetSize(); ++offset) {
        std::uint8_t hex[20], expectedHex[20];
        char text[20], expectedText[20];
        std::memset(hex, 0xEE, 20);
        std::memset(text, 'E', 20);
        std::memcpy(expectedHex, hex, 20);
        std::memcpy(expectedText, text, 20);

        const std::uint32_t left = doc->GetSize() - offset;
        const std::uint32_t count = std::min<std::uint32_t>(left, 16);
        std::uint32_t j = 0;
        while (j < count) {
            const std::uint8_t* p = data + offset + j;
            int n = 0;
            if (IsIdeographAt(p, left - j)) {
                n = 3;
            } else if (p[0] >= 0x80) {
                char32_t ch = 0;
                n = Utf8SequenceAt(p, left - j, ch);
                if (n != 0 && !IsShownChar(ch))
                    n = 0;
            }
            if (n != 0) {
                for (int k = 0; k < n; ++k) {
                    expectedHex[j + k] = p[k];
                    expectedText[j + k] = char(p[k]);
                }
                j += std::uint32_t(n);
            } else {
                expectedHex[j] = p[0];
                expectedText[j] = p[0] >= 0x20 && p[0] <= 0x7E ? char(p[0]) : '.';
                ++j;
            }
        }

        const std::uint32_t n = doc->GetRowText(offset, hex, text, false);
        QVERIFY2(n == j && std::memcmp(hex, expectedHex, 20) == 0 && std::memcmp(text, expectedText, 20) == 0,
                 qPrintable(QString("offset %1").arg(offset)));
    }
}

void TestRowFormat::dumpLineMatchesRowAndDecoder_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QRandomGenerator gen(26);
    // Text of every kind side by side: ASCII words and controls, pairs of lead
    // and trail bytes, UTF-8 ideographs, punctuation and broken sequences.
    QByteArray mixed;
    while (mixed.size() < 6000) {
        switch (gen.bounded(7)) {
        case 0: mixed += QByteArray("the quick ").left(int(gen.bounded(1, 11))); break;
        case 1: mixed += char(gen.bounded(0x20)); break;
        case 2: mixed += char(gen.bounded(0x81, 0xFF)); mixed += char(gen.bounded(0x40, 0xFF)); break;
        case 3: mixed += QString(QChar(0x4E00 + gen.bounded(0x5200))).toUtf8(); break;
        case 4: mixed += QString(QChar(0x3000 + gen.bounded(0x100))).toUtf8(); break;
        case 5: mixed += QByteArray(int(gen.bounded(1, 40)), char(gen.bounded(0xA1, 0xFF))); break;
        default: mixed += char(gen.bounded(0x80, 0x100)); break;
        }
    }
    for (const int cp : {936, 950, 932, 949, 1252, 65001}) {
        QTest::addRow("random bytes, %d", cp) << cp << RandomBytes(3000, quint32(cp));
        QTest::addRow("mixed text, %d", cp) << cp << mixed;
        QTest::addRow("spaces and a pair at the end, %d", cp) << cp << QByteArray(14, ' ') + "\xB0\xA1  ";
        // Rows whose text is blank, or ends in blanks after an ideograph or a pair.
        QTest::addRow("blank rows, %d", cp) << cp << QByteArray(32, ' ') + "\xE4\xB8\xAD" + QByteArray(13, ' ')
                + "\xB0\xA1" + QByteArray(14, ' ') + "a\x80" + QByteArray(30, ' ');
        // Rows of pairs only, among them some of two-byte UTF-8 (GB A1A4, U+00B7)
        // and undefined ones (BIG5 A3C0).
        QTest::addRow("rows of pairs, %d", cp) << cp << QByteArray("\xA1\xA4\xB0\xA1\xA3\xC0\xB0\xA1").repeated(40);
        // Pairs whose UTF-8 is three bytes, two (GB A1A4, Shift JIS 839F) or
        // four (undefined ones, Shift JIS 8840 and BIG5 A3C0: U+FFFD and a
        // blank), side by side and among letters, at every place of a row; and
        // four pairs of the code page's longest other kind with a letter in
        // half a row, which make 17 bytes of it where they are undefined.
        const char* const lengths[] = {"\xB0\xA1", "\xA1\xA4", "\x83\x9F", "\x88\x40", "\xA3\xC0", "\x82\xA0"};
        QByteArray pairs;
        for (int n = 0; n < 300; ++n) {
            pairs += lengths[(n * 7 + n / 6) % 6];
            if (n % 5 == 0)
                pairs += QByteArray(n % 3 + 1, 'a');
        }
        const QByteArray odd = cp == 932 ? "\x88\x40" : cp == 950 ? "\xA3\xC0" : "\xA6\xA1";
        for (int n = 0; n < 17; ++n)
            pairs += QByteArray(n, 'a') + (odd + odd + odd + 'a' + odd).repeated(3);
        QTest::addRow("pairs of every length, %d", cp) << cp << pairs;
        // Rows of more than eight characters, as only single bytes from 0x80 up
        // make them: half-width katakana in Shift JIS, up to 16 in a row, alone
        // and among pairs and letters.
        QByteArray singles;
        for (int n = 0; n < 40; ++n)
            singles += QByteArray(n % 17, char(0xB1 + n % 40)) + "\x82\xA0" + QByteArray(n % 3, 'a');
        QTest::addRow("single bytes from 0x80 up, %d", cp) << cp << singles;
        // Ideographs and wide punctuation (U+3002) at every cell of a row and
        // across its end, with blanks and letters between them and at its end.
        QByteArray wide;
        for (int n = 0; n < 24; ++n) {
            wide += QByteArray(n % 5, ' ') + "\xE4\xB8\xAD" + QByteArray(n % 3, 'a') + "\xE3\x80\x82"
                + QByteArray(n % 4, ' ');
        }
        QTest::addRow("wide characters among blanks, %d", cp) << cp << wide;
        // Every character of U+2000-U+2030 (dashes, quotation marks),
        // U+3000-U+3100 (punctuation and kana) and U+FF00-U+FF61 with a letter
        // after each, at every place of a row.
        QString punctuation;
        for (char16_t ch = 0x2000; ch <= 0x2030; ++ch)
            punctuation += QChar(ch) + QStringLiteral("a");
        for (char16_t ch = 0x3000; ch <= 0x3100; ++ch)
            punctuation += QChar(ch) + QStringLiteral("a");
        for (char16_t ch = 0xFF00; ch <= 0xFF61; ++ch)
            punctuation += QChar(ch) + QStringLiteral("a");
        QTest::addRow("CJK punctuation and full-width forms, %d", cp) << cp << punctuation.toUtf8();
        // The same without the letters, side by side as in Japanese text.
        punctuation.remove(QLatin1Char('a'));
        QTest::addRow("kana and punctuation side by side, %d", cp) << cp << punctuation.toUtf8();
        // Kana, full-width forms and quotation marks with their sequences cut
        // short by ASCII among whole ones, at every place of a row.
        QByteArray broken;
        for (int n = 0; n < 48; ++n) {
            broken += QByteArray(n % 3, 'a') + "\xE3\x81\x82" "\xE3\x81" "A" "\xE2\x80\x9C" "\xE2\x80" "B"
                + "\xEF\xBC\x81" "\xEF\xBC" "C" + QByteArray(n % 2, ' ');
        }
        QTest::addRow("broken kana and punctuation, %d", cp) << cp << broken;
        // One broken sequence at a time among whole characters, so that rows
        // taken together hold it and nothing else that needs the rules.
        QByteArray lone;
        for (int n = 0; n < 24; ++n) {
            lone += QString::fromUtf8("日本語のテキスト、「です」。").toUtf8().repeated(n % 4 + 1)
                + (n % 2 ? "\xE3\x81" "A" : "\xEF\xBC" "B") + QByteArray(n % 3, 'a');
        }
        QTest::addRow("one broken sequence among whole ones, %d", cp) << cp << lone;
        // Narrow characters of three bytes (quotation marks, ellipsis, dash,
        // euro sign) side by side, among ideographs and wide punctuation, and
        // two that are not shown (line separator, zero-width space), at every
        // place of a row and across its end.
        const char16_t threes[] = {0x201C, 0x201D, 0x2026, 0x2014, 0x20AC, 0x4E2D, 0x3002, 0x2028, 0x200B};
        QString narrow;
        for (int n = 0; n < 60; ++n) {
            narrow += QString(n % 4, QLatin1Char('a')) + QChar(threes[n % 9]) + QChar(threes[n * 5 % 7])
                + QString(n % 3, QLatin1Char(' '));
        }
        QTest::addRow("narrow characters of three bytes, %d", cp) << cp << narrow.toUtf8();
        // Runs of equal rows, which the lines copy: filler bytes; rows whose
        // last byte pairs with the next row's first, so that the run's first
        // row begins otherwise than the others; a UTF-8 ideograph across each
        // row's end; a character of four bytes across each row's end, whose
        // last byte in the row after the run is none; runs broken by a byte.
        QByteArray runs = QByteArray(80, char(0xCD)) + QByteArray(48, '\0')
            + QByteArray("AAAAAAAAAAAAAAA\xB0").repeated(4) + QByteArray(50, char(0xB0))
            + QByteArray("\xB8\xAD" "\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD" "x\xE4").repeated(5);
        runs += QByteArray(-runs.size() & 15, 'z');   // the next run from a row's start
        runs += QByteArray("\x9F\x98\x80" "abcdefghijkl" "\xF0").repeated(4) + "\x9F\x98" "A"
            + QByteArray(20, 'b') + QByteArray(40, char(0xFF)) + 'a' + QByteArray(60, char(0xFF));
        QTest::addRow("runs of equal rows, %d", cp) << cp << runs;
    }
}

namespace {

// Runs check(path) for each fast path of the dump lines the processor has:
// AVX-512 (its characters looked up by a gather and by scalar loads), AVX2
// with BMI2 and SSSE3, or those of them it has; the processor's own choices
// come back after.
template <typename F>
void ForEachFastPath(F check)
{
    const auto restore = qScopeGuard([] {
        CRowFormat::UseProcessorsChoices();
    });
    if (CRowFormat::AllowAvx512(true)) {
        CRowFormat::UseGather(true);
        check("AVX-512, gather");
        CRowFormat::UseGather(false);
        check("AVX-512, scalar loads");
    }
    CRowFormat::AllowAvx512(false);
    if (CRowFormat::AllowAvx2(true))
        check("AVX2");
    CRowFormat::AllowAvx2(false);
    check("SSSE3");
}

// A test's bytes with the end marker after them, as a document holds them.
std::vector<std::uint8_t> WithEndMarker(const QByteArray& bytes)
{
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    data.push_back(0xFF);
    return data;
}

} // namespace

void TestRowFormat::dumpLineMatchesRowAndDecoder()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    const std::vector<std::uint8_t> data = WithEndMarker(bytes);
    const auto nSize = std::uint32_t(data.size());
    const CTextDecoder decoder(codePage);
    ForEachFastPath([&](const char* path) {
        for (std::uint32_t offset = 0; offset < nSize; ++offset) {
            for (const bool continued : {false, true}) {
                char expected[256];
                bool expectedNext = continued;
                const int nLength = CRowFormat::FormatRow(data.data(), nSize, codePage, offset, expected, expectedNext);
                char* text = expected + CRowFormat::kHexPartLength;
                const char* expectedEnd = decoder.ToUtf8(text, nLength - CRowFormat::kHexPartLength, text);

                char line[256];
                std::memset(line, 'E', sizeof line);
                bool next = continued;
                const char* end = CRowFormat::FormatLine(data.data(), nSize, offset, decoder, line, next);
                QVERIFY2(QByteArray(line, int(end - line)) == QByteArray(expected, int(expectedEnd - expected))
                             && next == expectedNext,
                         qPrintable(QString("offset %1, continued %2, %3: %4").arg(offset).arg(continued)
                                        .arg(path, QString::fromUtf8(line, int(end - line)))));
            }
        }
    });
}

// FormatLines makes the lines of a block as FormatOffset, FormatLine and the
// removal of trailing blanks do one by one, from any offset, continued or not,
// by each fast path the processor has.
void TestRowFormat::dumpLinesMatchLineByLine()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    const std::vector<std::uint8_t> data = WithEndMarker(bytes);
    const auto nSize = std::uint32_t(data.size());
    const CTextDecoder decoder(codePage);
    constexpr int kMaxLine = 16 + 2 + CRowFormat::kHexPartLength + CRowFormat::kMaxTextLength * 3 + 16 + 1;
    ForEachFastPath([&](const char*) {
        for (std::uint32_t offset = 0; offset < 16 && offset < nSize; offset += 5) {
            for (const bool continued : {false, true}) {
                const std::uint32_t nRows = (nSize - offset + 15) / 16;
                // The lines start at 0, near 4 GiB, where the offset column
                // widens, and near 16 and 256 MiB, where its digits grow.
                const std::uint64_t starts[] = {0, 0xFFFFFFF0ull, 0xFFFFD0, 0xFFFFFC0};
                const std::uint64_t nFileOffset = starts[offset / 5];
                const int nColumns = CRowFormat::OffsetColumns(nFileOffset + 16 * nRows);
                QByteArray expected;
                bool expectedNext = continued;
                for (std::uint32_t r = 0; r < nRows; ++r) {
                    char line[kMaxLine];
                    char* p = line + CRowFormat::FormatOffset(nFileOffset + 16 * r, nColumns, line);
                    p = CRowFormat::FormatLine(data.data(), nSize, offset + 16 * r, decoder, p, expectedNext);
                    while (p > line && p[-1] == ' ')
                        --p;
                    expected += QByteArray(line, int(p - line)) + '\n';
                }
                std::vector<char> lines(std::size_t(nRows) * kMaxLine);
                bool next = continued;
                const char* end = CRowFormat::FormatLines(data.data(), nSize, offset, nRows, nFileOffset, nColumns,
                                                          decoder, lines.data(), next);
                QCOMPARE(QByteArray(lines.data(), int(end - lines.data())), expected);
                QCOMPARE(next, expectedNext);
            }
        }
    });
}

// The AVX-512 path takes the bytes a character from 0x80 up writes to be those
// of its output that are not 0: no such output may hold a 0 byte among its
// counted ones or anything but 0 past them.
void TestRowFormat::charOutputsEndInZeros_data()
{
    QTest::addColumn<int>("codePage");
    for (const int cp : {936, 950, 932, 949, 1252, 933, 937})
        QTest::addRow("%d", cp) << cp;
}

void TestRowFormat::charOutputsEndInZeros()
{
    QFETCH(int, codePage);
    const CTextDecoder decoder(codePage);
    const std::uint64_t* outputs = decoder.CharOutputs();
    for (int bytes = 0; bytes < 0x10000; ++bytes) {
        if ((bytes & 0xFF) < 0x80)
            continue;
        const std::uint64_t out = outputs[bytes];
        const int nCount = int(out >> 32);
        QVERIFY2(nCount >= 1 && nCount <= 4, qPrintable(QString::number(bytes, 16)));
        for (int k = 0; k < 4; ++k) {
            const bool bZero = ((out >> (8 * k)) & 0xFF) == 0;
            QVERIFY2(bZero == (k >= nCount), qPrintable(QString("%1, byte %2").arg(bytes, 4, 16, QChar('0')).arg(k)));
        }
    }
    // The table the gather reads holds the same bytes for the cells the walk
    // lands on that show a character, and '.' for the others.
    for (int bytes = 0; bytes < 0x10000; ++bytes) {
        const auto b = std::uint8_t(bytes);
        const bool bPair = IsLeadByte(codePage, b) && IsTrailByte(codePage, std::uint8_t(bytes >> 8));
        const std::uint32_t expected = bPair || IsShownAlone(codePage, b) ? std::uint32_t(outputs[bytes]) : '.';
        QVERIFY2(decoder.CellBytesOut()[bytes] == expected, qPrintable(QString::number(bytes, 16)));
        // The AVX-512 rows look a cell that is no lead byte up without the
        // byte after it.
        if (!IsLeadByte(codePage, b))
            QVERIFY2(decoder.CellBytesOut()[bytes] == decoder.CellBytesOut()[b], qPrintable(QString::number(bytes, 16)));
    }
}

void TestRowFormat::utf8Rows_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");

    const QByteArray a12(12, 'a');
    const QByteArray a13(13, 'a');
    const QByteArray a14(14, 'a');
    const QByteArray a15(15, 'a');
    const QByteArray zhong("\xE4\xB8\xAD");
    const QByteArray grin("\xF0\x9F\x98\x80");
    QTest::newRow("Chinese") << QString("中文ABC").toUtf8() << 0 << QString("中 文 ABC ");
    QTest::newRow("Japanese") << QString("日本語です").toUtf8() << 0 << QString("日 本 語 で す  ");
    QTest::newRow("Korean") << QString("한국어").toUtf8() << 0 << QString("한 국 어  ");
    QTest::newRow("emoji takes two cells") << grin + "x" << 0 << QString("😀  x ");
    QTest::newRow("narrow three-byte character") << QByteArray("\xE2\x82\xAC" "1") << 0 << QString("€  1 ");
    QTest::newRow("two-byte character") << QByteArray("\xC3\xA9t") << 0 << QString("é t ");
    QTest::newRow("half-width katakana is narrow") << QString("ｱｲ").toUtf8() << 0 << QString("ｱ  ｲ   ");
    QTest::newRow("mixed with binary bytes") << QByteArray("\0", 1) + zhong + "\xFF\x01" "A" << 0
                                             << QString(".中 ..A ");
    QTest::newRow("overlong two bytes") << QByteArray("\xC0\x80z") << 0 << QString("..z ");
    QTest::newRow("overlong three bytes") << QByteArray("\xE0\x9F\xBF") << 0 << QString("... ");
    QTest::newRow("overlong four bytes") << QByteArray("\xF0\x8F\xBF\xBF") << 0 << QString(".... ");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << 0 << QString("... ");
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 0 << QString(".... ");
    QTest::newRow("byte never in UTF-8") << QByteArray("\xF5\xC1") << 0 << QString(".. ");
    QTest::newRow("lone continuation bytes") << QByteArray("\x80\xBFq") << 0 << QString("..q ");
    QTest::newRow("sequence broken by ASCII") << QByteArray("\xE4\xB8" "A") << 0 << QString("..A ");
    QTest::newRow("C1 control") << QByteArray("\xC2\x85") << 0 << QString(".. ");
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "A") << 0 << QString("...A ");
    QTest::newRow("cut at the file's end") << QByteArray("a\xE4\xB8") << 0 << QString("a.. ");
    QTest::newRow("wide character spills") << a15 + zhong + "bc" << 0 << QString::fromLatin1(a15) + "中";
    QTest::newRow("row after a spill") << a15 + zhong + "bc" << 1 << QString("..bc ");
    QTest::newRow("wide character ends in the next row") << a14 + zhong + "bc" << 0 << QString::fromLatin1(a14) + "中";
    QTest::newRow("row after it") << a14 + zhong + "bc" << 1 << QString(".bc ");
    QTest::newRow("narrow character crosses the end") << a15 + "\xC3\xA9x" << 0 << QString::fromLatin1(a15) + "é";
    QTest::newRow("emoji with two bytes in the next row") << a14 + grin + "z" << 0 << QString::fromLatin1(a14) + "😀";
    QTest::newRow("emoji in the row's last cells") << a12 + grin + "z" << 0 << QString::fromLatin1(a12) + "😀  ";
    QTest::newRow("emoji from cell 13") << a13 + grin + "z" << 0 << QString::fromLatin1(a13) + "😀 ";
    QTest::newRow("emoji spills") << a15 + grin + "z" << 0 << QString::fromLatin1(a15) + "😀";
    QTest::newRow("three bytes after a spilled emoji") << a15 + grin + "z" << 1 << QString("...z ");
    QTest::newRow("cut at the row's and the file's end") << a15 + "\xE4\xB8" << 0 << QString::fromLatin1(a15) + ".";
    QTest::newRow("row after the cut") << a15 + "\xE4\xB8" << 1 << QString(". ");
    // The ideographs U+4E00-U+9FFF take a path of their own; their neighbours don't.
    QTest::newRow("hexagram before the first ideograph") << QByteArray("\xE4\xB7\xBF\xE4\xB8\x80") << 0
                                                         << QString::fromUtf8("\u4DFF  \u4E00  ");
    QTest::newRow("last ideograph, then U+A000") << QByteArray("\xE9\xBF\xBF\xEA\x80\x80") << 0
                                                  << QString::fromUtf8("\u9FFF \uA000  ");
    QTest::newRow("ideograph's third byte not a continuation") << QByteArray("\xE5\xAD\x41") << 0
                                                                << QString("..A ");
    // Rows of ideographs and ASCII with the three bytes after them are taken 16
    // bytes at a time; any other byte from 0x80 up sends the row through the walk.
    const QByteArray a16(16, 'a');
    const QByteArray wen("\xE6\x96\x87");
    QTest::newRow("ideographs and ASCII, a whole row") << "ab" + zhong + wen + zhong + "cd" + wen + "efg" << 0
                                                       << QString("ab中 文 中 cd文 ");
    QTest::newRow("ideograph in the row's last cells") << a13 + zhong + "xyz" << 0
                                                       << QString::fromLatin1(a13) + "中 ";
    QTest::newRow("continuation bytes begin the row") << a15 + zhong + wen + a16 << 1
                                                      << QString("..文 aaaaaaaaaaa");
    QTest::newRow("ideographs up to the file's end") << zhong + zhong + zhong + zhong + zhong + zhong << 0
                                                     << QString("中 中 中 中 中 中");
    QTest::newRow("hexagram among ideographs") << "\xE4\xB7\xBF" + zhong + a16 << 0
                                               << QString::fromUtf8("\u4DFF  中 aaaaaaaaaa");
    QTest::newRow("broken ideograph among ideographs") << zhong + "\xE5\xAD" "A" + zhong + a16 << 0
                                                       << QString("中 ..A中 aaaaaaa");
    QTest::newRow("lone continuation byte among ideographs") << zhong + "\x80" + zhong + a16 << 0
                                                             << QString("中 .中 aaaaaaaaa");
    QTest::newRow("emoji among ideographs") << zhong + grin + zhong + a16 << 0 << QString("中 😀  中 aaaaaa");
}

void TestRowFormat::utf8Rows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, row);
    QFETCH(QString, expected);
    const auto doc = MakeDoc(bytes, kCodePageUtf8);
    QByteArray strRow;
    // A UTF-8 row never depends on the one above: continued or not, it is the same.
    for (const bool continued : {false, true}) {
        QVERIFY(!CRowFormat::FormatRow(*doc, std::uint32_t(row), strRow, continued));
        QCOMPARE(strRow.left(CRowFormat::kHexPartLength), HexPart(bytes.mid(16 * row, 16)));
        QCOMPARE(DumpedText(strRow, CTextDecoder(kCodePageUtf8)), expected);
    }
    CRowFormat format;
    QVERIFY(!format.IsRowContinued(*doc, std::uint32_t(row), true));
    QVERIFY(!format.IsRowContinued(*doc, std::uint32_t(row), false));
}

// Text with characters of every length among random bytes: every character that
// is shown appears once, in the row of its first byte, and each full row fills its
// 16 cells, or 17 when a wide character spills.
void TestRowFormat::utf8RowsShowEveryCharacterOnce()
{
    const QByteArray pieces[] = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                 "\xF0\x90\x8C\xB0", "\xC2\x85", "\x80", "\xED\xA0\x80", "\xE4\xB8"};
    QRandomGenerator gen(11);
    QByteArray bytes;
    while (bytes.size() < 20000)
        bytes += gen.bounded(4) == 0 ? QByteArray(1, char(gen.bounded(256))) : pieces[gen.bounded(10)];
    const auto doc = MakeDoc(bytes, kCodePageUtf8);

    QString expected;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    for (int i = 0; i < bytes.size();) {
        char32_t ch = data[i];
        const int n = Utf8SequenceAt(data + i, std::size_t(bytes.size() - i), ch);
        if (n != 0 && IsShownChar(ch))
            expected += QString::fromUcs4(&ch, 1);
        else if (ch > 0x20 && ch < 0x7F && ch != '.')
            expected += QChar(ch);
        i += n != 0 ? n : 1;
    }

    const CTextDecoder decoder(kCodePageUtf8);
    QString shown;
    const std::uint32_t nRows = (doc->GetSize() + 15) / 16;
    for (std::uint32_t r = 0; r < nRows; ++r) {
        QByteArray strRow;
        CRowFormat::FormatRow(*doc, r, strRow, false);
        const QString text = DumpedText(strRow, decoder);
        int nCells = 0;
        for (const char32_t ch : text.toUcs4()) {
            nCells += IsWideChar(ch) ? 2 : 1;
            if (ch != ' ' && ch != '.')
                shown += QString::fromUcs4(&ch, 1);
        }
        if (r + 1 < nRows) {
            const bool bSpills = nCells == 17 && IsWideChar(text.toUcs4().last());
            QVERIFY2(nCells == 16 || bSpills, qPrintable(QString("row %1: %2").arg(r).arg(text)));
        }
    }
    QCOMPARE(shown, expected);
}

QTEST_GUILESS_MAIN(TestRowFormat)
#include "tst_rowformat.moc"
