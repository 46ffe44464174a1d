#include "gotooffset.h"

#include <QtTest>

Q_DECLARE_METATYPE(GoToResult)

// The Go To dialog's text: bases, prefixes, relative offsets and the ends of
// the document, whose end marker sits at offset nLength.
class TestGoToOffset : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parsePast4GiB_data();
    void parsePast4GiB();
};

void TestGoToOffset::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("decimal");
    QTest::addColumn<uint>("caret");
    QTest::addColumn<uint>("length");
    QTest::addColumn<GoToResult>("result");
    QTest::addColumn<uint>("offset");

    const auto ok = GoToResult::Ok;
    QTest::newRow("hex digits") << "1a2B" << false << 0u << 0x10000u << ok << 0x1A2Bu;
    QTest::newRow("0x prefix") << "0x1A2B" << false << 0u << 0x10000u << ok << 0x1A2Bu;
    QTest::newRow("0X prefix, blanks around") << "  0X10 " << false << 0u << 0x100u << ok << 0x10u;
    QTest::newRow("decimal") << "100" << true << 0u << 0x100u << ok << 100u;
    QTest::newRow("0x wins over decimal") << "0x100" << true << 0u << 0x100u << ok << 0x100u;
    QTest::newRow("zero") << "0" << false << 5u << 10u << ok << 0u;
    QTest::newRow("the end marker") << "A" << false << 0u << 10u << ok << 10u;
    QTest::newRow("leading zeros") << "000000000000000F" << false << 0u << 0x10u << ok << 0xFu;
    QTest::newRow("plus from caret") << "+10" << false << 0x20u << 0x100u << ok << 0x30u;
    QTest::newRow("minus from caret") << "-10" << false << 0x20u << 0x100u << ok << 0x10u;
    QTest::newRow("minus decimal") << "-10" << true << 0x20u << 0x100u << ok << 0x16u;
    QTest::newRow("minus 0x") << "-0x20" << true << 0x20u << 0x100u << ok << 0u;
    QTest::newRow("plus to end marker") << "+ 5" << false << 5u << 10u << ok << 10u;
    QTest::newRow("last offset of 4 GiB") << "FFFFFFFF" << false << 0u << 0xFFFFFFFFu << ok << 0xFFFFFFFFu;

    const auto invalid = GoToResult::Invalid;
    QTest::newRow("empty") << "" << false << 0u << 10u << invalid << 0u;
    QTest::newRow("blanks") << "   " << false << 0u << 10u << invalid << 0u;
    QTest::newRow("sign alone") << "-" << false << 0u << 10u << invalid << 0u;
    QTest::newRow("0x alone") << "0x" << false << 0u << 10u << invalid << 0u;
    QTest::newRow("hex digit in decimal") << "1A" << true << 0u << 100u << invalid << 0u;
    QTest::newRow("letter past F") << "1G" << false << 0u << 100u << invalid << 0u;
    QTest::newRow("blank inside") << "1 2" << false << 0u << 100u << invalid << 0u;
    QTest::newRow("two signs") << "+-1" << false << 5u << 100u << invalid << 0u;
    QTest::newRow("sign after 0x") << "0x-1" << false << 5u << 100u << invalid << 0u;
    QTest::newRow("full-width digit") << QString(QChar(0xFF11)) << false << 0u << 100u << invalid << 0u;

    QTest::newRow("one past the end marker") << "B" << false << 0u << 10u << GoToResult::PastEnd << 0u;
    QTest::newRow("plus past the end") << "+6" << false << 5u << 10u << GoToResult::PastEnd << 0u;
    QTest::newRow("4 GiB in an empty file") << "100000000" << false << 0u << 0u << GoToResult::PastEnd << 0u;
    QTest::newRow("digits that wrap 64 bits") << "10000000000000001" << false << 0u << 0xFFFFFFFFu
                                               << GoToResult::PastEnd << 0u;
    QTest::newRow("minus before the start") << "-6" << false << 5u << 10u << GoToResult::BeforeStart << 0u;
    QTest::newRow("huge minus") << "-FFFFFFFFFFFFFFFFFFFF" << false << 5u << 10u << GoToResult::BeforeStart << 0u;
}

void TestGoToOffset::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, decimal);
    QFETCH(uint, caret);
    QFETCH(uint, length);
    QFETCH(GoToResult, result);
    QFETCH(uint, offset);

    qint64 nOffset = 0x12345678;
    QCOMPARE(ParseGoToOffset(text, decimal, caret, length, &nOffset), result);
    QCOMPARE(nOffset, qint64(result == GoToResult::Ok ? offset : 0x12345678u));
}

void TestGoToOffset::parsePast4GiB_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("caret");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<GoToResult>("result");
    QTest::addColumn<qint64>("offset");     // the offset gone to, or the one named past the end
    QTest::addColumn<bool>("tooFar");       // more digits than any offset

    const qint64 n64G = qint64(1) << 36;
    const auto ok = GoToResult::Ok;
    const auto pastEnd = GoToResult::PastEnd;
    QTest::newRow("4 GiB") << "100000000" << qint64(0) << n64G << ok << (qint64(1) << 32) << false;
    QTest::newRow("the end marker of 64 GiB") << "1000000000" << qint64(0) << n64G << ok << n64G << false;
    QTest::newRow("plus across 4 GiB") << "+20" << qint64(0xFFFFFFF0) << n64G << ok << qint64(0x100000010) << false;
    QTest::newRow("minus across 4 GiB") << "-20" << qint64(0x100000010) << n64G << ok << qint64(0xFFFFFFF0) << false;
    QTest::newRow("one past 64 GiB") << "1000000001" << qint64(0) << n64G << pastEnd << n64G + 1 << false;
    QTest::newRow("0x past 4 GiB") << "0x123456789" << qint64(0) << n64G << ok << qint64(0x123456789) << false;
    QTest::newRow("sixteen digits") << "FFFFFFFFFFFFFFFF" << qint64(0) << n64G << pastEnd << qint64(0) << true;
    QTest::newRow("plus of sixteen digits") << "+FFFFFFFFFFFFFFFF" << n64G << n64G << pastEnd << qint64(0) << true;
    QTest::newRow("twenty digits") << "FFFFFFFFFFFFFFFFFFFF" << qint64(0) << n64G << pastEnd << qint64(0) << true;
}

// Offsets past 4 GiB are read whole, and no run of digits wraps round to an
// offset within the file.
void TestGoToOffset::parsePast4GiB()
{
    QFETCH(QString, text);
    QFETCH(qint64, caret);
    QFETCH(qint64, length);
    QFETCH(GoToResult, result);
    QFETCH(qint64, offset);
    QFETCH(bool, tooFar);

    qint64 nOffset = -1;
    std::uint64_t nPastEnd = 0;
    QCOMPARE(ParseGoToOffset(text, false, caret, length, &nOffset, &nPastEnd), result);
    if (result == GoToResult::Ok)
        QCOMPARE(nOffset, offset);
    else if (tooFar)
        QVERIFY(nPastEnd >= kGoToTooFar);
    else
        QCOMPARE(nPastEnd, quint64(offset));
}

QTEST_GUILESS_MAIN(TestGoToOffset)
#include "tst_gotooffset.moc"
