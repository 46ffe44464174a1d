#include "chartable.h"
#include "rowformat.h"
#include "tablerow.h"

#include <QRandomGenerator>
#include <QtTest>

#include <vector>

// The lines --dump writes through a table, by the loops made for SSSE3 and
// for AVX-512 (where the processor has it) against the plain loop that calls
// CRowFormat's row parts and WriteUtf8 row by row.
class TestTableRow : public QObject {
    Q_OBJECT

private slots:
    void formatsLinesLikePlainLoop_data();
    void formatsLinesLikePlainLoop();
};

namespace {

struct Lines {
    QByteArray text;
    std::uint32_t nLanding = 0;
};

enum class Way { Fastest, Ssse3, Plain };

Lines FormatLines(const CCharTable& table, const QByteArray& data, std::uint32_t nRows, quint64 nFileOffset,
                  int nOffsetColumns, std::uint32_t nLanding, Way way)
{
    CTableRow::s_bPlainSteps = way == Way::Plain;
    CTableRow::s_bSsse3Steps = way == Way::Ssse3;
    const auto restore = qScopeGuard([] {
        CTableRow::s_bPlainSteps = false;
        CTableRow::s_bSsse3Steps = false;
    });
    const std::size_t nMaxLine = 18 + CRowFormat::kMaxRowLength + CTableRow::MaxUtf8(table) + 1;
    std::vector<char> out(nRows * nMaxLine);
    const char* pEnd = CTableRow::FormatLines(table, reinterpret_cast<const std::uint8_t*>(data.constData()),
                                              std::uint32_t(data.size()), nRows, nFileOffset, nOffsetColumns,
                                              nLanding, out.data());
    return {QByteArray(out.data(), pEnd - out.data()), nLanding};
}

} // namespace

void TestTableRow::formatsLinesLikePlainLoop_data()
{
    QTest::addColumn<quint64>("nFileOffset");
    QTest::addColumn<int>("nOffsetColumns");
    QTest::addColumn<int>("nLanding");

    // The loop makes the offset's other digits once per sixteen rows: the
    // rows cross the places where the digits, or their count, change.
    const int nShort = CRowFormat::kOffsetColumns;
    QTest::newRow("the file's first rows") << quint64(0) << nShort << 0;
    QTest::newRow("starting inside a group of sixteen rows") << quint64(0xABC50) << nShort << 0;
    QTest::newRow("first row's first byte inside a key") << quint64(0x100) << nShort << 1;
    QTest::newRow("six digits to seven, 16 MiB") << quint64(0x1000000 - 0x200) << nShort << 0;
    QTest::newRow("seven digits to eight, 256 MiB") << quint64(0x10000000 - 0x200) << nShort << 0;
    QTest::newRow("the last rows under 4 GiB") << quint64(0x100000000 - 0x400) << nShort << 0;
    QTest::newRow("rows past 4 GiB, wider offsets")
        << quint64(0x100000000 - 0x200) << CRowFormat::OffsetColumns(quint64(0x200000000)) << 0;
}

void TestTableRow::formatsLinesLikePlainLoop()
{
    QFETCH(quint64, nFileOffset);
    QFETCH(int, nOffsetColumns);
    QFETCH(int, nLanding);
    // Keys of one to four bytes, texts of none to four bytes and longer,
    // end codes and line breaks, so that some rows leave the fast way.
    CCharTable table;
    QVERIFY(table.Parse("41=A\n8041=魔\n8080=b\n81=c\n8181=ア\n20= \n908081=終\n9041=y\n90=😀\n9080=the \n/01\n*4180\n"
                        "C0=é\nC1C1=\x7F\n"));
    QRandomGenerator random(quint32(nFileOffset) ^ 23);
    const char alphabet[] = "\x41\x80\x81\x01\x90\x20\xC0\xC1\xC1\xC1\xFF\x33";
    for (int round = 0; round < 20; ++round) {
        // 64 rows, with the byte after them and a few more a key may take.
        QByteArray data;
        for (int i = 0; i < 64 * 16 + 4; ++i)
            data += alphabet[random.bounded(int(sizeof alphabet) - 1)];
        const Lines plain =
            FormatLines(table, data, 64, nFileOffset, nOffsetColumns, std::uint32_t(nLanding), Way::Plain);
        for (const Way way : {Way::Fastest, Way::Ssse3}) {
            const Lines fast = FormatLines(table, data, 64, nFileOffset, nOffsetColumns, std::uint32_t(nLanding), way);
            QCOMPARE(fast.text, plain.text);
            QCOMPARE(fast.nLanding, plain.nLanding);
        }
    }
}

QTEST_GUILESS_MAIN(TestTableRow)
#include "tst_tablerow.moc"
