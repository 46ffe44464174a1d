#include "chartable.h"
#include "rowformat.h"
#include "tablerow.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QtTest>

#include <sys/stat.h>

using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

// --dump --table and --print-pdf --table, run as the built programs.
class TestDumpTable : public QObject {
    Q_OBJECT

private slots:
    void rowsByHand();
    void streamedRowsMatchWholeFile_data();
    void streamedRowsMatchWholeFile();
    void failures_data();
    void failures();
    void tableOfTheLargestSizeLoads();
    void printsPdfThroughTable();
};

namespace {

using Result = TestSupport::ProgramResult;

const QByteArray kTable = "41=A\n8283=中\n90919293=文\n*FE\n/FF=<end>\n";

// Every row of the whole file, walked from its start without blocks.
QByteArray WholeFileRows(const QByteArray& bytes, const CCharTable& table)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto nLength = std::uint32_t(bytes.size());
    QByteArray marked = bytes + '\xFF';
    const auto* pMarked = reinterpret_cast<const std::uint8_t*>(marked.constData());
    QByteArray expected;
    std::uint32_t nLanding = 0;
    for (std::uint32_t r = 0; r < nLength / 16 + 1; ++r) {
        char line[CRowFormat::kOffsetColumns + CRowFormat::kMaxRowLength];
        CRowFormat::FormatOffset(r * 16, line);
        bool bContinued = false;
        CRowFormat::FormatRow(pMarked, nLength + 1, 1252, r * 16, line + CRowFormat::kOffsetColumns, bContinued);
        std::vector<char> text(CRowFormat::kOffsetColumns + CRowFormat::kHexPartLength + CTableRow::MaxUtf8(table));
        std::memcpy(text.data(), line, CRowFormat::kOffsetColumns + CRowFormat::kHexPartLength);
        char* end = text.data() + CRowFormat::kOffsetColumns + CRowFormat::kHexPartLength;
        nLanding = CTableRow::WriteUtf8(table, p, nLength, r * 16, nLanding, end);
        while (end > text.data() && end[-1] == ' ')
            --end;
        expected += QByteArray(text.data(), end - text.data()) + '\n';
    }
    return expected;
}

} // namespace

void TestDumpTable::rowsByHand()
{
    const QString table = writeScratchFile("hand.tbl", kTable);
    const QString file = writeScratchFile("hand.bin", QByteArray(14, 'A') + "\x01\x82\x83\xFE\xFF");
    const Result result = TestSupport::runProgram(ZORBEL_BINARY, {"--dump", "--table", table, file});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QByteArray("000000    41 41 41 41 41 41 41 41  41 41 41 41 41 41 01 82    AAAAAAAAAAAAAA.中\n"
                                    "000010    83 FE FF                                            .↵<end>\n"));
}

void TestDumpTable::streamedRowsMatchWholeFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("tableFile");
    const int nBlock = 16384 * 16;
    // Keys of two and four bytes crossing the first block's end, each place.
    for (int nBefore : {1, 2, 3}) {
        QByteArray bytes(nBlock - nBefore, 'A');
        bytes += "\x90\x91\x92\x93\x82\x83";
        bytes += QByteArray(100, 'A');
        QTest::addRow("four-byte key %d bytes before a block's end", nBefore) << bytes << kTable;
    }
    QByteArray random(2 * nBlock + 11, Qt::Uninitialized);
    QRandomGenerator gen(7);
    const char alphabet[] = "\x41\x82\x83\x90\x91\x92\x93\xFE\xFF\x01";
    for (char& b : random)
        b = alphabet[gen.bounded(10)];
    QTest::newRow("random keys through three blocks") << random << kTable;
    QTest::newRow("empty file") << QByteArray() << kTable;
    // Walks begun one byte apart never meet: each block's start is found by
    // walking the block before.
    QTest::newRow("pairs of one byte from an odd offset")
        << "A" + QByteArray(3 * nBlock, '\x82') << QByteArray("41=A\n8282=x\n");
}

void TestDumpTable::streamedRowsMatchWholeFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, tableFile);
    CCharTable table;
    QVERIFY(table.Parse(tableFile));
    const QString tablePath = writeScratchFile("stream.tbl", tableFile);
    const QString path = writeScratchFile("stream.bin", bytes);
    const Result result = TestSupport::runProgram(ZORBEL_BINARY, {"--dump", "--table=" + tablePath, path});
    QCOMPARE(result.exitCode, 0);
    const QByteArray expected = WholeFileRows(bytes, table);
    QCOMPARE(result.out.size(), expected.size());
    QVERIFY(result.out == expected);
}

