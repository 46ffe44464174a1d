#include "codepage.h"
#include "hexdoc.h"
#include "rowformat.h"
#include "syslang.h"
#include "testsupport.h"
#include "textdecoder.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::scratchDir;
using TestSupport::writeScratchFile;

// zorbel --dump, run as the built program: the rows of crafted files in each
// code page, the code page it detects, and its failures.
class TestDump : public QObject {
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void offsetsPast16MiB();
    void firstLineOfFilesOf4GiBAndMore_data();
    void firstLineOfFilesOf4GiBAndMore();
    void rowsAcross4GiB();
    void characterAcrossBlocks_data();
    void characterAcrossBlocks();
    void streamedRowsMatchWholeDocument_data();
    void streamedRowsMatchWholeDocument();
    void failures_data();
    void failures();
    void fileOfLengthZeroIsReadToItsEnd();
    void fileShortenedDuringTheGuess();
    void guessReadEitherWay_data();
    void guessReadEitherWay();
    void standardInput_data();
    void standardInput();
    void guessIsNotedOnATerminal_data();
    void guessIsNotedOnATerminal();
    void namesNotUtf8_data();
    void namesNotUtf8();
};

namespace {

using Result = TestSupport::ProgramResult;

Result RunZorbel(const QStringList& args, const QString& locale = QStringLiteral("C"))
{
    // --dump must not need a display.
    return TestSupport::runProgram(QStringLiteral(ZORBEL_BINARY), args, locale);
}

// A line as the window shows the row: the offset, the pairs of the row's bytes,
// the text column, without trailing blanks. The offset column is ten columns
// wide in files under 4 GiB.
QByteArray Line(quint64 offset, const QByteArray& bytes, const QString& text, int columns = 10)
{
    QByteArray line = QByteArray::number(offset, 16).toUpper().rightJustified(6, '0');
    line = line.leftJustified(columns, ' ');
    for (int k = 0; k < 16; ++k) {
        line += k < bytes.size() ? bytes.mid(k, 1).toHex().toUpper() : QByteArray("  ");
        line += k == 7 ? "  " : " ";
    }
    line += "   " + text.toUtf8();
    while (line.endsWith(' '))
        line.chop(1);
    return line + '\n';
}

// Runs the program with arguments given as bytes: QProcess would encode them
// as UTF-8 and lose those that are not, so a shell's printf makes them.
Result RunZorbelRaw(const QList<QByteArray>& args)
{
    QStringList octal{"-c", "bin=$0; for a; do set -- \"$@\" \"$(printf %b \"$a\")\"; shift; done; exec \"$bin\" \"$@\"",
                      QStringLiteral(ZORBEL_BINARY)};
    for (const QByteArray& arg : args) {
        QString text;
        for (const char c : arg)
            text += quint8(c) < 0x80 ? QString(QChar(c)) : QStringLiteral("\\0%1").arg(quint8(c), 3, 8, QChar('0'));
        octal << text;
    }
    return TestSupport::runProgram(QStringLiteral("/bin/sh"), octal, QStringLiteral("C.UTF-8"));
}

} // namespace

void TestDump::rows_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray a15(15, 'a');
    const QString replacement(QChar(0xFFFD));
    QTest::newRow("empty file") << QByteArray() << QStringList() << "C" << QByteArray("000000\n");
    QTest::newRow("GB character across a row end")
        << a15 + "\xC4\xE3ok" << QStringList() << "C"
        << Line(0, a15 + "\xC4", QString(a15) + QString::fromUtf8("你")) + Line(16, "\xE3ok", ".ok");
    QTest::newRow("BIG5 detected") << QByteArray("\xA4\x40\xA4\xA4!") << QStringList() << "C"
                                   << Line(0, "\xA4\x40\xA4\xA4!", QString::fromUtf8("一中!"));
    QTest::newRow("Shift JIS detected") << QByteArray("\x82\xA0\x82\xA2\xB1") << QStringList() << "C"
                                        << Line(0, "\x82\xA0\x82\xA2\xB1", QString::fromUtf8("あいｱ"));
    QTest::newRow("HZ text detected, single bytes") << QByteArray("~{<:\xC4\xE3~}") << QStringList() << "C"
                                                    << Line(0, "~{<:\xC4\xE3~}", "~{<:..~}");
    QTest::newRow("7-bit JIS detected, single bytes") << QByteArray("\x1B$B$\"\x1B(B") << QStringList() << "C"
                                                      << Line(0, "\x1B$B$\"\x1B(B", ".$B$\".(B");
    QTest::newRow("code page named") << QByteArray("\xA4\xA4") << QStringList{"--codepage", "950"} << "C"
                                     << Line(0, "\xA4\xA4", QString::fromUtf8("中"));
    QTest::newRow("same bytes detected as GB") << QByteArray("\xA4\xA4") << QStringList() << "C"
                                               << Line(0, "\xA4\xA4", QString::fromUtf8("い"));
    QTest::newRow("nothing decisive, Japanese system") << QByteArray("\xA0x") << QStringList() << "ja_JP.UTF-8"
                                                       << Line(0, "\xA0x", replacement + "x");
    QTest::newRow("nothing decisive, English system") << QByteArray("\xA0x") << QStringList() << "en_US.UTF-8"
                                                      << Line(0, "\xA0x", QString(QChar(0xA0)) + "x");
    QTest::newRow("Korean, letters as trail bytes") << QByteArray("\xB0\xA1\x81\x41\xC6\x52\xC8\x7A!")
                                                    << QStringList{"--codepage", "949"} << "C"
                                                    << Line(0, "\xB0\xA1\x81\x41\xC6\x52\xC8\x7A!",
                                                            QString::fromUtf8("가갂힣") + replacement + " !");
    QTest::newRow("Korean pair across a row end")
        << a15 + "\x81\x41ok" << QStringList{"--codepage", "949"} << "C"
        << Line(0, a15 + "\x81", QString(a15) + QString::fromUtf8("갂")) + Line(16, "\x41ok", ".ok");
    QTest::newRow("Korean lead before no trail") << QByteArray("\xB0\x30") << QStringList{"--codepage", "949"}
                                                 << "C" << Line(0, "\xB0\x30", ".0");
    QTest::newRow("Western, the undefined bytes as dots")
        << QByteArray("\x80\x81\x8D\x8F\x90\x9D\x9F\xE9\xFF") << QStringList{"--codepage", "1252"} << "C"
        << Line(0, "\x80\x81\x8D\x8F\x90\x9D\x9F\xE9\xFF", QString::fromUtf8("€.....Ÿéÿ"));
    QTest::newRow("undefined pair") << QByteArray("\xA3\xC0") << QStringList{"--codepage", "950"} << "C"
                                    << Line(0, "\xA3\xC0", replacement);
    QTest::newRow("UTF-8 detected") << QString::fromUtf8("中文 ok").toUtf8() << QStringList() << "ja_JP.UTF-8"
                                    << Line(0, "\xE4\xB8\xAD\xE6\x96\x87 ok", QString::fromUtf8("中 文  ok"));
    QTest::newRow("UTF-8 character across a row end")
        << a15 + "\xE4\xB8\xADok" << QStringList() << "C"
        << Line(0, a15 + "\xE4", QString(a15) + QString::fromUtf8("中")) + Line(16, "\xB8\xADok", "..ok");
    QTest::newRow("UTF-8 named among binary bytes")
        << QByteArray("\x01\xC3\xA9\xFF\xE2\x82\xAC!") << QStringList{"--codepage", "65001"} << "C"
        << Line(0, "\x01\xC3\xA9\xFF\xE2\x82\xAC!", QString::fromUtf8(".é .€  !"));
    // The window gives an undefined pair two cells; the text after it keeps its column.
    QTest::newRow("undefined pair before text")
        << QByteArray("\xA3\xC0z\xA4\xA4!") << QStringList{"--codepage", "950"} << "C"
        << Line(0, "\xA3\xC0z\xA4\xA4!", replacement + QString::fromUtf8(" z中!"));
}

void TestDump::rows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, options);
    QFETCH(QString, locale);
    QFETCH(QByteArray, expected);
    const QString path = writeScratchFile("dump.bin", bytes);
    const Result result = RunZorbel(QStringList{"--dump"} + options + QStringList{path}, locale);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, expected);
    QCOMPARE(result.err, QByteArray());
}