void TestDumpTable::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("bad line") << QStringList{"--dump", "--table", "BAD", "FILE"} << 1 << "Line 2 of ";
    QTest::newRow("no table file") << QStringList{"--dump", "--table", "/nonexistent/t.tbl", "FILE"} << 1
                                   << "Cannot read /nonexistent/t.tbl";
    // A name with "%2" in it (as "%20" has) is named as it is.
    QTest::newRow("no table file, a name with %20") << QStringList{"--dump", "--table", "/nonexistent/t%20.tbl", "FILE"}
                                                    << 1 << "Cannot read /nonexistent/t%20.tbl: No such file";
    QTest::newRow("--table without its file") << QStringList{"--dump", "FILE", "--table"} << 2 << "--table needs";
    QTest::newRow("two tables") << QStringList{"--dump", "--table", "a", "--table=b", "FILE"} << 2 << "--table needs";
    QTest::newRow("--strings with a bad table") << QStringList{"--strings", "--table", "BAD", "FILE"} << 1
                                                << "Line 2 of ";
    QTest::newRow("PDF with a bad table") << QStringList{"--print-pdf", "OUT", "--table", "BAD", "FILE"} << 1
                                          << "Line 2 of ";
    // Files that are no table are refused at once, not read: a FIFO would
    // wait for a writer, a device never end.
    QTest::newRow("a FIFO") << QStringList{"--dump", "--table", "FIFO", "FILE"} << 1
                            << "Cannot read FIFO: FIFO is not a file that can be opened.";
    QTest::newRow("a device") << QStringList{"--dump", "--table", "/dev/null", "FILE"} << 1
                              << "Cannot read /dev/null: /dev/null is not a file that can be opened.";
    QTest::newRow("larger than a table can be")
        << QStringList{"--dump", "--table", "HUGE", "FILE"} << 1
        << "Cannot read HUGE: HUGE is too large: files of up to 16777216 bytes can be opened.";
}

void TestDumpTable::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString bad = writeScratchFile("bad.tbl", "41=A\n41\n");
    const QString file = writeScratchFile("some.bin", "AB");
    const QString out = scratchDir() + "/bad.pdf";
    const QString fifo = scratchDir() + "/fifo.tbl";
    QFile::remove(fifo);
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0666) == 0);
    // A good table but for a comment that makes it one byte too long.
    const QByteArray entry = "41=A\n#";
    const QString huge = writeScratchFile("huge.tbl", entry + QByteArray(CCharTable::kMaxFileSize + 1 - entry.size(), 'x'));
    args.replaceInStrings(QRegularExpression("^BAD$"), bad);
    args.replaceInStrings(QRegularExpression("^FILE$"), file);
    args.replaceInStrings(QRegularExpression("^OUT$"), out);
    args.replaceInStrings(QRegularExpression("^FIFO$"), fifo);
    args.replaceInStrings(QRegularExpression("^HUGE$"), huge);
    message.replace("FIFO", fifo).replace("HUGE", huge);
    const Result result = TestSupport::runProgram(ZORBEL_BINARY, args);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QByteArray());
    QVERIFY2(result.err.startsWith("zorbel: " + message.toUtf8()), result.err.constData());
    QVERIFY(!QFile::exists(out));
}

void TestDumpTable::tableOfTheLargestSizeLoads()
{
    const QByteArray entry = "41=A\n#";
    const QString table =
        writeScratchFile("largest.tbl", entry + QByteArray(CCharTable::kMaxFileSize - entry.size(), 'x'));
    const QString file = writeScratchFile("some.bin", "AB");
    const Result result = TestSupport::runProgram(ZORBEL_BINARY, {"--dump", "--table", table, file});
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("41 42"));
}

void TestDumpTable::printsPdfThroughTable()
{
    const QString table = writeScratchFile("pdf.tbl", kTable);
    const QString file = writeScratchFile("pdf.bin", "A\x82\x83");
    const QString out = scratchDir() + "/table.pdf";
    const Result result = TestSupport::runProgram(ZORBEL_BINARY, {"--print-pdf", out, "--table", table, file});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(QFile(out).size() > 0);
}

QTEST_GUILESS_MAIN(TestDumpTable)
#include "tst_dumptable.moc"