void TestDump::offsetsPast16MiB()
{
    const QByteArray bytes = QByteArray(0x1000000, '\0') + "0123456789abcdefg";
    const QString path = writeScratchFile("big.bin", bytes);
    const Result result = RunZorbel({"--dump", path});
    QCOMPARE(result.exitCode, 0);
    const QByteArray tail = Line(0xFFFFF0, QByteArray(16, '\0'), QString(16, '.'))
        + Line(0x1000000, "0123456789abcdef", "0123456789abcdef") + Line(0x1000010, "g", "g");
    // The hex part stays at column 10, as in the window.
    QVERIFY(result.out.contains("\nFFFFF0    00 00 "));
    QVERIFY(result.out.contains("\n1000000   30 31 "));
    QVERIFY(result.out.endsWith(tail));
    QCOMPARE(result.out.count('\n'), 0x100002);
}

namespace {

// A sparse file of length bytes holding the given pieces, or an empty path
// where the file system cannot make one that costs no disk space.
QString SparseFile(const QString& name, quint64 length, const QList<QPair<quint64, QByteArray>>& pieces)
{
    const QString path = scratchDir() + '/' + name;
    QFile file(path);
    bool bMade = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(qint64(length));
    for (const auto& piece : pieces)
        bMade = bMade && file.seek(qint64(piece.first)) && file.write(piece.second) == piece.second.size();
    file.close();
    struct stat st;
    if (bMade && ::stat(QFile::encodeName(path).constData(), &st) == 0 && st.st_blocks < 1 << 16)
        return path;
    QFile::remove(path);
    return QString();
}

// The first line the program prints; it is then stopped, so that a huge file
// costs only its first rows.
QByteArray FirstLine(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(ZORBEL_BINARY), args);
    QByteArray out;
    while (!out.contains('\n') && process.waitForReadyRead(60000))
        out += process.readAllStandardOutput();
    process.kill();
    process.waitForFinished();
    return out.left(int(out.indexOf('\n')) + 1);
}

} // namespace

// Files of 4 GiB and more stream like any other: their offset column widens to
// the digits of the last row's offset, for every row; under 4 GiB it stays.
void TestDump::firstLineOfFilesOf4GiBAndMore_data()
{
    QTest::addColumn<quint64>("length");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray bytes = "Zorbel!" + QByteArray(9, '\0');
    const QString text = "Zorbel!.........";
    QTest::newRow("4 GiB less one byte") << 0xFFFFFFFFull << "--dump" << Line(0, bytes, text);
    QTest::newRow("4 GiB, its end marker past it") << 0x100000000ull << "--dump" << Line(0, bytes, text, 11);
    QTest::newRow("5 GiB") << 0x140000000ull << "--dump" << Line(0, bytes, text, 11);
    QTest::newRow("64 GiB") << 0x1000000000ull << "--dump" << Line(0, bytes, text, 12);
    QTest::newRow("--strings of 5 GiB") << 0x140000000ull << "--strings" << QByteArray("00000000\tZorbel!\n");
    QTest::newRow("--dump --table of 5 GiB") << 0x140000000ull << "--table" << Line(0, bytes, text, 11);
}

void TestDump::firstLineOfFilesOf4GiBAndMore()
{
    QFETCH(quint64, length);
    QFETCH(QString, command);
    QFETCH(QByteArray, expected);
    const QString path = SparseFile("large.bin", length, {{0, "Zorbel!"}});
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file of this length");
    const auto remove = qScopeGuard([&path] { QFile::remove(path); });
    // A table that reads the letters as 1252 does: the rows through it widen alike.
    const QStringList args = command == "--table"
        ? QStringList{"--dump", "--table", writeScratchFile("letters.tbl", "5A=Z\n6F=o\n72=r\n62=b\n65=e\n6C=l\n21=!\n"), path}
        : QStringList{command, "--codepage", "1252", path};
    QCOMPARE(FirstLine(args), expected);
}

// The whole of a file past 4 GiB: the rows before and after the boundary and the
// last row, all with the wider offset column.
void TestDump::rowsAcross4GiB()
{
    const QString path = SparseFile("across.bin", 0x100000014ull,
                                    {{0xFFFFFFF8ull, "ABCDEFGHIJKLMNOP"}, {0x100000010ull, "tail"}});
    if (path.isEmpty())
        QSKIP("the file system cannot hold a sparse file of 4 GiB");
    const auto remove = qScopeGuard([&path] { QFile::remove(path); });
    QProcess process;
    process.start("bash", {"-c", "set -o pipefail; \"$0\" --dump --codepage 1252 \"$1\" | tail -n 3",
                           QStringLiteral(ZORBEL_BINARY), path});
    QVERIFY(process.waitForFinished(600000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray zeros(8, '\0');
    QCOMPARE(process.readAllStandardOutput(),
             Line(0xFFFFFFF0ull, zeros + "ABCDEFGH", "........ABCDEFGH", 11)
                 + Line(0x100000000ull, "IJKLMNOP" + zeros, "IJKLMNOP........", 11)
                 + Line(0x100000010ull, "tail", "tail", 11));
}

// Rows are formatted in blocks of 16384 side by side after a first one of 64,
// and the row cache keeps the pairing every 64 KiB: a character that crosses
// into the first row of such a block still shows there as '.', even where its
// trail byte would show as itself (Shift JIS 82 60, the trail byte a backquote).
void TestDump::characterAcrossBlocks_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<QByteArray>("character");
    QTest::addColumn<QString>("text");

    QTest::newRow("GB, the first dump block") << 64 * 16 << "936" << QByteArray("\xC4\xE3") << QString::fromUtf8("你");
    QTest::newRow("GB, a dump block") << 64 * 16 + 16384 * 16 << "936" << QByteArray("\xC4\xE3") << QString::fromUtf8("你");
    QTest::newRow("Shift JIS, a dump block") << 64 * 16 + 16384 * 16 << "932" << QByteArray("\x82\x60") << QString::fromUtf8("Ａ");
    QTest::newRow("Shift JIS, 64 KiB") << 0x10000 << "932" << QByteArray("\x82\x60") << QString::fromUtf8("Ａ");
    // A UTF-8 character is kept whole in the row where it begins, read from
    // the bytes after the block's rows; the next block's row shows its other
    // bytes as '.'.
    QTest::newRow("UTF-8, the first dump block") << 64 * 16 << "65001" << QByteArray("\xE4\xB8\xAD")
                                                 << QString::fromUtf8("中");
    QTest::newRow("UTF-8, a dump block") << 64 * 16 + 16384 * 16 << "65001" << QByteArray("\xE3\x80\x82")
                                         << QString::fromUtf8("。");
}

void TestDump::characterAcrossBlocks()
{
    QFETCH(int, block);
    QFETCH(QString, codePage);
    QFETCH(QByteArray, character);
    QFETCH(QString, text);

    const QByteArray bytes = QByteArray(block - 1, 'a') + character + "ok";
    const QString path = writeScratchFile("blocks.bin", bytes);
    const Result result = RunZorbel({"--dump", "--codepage", codePage, path});
    QCOMPARE(result.exitCode, 0);
    const QByteArray tail = Line(block - 16, QByteArray(15, 'a') + character.left(1), QString(15, 'a') + text)
        + Line(block, character.mid(1) + "ok", QString(int(character.size()) - 1, '.') + "ok");
    QVERIFY2(result.out.endsWith(tail), result.out.right(200).constData());
    QCOMPARE(result.out.count('\n'), block / 16 + 1);
}

// The file is read in blocks of 16384 rows (64 the first) and the pairing
// carried from one to the next; the rows must be those of the whole document
// walked from offset 0, in the code page the window detects in it.
void TestDump::streamedRowsMatchWholeDocument_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("codePage");   // 0: detected

    const int nBlock = 16384 * 16;
    const int nFirst = 64 * 16;
    for (const int cp : {932, 936, 950, 949}) {
        const char lead = cp == 932 ? char(0x81) : char(0xCD);
        QTest::addRow("lead bytes through three blocks, %d", cp) << QByteArray(3 * nBlock + 37, lead) << cp;
        QTest::addRow("lead bytes from an odd offset, %d", cp) << "x" + QByteArray(2 * nBlock + 4, lead) << cp;
        QByteArray ends(3 * nBlock, lead);
        ends[nFirst - 2] = 'a';   // a run of one lead byte up to the boundary
        ends[nFirst + nBlock - 3] = 'a';
        ends[nFirst + 2 * nBlock + 1] = 'b';
        QTest::addRow("runs ending at block boundaries, %d", cp) << ends << cp;
    }
    QByteArray mixed;
    QRandomGenerator gen(12);
    while (mixed.size() < 2 * nBlock + 100) {
        // Runs of lead bytes of every length among text.
        mixed += QByteArray(int(gen.bounded(40000)), char(0xB0));
        mixed += gen.bounded(2) ? "ab" : "c";
    }
    QTest::newRow("lead runs of random lengths, detected") << mixed << 0;
    QByteArray later = QByteArray(2 * nBlock + 3, char(0xCD)) + "\xB0\x41";
    QTest::newRow("decisive pair in the last block") << later << 0;
    QTest::newRow("decisive pair across a part of detection")
        << QByteArray(nBlock - 1, 'a') + "\x82\xA0" + QByteArray(nBlock, char(0xCD)) << 0;
    // A UTF-8 row's text takes the rest of a character from the next row.
    for (const int nBefore : {nBlock - 1, nBlock - 2, nBlock - 3})
        QTest::addRow("UTF-8 character across blocks after %d bytes", nBefore)
            << QByteArray(nBefore, 'a') + "\xF0\x9F\x98\x80\xE4\xB8\xAD" + QByteArray(nBlock, 'b') << 0;
    // Rows of ideographs are taken 16 bytes at a time where the three bytes after
    // the row are at hand, as they are at a block's end.
    for (const int nBefore : {0, 1, 2})
        QTest::addRow("UTF-8 ideographs through blocks after %d bytes", nBefore)
            << QByteArray(nBefore, 'a') + QString(nBlock, QChar(0x4E2D)).toUtf8() << 0;
    // The guess scans a file through mappings of 4 MiB and reads the few bytes
    // it keeps at the end; the same code page as the whole document's.
    const int nWindow = 4 << 20;
    QTest::newRow("decisive pair across the guess's windows")
        << QByteArray(nWindow - 1, 'a') + "\x82\xA0" + QByteArray(100, char(0xCD)) << 0;
    QTest::newRow("UTF-8 character across the guess's windows")
        << QByteArray(nWindow - 1, 'a') + "\xE4\xB8\xAD" + QByteArray(100, 'b') << 0;
    QTest::newRow("UTF-8 character ending a file of one window")
        << QByteArray(nWindow - 3, 'a') + "\xE4\xB8\xAD" << 0;
    QTest::newRow("UTF-8 character cut by the end of a file of one window")
        << QByteArray(nWindow - 2, 'a') + "\xE4\xB8" << 0;
    for (const QByteArray& tiny : {QByteArray("\xE4\xB8\xAD"), QByteArray("\xB0\xA1"), QByteArray("\xE4")})
        QTest::addRow("file of %d bytes", int(tiny.size())) << tiny << 0;
    QByteArray random(2 * nBlock + 5, Qt::Uninitialized);
    for (char& b : random)
        b = char(gen.bounded(256));
    QTest::newRow("random bytes, detected") << random << 0;
}

void TestDump::streamedRowsMatchWholeDocument()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, codePage);

    CHexDoc doc;
    doc.SetContents(bytes);
    SetSystemLocaleOverride(QStringLiteral("C"));
    doc.SetCodePage(codePage != 0 ? codePage : DetectCodePage(doc.Data(), doc.GetSize()));
    SetSystemLocaleOverride(QString());

    QByteArray expected;
    const CTextDecoder decoder(doc.GetCodePage());
    bool continued = false;
    for (std::uint32_t r = 0; r < (doc.GetSize() + 15) / 16; ++r) {
        char line[CRowFormat::kOffsetColumns + CRowFormat::kHexPartLength + CRowFormat::kMaxTextLength * 3 + 16];
        CRowFormat::FormatOffset(r * 16, line);
        char* row = line + CRowFormat::kOffsetColumns;
        const int nLength = CRowFormat::FormatRow(doc, r, row, continued);
        char* end = decoder.ToUtf8(row + CRowFormat::kHexPartLength, nLength - CRowFormat::kHexPartLength,
                                   row + CRowFormat::kHexPartLength);
        while (end > line && end[-1] == ' ')
            --end;
        expected += QByteArray(line, end - line) + '\n';
    }

    const QString path = writeScratchFile("stream.bin", bytes);
    QStringList args{"--dump", path};
    if (codePage != 0)
        args << "--codepage" << QString::number(codePage);
    const Result result = RunZorbel(args);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out.size(), expected.size());
    QVERIFY(result.out == expected);

    // Allowed one processor (the child inherits the affinity), the program
    // formats each block on the thread that reads it: the same lines.
    cpu_set_t all;
    QCOMPARE(sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    QCOMPARE(sched_setaffinity(0, sizeof one, &one), 0);
    const Result onOneCore = RunZorbel(args);
    QCOMPARE(sched_setaffinity(0, sizeof all, &all), 0);
    QCOMPARE(onOneCore.exitCode, 0);
    QVERIFY(onOneCore.out == expected);
}

void TestDump::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("missing file") << QStringList{"--dump", "/nonexistent/zorbel-file"} << 1;
    QTest::newRow("a folder") << QStringList{"--dump", "/"} << 1;
    // Refused at once: opening a FIFO without a writer would wait for ever.
    QTest::newRow("a FIFO") << QStringList{"--dump", "FIFO"} << 1;
    QTest::newRow("a device") << QStringList{"--dump", "/dev/null"} << 1;
    QTest::newRow("no file") << QStringList{"--dump"} << 2;
    QTest::newRow("two files") << QStringList{"--dump", "a", "b"} << 2;
    QTest::newRow("code page not a number") << QStringList{"--dump", "--codepage", "gb", "a"} << 2;
    QTest::newRow("code page 0") << QStringList{"--dump", "--codepage", "0", "a"} << 2;
    QTest::newRow("code page past 65535") << QStringList{"--dump", "--codepage", "65536", "a"} << 2;
}

void TestDump::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    if (args.last() == "FIFO") {
        args.last() = scratchDir() + "/fifo";
        QVERIFY(::mkfifo(QFile::encodeName(args.last()).constData(), 0666) == 0);
    }
    const Result result = RunZorbel(args);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QByteArray());
    QVERIFY(result.err.startsWith("zorbel: "));
    if (exitCode == 1)
        QCOMPARE(result.err.count('\n'), 1);
    if (args.last().contains("fifo") || args.last() == "/dev/null")
        QVERIFY(result.err.endsWith(QFile::encodeName(args.last()) + " is not a file that can be opened.\n"));
}

// The kernel's files read as empty until they are read; their bytes are dumped.
void TestDump::fileOfLengthZeroIsReadToItsEnd()
{
    const Result result = RunZorbel({"--dump", "/proc/self/status"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith("000000    4E 61 6D 65 3A"));   // "Name:"
    QVERIFY(result.out.count('\n') > 5);
}

// Another program shortens the file while the guess scans its mapping: the
// pages past the new end raise SIGBUS there, and the file is reported as
// changed. On a machine fast enough to end the guess of 2 GiB of zeros first,
// the dump reads the shortened file to its end instead. Never a crash.
void TestDump::fileShortenedDuringTheGuess()
{
    const QString path = scratchDir() + "/shortened.bin";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(2) << 30));
    }
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral(ZORBEL_BINARY), {"--dump", path});
    QVERIFY(process.waitForStarted());
    QTest::qWait(300);
    QVERIFY(QFile::resize(path, 1000));
    QVERIFY(process.waitForFinished(300000));
    QFile::remove(path);
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    if (process.exitCode() != 0) {
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.contains(" was changed by another program while it was open."), err.constData());
    }
}

// The guess reads the first 16 MiB in stretches of 4 MiB, by reads and through
// a mapping in turn, and the rest the way that cost less; or one way, as
// ZORBEL_READ_BY says. A character or pair across the parts, or a pair
// that decides past the first 16 MiB, must be guessed as in the whole
// document, read either way or both.
void TestDump::guessReadEitherWay_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("plain");   // the same without what decides

    const int nMiB = 1 << 20;
    const QByteArray character("\xE4\xB8\xAD");
    QByteArray utf8(20 * nMiB, 'a');
    for (const int nAt : {0, 16 * nMiB - 2, 18 * nMiB - 1, 20 * nMiB - 3})
        utf8.replace(nAt, 3, character);
    // A mapping starts at a page: wherever one starts near the stretches' ends,
    // its first byte is a character's second, which must not be scanned again.
    for (const int nStretch : {4, 8, 12}) {
        for (int nPage = nStretch * nMiB - 8192; nPage < nStretch * nMiB + nMiB / 2; nPage += 4096)
            utf8.replace(nPage - 1, 3, character);
    }
    QByteArray cut = utf8;
    cut[4 * nMiB + 1] = 'a';   // the character across 4 MiB loses its last byte
    QTest::newRow("UTF-8 characters across the parts") << utf8 << cut;
    cut = utf8;
    cut[18 * nMiB + 1] = 'a';
    QTest::newRow("a UTF-8 character cut past the first 16 MiB") << cut << utf8;
    // A run of lead bytes that no pair decides until one after an 'a'.
    const QByteArray lead(20 * nMiB, char(0xCD));
    QTest::newRow("a deciding pair past the first 16 MiB")
        << QByteArray(lead).replace(19 * nMiB, 3, "a\x82\xA0") << lead;
    QTest::newRow("a deciding pair across 8 MiB")
        << QByteArray(lead).replace(8 * nMiB - 2, 3, "a\x82\xA0") << lead;
}

void TestDump::guessReadEitherWay()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, plain);

    const auto detect = [](const QByteArray& content) {
        CHexDoc doc;
        doc.SetContents(content);
        SetSystemLocaleOverride(QStringLiteral("C"));
        const int nCodePage = DetectCodePage(doc.Data(), doc.GetSize());
        SetSystemLocaleOverride(QString());
        return nCodePage;
    };
    const int nExpected = detect(bytes);
    const int nOther = detect(plain);
    QVERIFY(nExpected != nOther);
    const QString path = writeScratchFile("either.bin", bytes);
    const auto remove = qScopeGuard([&path] { QFile::remove(path); });
    // The first line tells the code page: it differs between the two.
    const QByteArray expected = FirstLine({"--dump", "--codepage", QString::number(nExpected), path});
    QVERIFY(expected != FirstLine({"--dump", "--codepage", QString::number(nOther), path}));

    const auto unset = qScopeGuard([] { qunsetenv("ZORBEL_READ_BY"); });
    for (const char* way : {"", "map", "read"}) {
        qputenv("ZORBEL_READ_BY", way);
        QVERIFY2(FirstLine({"--dump", path}) == expected, way);
    }
}

void TestDump::standardInput_data()
{
    QTest::addColumn<bool>("bPipe");
    QTest::newRow("a pipe") << true;
    QTest::newRow("a file") << false;
}

// "-" dumps standard input as it would the file, its code page detected.
void TestDump::standardInput()
{
    QFETCH(bool, bPipe);
    const QByteArray bytes = QByteArray(40000, 'x') + "\xD6\xD0\xCE\xC4";
    const QString path = writeScratchFile("input.bin", bytes);
    const Result expected = RunZorbel({"--dump", path});
    QCOMPARE(expected.exitCode, 0);

    QProcess process;
    if (!bPipe)
        process.setStandardInputFile(path);
    process.start(QStringLiteral(ZORBEL_BINARY), {"--dump", "-"});
    QVERIFY(process.waitForStarted());
    if (bPipe) {
        process.write(bytes);
        process.closeWriteChannel();
    }
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), expected.out);
}

void TestDump::guessIsNotedOnATerminal_data()
{
    QTest::addColumn<bool>("bTerminal");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("bNoted");
    QTest::newRow("guessed, standard error a terminal") << true << QStringList() << true;
    QTest::newRow("--codepage given") << true << QStringList{"--codepage", "936"} << false;
    QTest::newRow("standard error a pipe") << false << QStringList() << false;
}

// With the wait before the note set to nothing, a guess is noted once on a
// terminal, where a person waits for the first line, and never in a pipe or
// when there is nothing to guess. The terminal is the one `script` makes; the
// rows go to a file so that only standard error reaches it.
void TestDump::guessIsNotedOnATerminal()
{
    QFETCH(bool, bTerminal);
    QFETCH(QStringList, options);
    QFETCH(bool, bNoted);
    if (bTerminal && QStandardPaths::findExecutable("script").isEmpty())
        QSKIP("script, which gives the program a terminal, is not installed");
    const QString path = writeScratchFile("guess.bin", QByteArray(100000, 'a'));
    const QString rows = scratchDir() + "/guess.rows";
    qputenv("ZORBEL_DUMP_GUESS_NOTE_MS", "0");
    const auto unset = qScopeGuard([] { qunsetenv("ZORBEL_DUMP_GUESS_NOTE_MS"); });
    QByteArray err;
    if (bTerminal) {
        QString command = QStringLiteral(ZORBEL_BINARY " --dump");
        for (const QString& arg : options + QStringList{path})
            command += " '" + arg + "'";
        const Result result = TestSupport::runProgram("script", {"-q", "-e", "-c", command + " > '" + rows + "'", "/dev/null"});
        QCOMPARE(result.exitCode, 0);
        err = result.out;
    } else {
        const Result result = RunZorbel(QStringList{"--dump"} + options + QStringList{path});
        QCOMPARE(result.exitCode, 0);
        err = result.err;
    }
    const QByteArray note = "zorbel: " + QFile::encodeName(path) + ": guessing the code page from the whole file; "
                            "--codepage N skips this";
    QCOMPARE(err.count(note), bNoted ? 1 : 0);
    if (!bNoted)
        QCOMPARE(err, QByteArray());
}

void TestDump::namesNotUtf8_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray gbk("\xD6\xD0\xCE\xC4.bin");
    const QByteArray none("\xFF\xFE\x80.bin");
    const QByteArray dump = Line(0, "hello GBK", "hello GBK");
    QTest::newRow("--dump, GBK") << gbk << QByteArray("--dump") << dump;
    QTest::newRow("--dump, bytes valid in no encoding") << none << QByteArray("--dump") << dump;
    QTest::newRow("--strings, GBK") << gbk << QByteArray("--strings") << QByteArray("00000000\thello GBK\n");
    QTest::newRow("--print-pdf into such a name") << gbk << QByteArray("--print-pdf") << QByteArray("%PDF");
    QTest::newRow("missing, named readably") << none + ".gone" << QByteArray("--dump")
                                              << QByteArray("/\\xFF\\xFE\\x80.bin.gone was not found.\n");
}

// The commands without a window read a file whose name is not UTF-8, and
// name it with its bytes as \xHH.
void TestDump::namesNotUtf8()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    const QByteArray folder = QFile::encodeName(scratchDir()) + '/';
    const QByteArray file = folder + (name.endsWith(".gone") ? name.chopped(5) : name);
    const QByteArray pdf = folder + "\xB0\xA1.pdf";
    QFile out;
    QVERIFY(out.open(::fopen(file.constData(), "wb"), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    out.write("hello GBK");
    out.close();
    const bool bPdf = command == "--print-pdf";
    const Result result = RunZorbelRaw(bPdf ? QList<QByteArray>{command, pdf, folder + name}
                                            : QList<QByteArray>{command, folder + name});
    ::unlink(file.constData());
    QByteArray written;
    if (bPdf) {
        QFile in;
        QVERIFY(in.open(::fopen(pdf.constData(), "rb"), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        written = in.read(4);
        ::unlink(pdf.constData());
    }
    if (name.endsWith(".gone")) {
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.endsWith(expected), result.err.constData());
        return;
    }
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(bPdf ? written : result.out, expected);
}

QTEST_GUILESS_MAIN(TestDump)
#include "tst_dump.moc"
