#include "chartable.h"
#include "codepage.h"
#include "stringscan.h"
#include "testsupport.h"
#include "textdecoder.h"
#include "textencoder.h"
#include "utf8.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// `zorbel --strings` and the scanner behind it, against a slow rule written
// out here a byte at a time over the whole file, on random mixes of binary
// and text in each code page.
class TestStrings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesOracle_data();
    void matchesOracle();
    void partsDoNotMatter();
    void acrossWindowsAndParts_data();
    void acrossWindowsAndParts();
    void readsThroughATable_data();
    void readsThroughATable();
    void linesInParts_data();
    void linesInParts();
    void longRunsAreCut();
    void lineFormat();
    void failures_data();
    void failures();

private:
    QTemporaryDir m_dir;
};

namespace {

// The length of the character at i that belongs in a run, or 0.
int OracleChar(const QByteArray& bytes, int i, int nCodePage, char32_t& ch)
{
    const auto b = std::uint8_t(bytes[i]);
    ch = b;
    if (b == '\t' || (b >= 0x20 && b <= 0x7E))
        return 1;
    if (b < 0x80)
        return 0;
    if (nCodePage == kCodePageUtf8) {
        // The shortest slice Qt decodes to one character without a substitute.
        for (int n = 2; n <= 4 && i + n <= bytes.size(); ++n) {
            const QString s = QString::fromUtf8(bytes.mid(i, n));
            const QList<uint> ucs = s.toUcs4();
            if (ucs.size() == 1 && ucs[0] != 0xFFFD && s.toUtf8() == bytes.mid(i, n)) {
                ch = ucs[0];
                return IsShownChar(ch) ? n : 0;
            }
        }
        return 0;
    }
    const CTextDecoder decoder(nCodePage);
    if (IsLeadByte(nCodePage, b)) {
        if (i + 1 >= bytes.size() || !IsTrailByte(nCodePage, std::uint8_t(bytes[i + 1])))
            return 0;
        ch = decoder.DecodePair(b, std::uint8_t(bytes[i + 1]));
        return ch == 0xFFFD ? 0 : 2;
    }
    // Half-width katakana in 932, a letter or sign of a single-byte code page.
    const bool bDoubleByte = nCodePage == 932 || nCodePage == 936 || nCodePage == 950;
    if (bDoubleByte && !IsHalfWidthKana(nCodePage, b))
        return 0;
    ch = decoder.DecodeSingle(b);
    return ch != 0xFFFD && IsShownChar(ch) ? 1 : 0;
}

QByteArray Oracle(const QByteArray& bytes, int nCodePage, int nMin, bool bCjk)
{
    QByteArray out;
    int i = 0;
    while (i < bytes.size()) {
        char32_t ch;
        int nStart = i;
        QString text;
        int nChars = 0;
        bool bWide = false;
        for (int n; i < bytes.size() && (n = OracleChar(bytes, i, nCodePage, ch)) > 0; i += n) {
            text += QString::fromUcs4(&ch, 1);
            ++nChars;
            bWide = bWide || ch >= 0x80;
        }
        if (nChars >= nMin && (bWide || !bCjk)) {
            text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
            out += QByteArray::number(nStart, 16).toUpper().rightJustified(8, '0') + '\t' + text.toUtf8() + '\n';
        }
        if (i == nStart)
            ++i;
    }
    return out;
}

// Binary, ASCII words and text of the code page, in random pieces.
QByteArray RandomMix(int nCodePage, QRandomGenerator& random)
{
    static const QString kText = QString::fromUtf8("中文字符測試資料日本語のテキストｱｲｳ한국어·—「」");
    QByteArray bytes;
    while (bytes.size() < 6000) {
        switch (random.bounded(3)) {
        case 0:
            for (int n = random.bounded(1, 40); n > 0; --n)
                bytes += char(random.bounded(256));
            break;
        case 1:
            for (int n = random.bounded(1, 12); n > 0; --n)
                bytes += char(random.bounded(2) ? random.bounded('a', 'z' + 1) : random.bounded(0x20, 0x7F));
            break;
        default:
            for (int n = random.bounded(1, 12); n > 0; --n) {
                const CEncodedText encoded = EncodeText(nCodePage, QString(kText[random.bounded(int(kText.size()))]));
                if (encoded.bOk)
                    bytes += encoded.bytes;
            }
            break;
        }
    }
    return bytes;
}

// The scanner in parts of one to nMostPart (by default eight) bytes, which
// cut characters and a table's keys anywhere.
// pnEnds, when given, gets each run's end offset, one line each.
QByteArray ScanInParts(const QByteArray& bytes, int nCodePage, int nMin, bool bCjk, QRandomGenerator& random,
                       std::shared_ptr<const CCharTable> pTable = nullptr, std::uint32_t nMostPart = 8,
                       QByteArray* pEnds = nullptr)
{
    CStringScanner scanner(nCodePage, nMin, bCjk);
    scanner.UseTable(std::move(pTable));
    std::vector<CTextRun> runs;
    std::string out;
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    while (scanner.Offset() < std::uint64_t(bytes.size())) {
        const auto nAt = std::uint32_t(scanner.Offset());
        const std::uint32_t nLeft = std::uint32_t(bytes.size()) - nAt;
        const std::uint32_t nPart = std::min(nLeft, random.bounded(1u, nMostPart + 1));
        scanner.Scan(p + nAt, nPart, nPart == nLeft, runs);
    }
    for (const CTextRun& run : runs) {
        CStringScanner::AppendLine(run, out);
        if (pEnds)
            *pEnds += QByteArray::number(run.nOffset + run.nLength, 16) + '\n';
    }
    return QByteArray::fromStdString(out);
}

// The runs of bytes read through the table, walked a byte at a time with the
// entries looked up one by one: the longest key at each place, its text as the
// text column shows it; a byte no key begins with ends a run, an end code ends
// the run it closes. pEnds gets each run's end offset, as ScanInParts gives it.
QByteArray TableOracle(const QByteArray& bytes, const CCharTable& table, int nMin, bool bCjk,
                       QByteArray* pEnds = nullptr)
{
    QByteArray out;
    QString text;
    int nStart = 0;
    int nEnd = 0;
    int nChars = 0;
    const auto endRun = [&] {
        if (nChars >= nMin && (!bCjk || text.toUtf8().size() != text.size())) {
            text.replace(QLatin1Char('\t'), QLatin1String("\\t")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
            out += QByteArray::number(nStart, 16).toUpper().rightJustified(8, '0') + '\t' + text.toUtf8() + '\n';
            if (pEnds)
                *pEnds += QByteArray::number(nEnd, 16) + '\n';
        }
        text.clear();
        nChars = 0;
    };
    for (int i = 0; i < bytes.size();) {
        const CCharTable::Entry* pKey = nullptr;
        for (const CCharTable::Entry& entry : table.Entries()) {
            if (bytes.mid(i).startsWith(entry.key) && (!pKey || entry.key.size() > pKey->key.size()))
                pKey = &entry;
        }
        if (!pKey) {
            if (nChars)
                endRun();
            ++i;
            continue;
        }
        if (nChars == 0)
            nStart = i;
        text += CCharTable::ShownText(*pKey);
        ++nChars;
        i += int(pKey->key.size());
        nEnd = i;
        if (pKey->kind == CCharTable::Kind::End)
            endRun();
    }
    if (nChars)
        endRun();
    return out;
}

// ScanLines over parts of nPart bytes, each written to a buffer of exactly
// LinesRoom bytes followed by a guard that must stay untouched.
QByteArray LinesInParts(const QByteArray& bytes, int nCodePage, int nMin, bool bCjk, std::uint32_t nPart,
                        CStringScanner::Build build = CStringScanner::BestBuild())
{
    CStringScanner scanner(nCodePage, nMin, bCjk);
    scanner.UseBuild(build);
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    QByteArray out;
    while (scanner.Offset() < std::uint64_t(bytes.size())) {
        const auto nAt = std::uint32_t(scanner.Offset());
        const std::uint32_t n = std::min(std::uint32_t(bytes.size()) - nAt, nPart);
        const std::size_t nRoom = CStringScanner::LinesRoom(n);
        QByteArray buffer(qsizetype(nRoom) + 64, '\x5A');
        char* pEnd = buffer.data();
        const bool bLast = nAt + n == std::uint32_t(bytes.size());
        if (scanner.ScanLines(p + nAt, n, bLast, pEnd) == 0 && !bLast)
            return "no progress";
        if (buffer.mid(qsizetype(nRoom)) != QByteArray(64, '\x5A'))
            return "written past LinesRoom";
        out += QByteArray(buffer.constData(), pEnd - buffer.constData());
    }
    return out;
}

TestSupport::ProgramResult RunZorbel(const QStringList& args)
{
    return TestSupport::runProgram(QStringLiteral(ZORBEL_BINARY), args);
}

} // namespace

void TestStrings::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestStrings::matchesOracle_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<int>("minChars");
    QTest::addColumn<bool>("cjk");
    QTest::addColumn<quint32>("seed");
    // The fourth seed takes the default options, which the walk by blocks
    // has a build of its own for.
    for (int nCodePage : {936, 950, 932, 65001, 1252})
        for (quint32 seed = 1; seed <= 4; ++seed)
            QTest::addRow("%d seed %u", nCodePage, seed) << nCodePage << (seed == 4 ? 4 : int(seed + 1)) << (seed == 3)
                                                         << seed;
}

void TestStrings::matchesOracle()
{
    QFETCH(int, codePage);
    QFETCH(int, minChars);
    QFETCH(bool, cjk);
    QFETCH(quint32, seed);
    QRandomGenerator random(seed * 7919 + quint32(codePage));
    const QByteArray bytes = RandomMix(codePage, random);
    const QString path = m_dir.filePath(QStringLiteral("mix-%1-%2").arg(codePage).arg(seed));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    QStringList args{QStringLiteral("--strings"), QStringLiteral("--codepage"), QString::number(codePage),
                     QStringLiteral("--min"), QString::number(minChars), path};
    if (cjk)
        args.insert(1, QStringLiteral("--cjk"));
    const TestSupport::ProgramResult result = RunZorbel(args);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.exitCode, 0);
    const QByteArray expected = Oracle(bytes, codePage, minChars, cjk);
    QVERIFY(expected.count('\n') > 10);
    const QList<QByteArray> got = result.out.split('\n');
    const QList<QByteArray> want = expected.split('\n');
    for (int i = 0; i < std::min(got.size(), want.size()); ++i)
        QCOMPARE(got[i], want[i]);
    QCOMPARE(result.out, expected);
}

void TestStrings::partsDoNotMatter()
{
    // Parts of one to eight bytes cut every character somewhere.
    QRandomGenerator random(42);
    for (int nCodePage : {936, 950, 932, 65001}) {
        const QByteArray bytes = RandomMix(nCodePage, random);
        QCOMPARE(ScanInParts(bytes, nCodePage, 3, false, random), Oracle(bytes, nCodePage, 3, false));
    }
}

void TestStrings::acrossWindowsAndParts_data()
{
    // A file is read 4 MiB at a time, by reads of parts and through a mapping
    // in turn, then one way: a character cut by a window's or a part's end
    // goes on in the next, a mapping starting a page before it. Here one
    // straddles 4 MiB, where the reads give way to a mapping, and 8 MiB,
    // where the reads take over again.
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("straddling");
    QTest::addColumn<int>("before");   // bytes of it before the window's end
    QTest::newRow("GB pair") << 936 << QByteArray("\xD6\xD0") << 1;
    QTest::newRow("Shift JIS pair in ASCII") << 932 << QByteArray("ab\x93\xFA" "cd") << 3;
    QTest::newRow("UTF-8 of three bytes, two before") << 65001 << QByteArray("\xE4\xB8\xAD") << 2;
    QTest::newRow("run ends at the window's end") << 950 << QByteArray("abcd\x01") << 4;
}

void TestStrings::acrossWindowsAndParts()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, straddling);
    QFETCH(int, before);
    constexpr int kWindow = 1 << 22;
    QRandomGenerator random{quint32(codePage)};
    const QByteArray mix = RandomMix(codePage, random);
    QByteArray bytes;
    while (bytes.size() < 2 * kWindow + 3000)
        bytes += mix;
    bytes.replace(kWindow - before, straddling.size(), straddling);
    bytes.replace(2 * kWindow - before, straddling.size(), straddling);
    const QString path = m_dir.filePath(QStringLiteral("windows-%1").arg(codePage));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    const QByteArray expected = Oracle(bytes, codePage, 1, false);
    const auto unset = qScopeGuard([] { qunsetenv("ZORBEL_READ_BY"); });
    // Each way alone, and both in turn.
    for (const char* way : {"", "map", "read"}) {
        qputenv("ZORBEL_READ_BY", way);
        const TestSupport::ProgramResult result =
            RunZorbel({QStringLiteral("--strings"), QStringLiteral("--codepage"), QString::number(codePage),
                       QStringLiteral("--min"), QStringLiteral("1"), path});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        // The lines around each window's end, then the whole.
        for (const int nEnd : {kWindow, 2 * kWindow}) {
            const QByteArray near = QByteArray::number(nEnd - 64, 16).toUpper().rightJustified(8, '0');
            const qsizetype nAt = expected.indexOf('\n', expected.indexOf('\n' + near.left(6)) + 1);
            QVERIFY2(result.out.mid(nAt, 400) == expected.mid(nAt, 400), way);
        }
        QVERIFY2(result.out == expected, way);
    }
}

void TestStrings::readsThroughATable_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<int>("minChars");
    QTest::addColumn<bool>("cjk");
    QTest::addColumn<int>("length");
    const QByteArray letters = "80=A\n81=B\nA0=a\n/FF=<end>\n*FE\n20= \n09=\t\n";
    const QByteArray letterBytes("\x80\x81\xA0\xFF\xFE\x20\x09\x00\x80\x81\xA0\x20", 12);
    QTest::newRow("letters, end codes and line breaks") << letters << letterBytes << 3 << false << 5000;
    QTest::newRow("runs of one key") << letters << letterBytes << 1 << false << 5000;
    QTest::newRow("beyond ASCII only") << letters + "82=中\n" << letterBytes + "\x82" << 2 << true << 5000;
    QTest::newRow("two-byte keys, an end code without text")
        << QByteArray("8140=中\n8141=文\n81=?\n/0000=\n41=A\n") << QByteArray("\x81\x40\x41\x00\x02\x81", 6) << 2
        << false << 5000;
    QTest::newRow("keys of three bytes, long texts")
        << QByteArray("818283=a long text\n81=α\n82=β\n/83=。\n8182838485868788=八\n")
        << QByteArray("\x81\x82\x83\x84\x85\x86\x87\x88") << 2 << false << 5000;
    // Lines far longer than their bytes, over parts of the program's size:
    // the output must have room for them.
    QTest::newRow("a byte's text of 40 characters, short runs")
        << QByteArray("80=" + QByteArray(40, 'x') + "\n") << QByteArray("\x80\x80\x00", 3) << 1 << false << 400000;
}

void TestStrings::readsThroughATable()
{
    QFETCH(QByteArray, table);
    QFETCH(QByteArray, alphabet);
    QFETCH(int, minChars);
    QFETCH(bool, cjk);
    QFETCH(int, length);
    auto pTable = std::make_shared<CCharTable>();
    QVERIFY(pTable->Parse(table));
    QRandomGenerator random(quint32(table.size() * 31 + minChars));
    QByteArray bytes;
    while (bytes.size() < length)
        bytes += alphabet[random.bounded(int(alphabet.size()))];
    QByteArray expectedEnds;
    const QByteArray expected = TableOracle(bytes, *pTable, minChars, cjk, &expectedEnds);
    QVERIFY(expected.count('\n') > 10);
    QCOMPARE(ScanInParts(bytes, 936, minChars, cjk, random, pTable), expected);
    // Parts long enough for the scan to take 16 places at a time; the runs'
    // ends too, which the Strings list selects by.
    QByteArray ends;
    QCOMPARE(ScanInParts(bytes, 936, minChars, cjk, random, pTable, 3000, &ends), expected);
    QCOMPARE(ends, expectedEnds);

    const QString tablePath = m_dir.filePath(QStringLiteral("strings.tbl"));
    const QString path = m_dir.filePath(QStringLiteral("strings.bin"));
    for (const auto& [name, content] : {std::pair{tablePath, table}, std::pair{path, bytes}}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    QStringList args{QStringLiteral("--strings"), QStringLiteral("--table"), tablePath, QStringLiteral("--min"),
                     QString::number(minChars), path};
    if (cjk)
        args.insert(1, QStringLiteral("--cjk"));
    const TestSupport::ProgramResult result = RunZorbel(args);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, expected);
}

void TestStrings::linesInParts_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("minChars");
    QTest::addColumn<quint32>("partBytes");
    QTest::addColumn<CStringScanner::Build>("build");
    using Build = CStringScanner::Build;
    const Build best = CStringScanner::BestBuild();
    static const char* const kBuildNames[] = {"SSE2", "AVX2", "AVX2 and PEXT"};
    // The lines are built in the output as the bytes are read 64 at a time;
    // a run under way when a part ends is carried, offset and all, into the
    // next part's output. The blocks are read with AVX2 where the processor
    // has them, and in every build in the rows that name one.
    QRandomGenerator random(7);
    for (int nCodePage : {936, 950, 932, 1252, 65001}) {
        const QByteArray mix = RandomMix(nCodePage, random) + RandomMix(nCodePage, random);
        for (quint32 nPart : {97u, 300u, 5000u}) {
            for (Build build : {Build::Sse2, Build::Avx2, Build::Avx2Pext})
                QTest::addRow("%d mix, parts of %u, %s", nCodePage, nPart, kBuildNames[int(build)])
                    << nCodePage << mix << 3 << nPart << build;
        }
        // A minimum of 4 (the default) has its own build of the walk.
        for (Build build : {Build::Sse2, Build::Avx2, Build::Avx2Pext})
            QTest::addRow("%d mix, minimum 4, %s", nCodePage, kBuildNames[int(build)])
                << nCodePage << mix << 4 << 5000u << build;
    }
    // Blocks of nothing but GB pairs, ASCII, or runs too short to list, where
    // the walk between stretches takes its shortcuts.
    QByteArray pairs;
    QByteArray shortRuns;
    for (int i = 0; i < 2000; ++i) {
        pairs += i % 300 == 299 ? "\xFF" : "\xD6\xD0\xCE\xC4";
        shortRuns += i % 5 == 0 ? "\x01\xD6\xD0" : i % 5 == 1 ? "ab\x80" : "\xFFx";
    }
    // Stretches of one to nine characters, ASCII and pairs, between single
    // breaks, and now and then one of 70 to 200 bytes: lines of three, four
    // and five characters end at every place of a block, a run under way
    // ends short or listed at a block's first break, and a block ends at a
    // break or inside a pair.
    QByteArray stretches;
    for (int i = 0; stretches.size() < 20000; ++i) {
        const int nChars = i % 11 == 10 ? 35 + i % 67 : 1 + (i * 7) % 9;
        for (int k = 0; k < nChars; ++k)
            stretches += (i + k) % 3 == 0 ? "\xD6\xD0" : "a";
        stretches += i % 5 == 0 ? "\xFF" : "\x01";
    }
    for (Build build : {Build::Sse2, Build::Avx2, Build::Avx2Pext}) {
        const char* pszBuild = kBuildNames[int(build)];
        QTest::addRow("stretches of 1-9 characters, %s", pszBuild) << 936 << stretches << 4 << 5000u << build;
        QTest::addRow("stretches of 1-9 characters, parts of 97, %s", pszBuild) << 936 << stretches << 4 << 97u << build;
        QTest::addRow("GB pairs, %s", pszBuild) << 936 << pairs << 4 << 5000u << build;
        QTest::addRow("GB pairs, a minimum of 64, %s", pszBuild) << 936 << pairs << 64 << 5000u << build;
        QTest::addRow("short runs among breaks, %s", pszBuild) << 936 << shortRuns << 2 << 5000u << build;
        QTest::addRow("short runs, none listed, %s", pszBuild) << 936 << shortRuns + "abcd" << 4 << 5000u << build;
    }
    // Tabs are written as \t in place, taking a byte more than they read.
    QByteArray tabs;
    for (int i = 0; i < 3000; ++i)
        tabs += i % 7 == 3 ? "\t" : i % 23 == 0 ? "\x01" : "x\xD6\xD0";
    QTest::newRow("tabs among GB, parts of 1000") << 936 << tabs << 4 << 1000u << best;
    QTest::newRow("tabs among GB, parts of 1000, SSE2") << 936 << tabs << 4 << 1000u << Build::Sse2;
    // The most a part can give: a one-byte run of a character of three bytes
    // of UTF-8 (the euro sign) or a tab, each ended by the byte after it.
    QTest::newRow("euro signs one by one") << 1252 << QByteArray(4000, '\x80').replace("\x80\x80", "\x80\x00") << 1 << 4000u << best;
    QTest::newRow("tabs one by one") << 936 << QByteArray(4000, '\t').replace("\t\t", "\t\x00") << 1 << 999u << best;
    QTest::newRow("a minimum over 64") << 936 << tabs << 70 << 333u << best;
}

void TestStrings::linesInParts()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    QFETCH(int, minChars);
    QFETCH(quint32, partBytes);
    QFETCH(CStringScanner::Build, build);
    if (build > CStringScanner::BestBuild())
        QSKIP("This processor does not run that build.");
    const QByteArray expected = Oracle(bytes, codePage, minChars, false);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(LinesInParts(bytes, codePage, minChars, false, partBytes, build), expected);
}

void TestStrings::longRunsAreCut()
{
    // A run stops at kMaxRunBytes whichever way it is read; each piece is a
    // line of its own, its offset where the piece starts, even when a part
    // ends inside it.
    constexpr int kLength = 3 * int(CStringScanner::kMaxRunBytes) + 100;
    QByteArray bytes(kLength, 'a');
    for (int i = 5; i < kLength; i += 1000)
        bytes[i] = '\t';
    QByteArray expected;
    for (int nAt = 0; nAt < kLength; nAt += int(CStringScanner::kMaxRunBytes)) {
        QByteArray text = bytes.mid(nAt, int(CStringScanner::kMaxRunBytes));
        expected += QByteArray::number(nAt, 16).toUpper().rightJustified(8, '0') + '\t'
            + text.replace('\t', "\\t") + '\n';
    }
    for (std::uint32_t nPart : {65536u, 100000u, 4096u})
        QCOMPARE(LinesInParts(bytes, 936, 4, false, nPart), expected);
}

void TestStrings::lineFormat()
{
    CTextRun run;
    run.nOffset = 0x1234ABCDEull;
    run.text = "a\tb\nc";
    std::string out;
    CStringScanner::AppendLine(run, out);
    QCOMPARE(QByteArray::fromStdString(out), QByteArray("1234ABCDE\ta\\tb\\nc\n"));
}

void TestStrings::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no such file") << QStringList{QStringLiteral("--strings"), QStringLiteral("/nonexistent/x")} << 1;
    QTest::newRow("no file") << QStringList{QStringLiteral("--strings")} << 2;
    QTest::newRow("--min 0") << QStringList{QStringLiteral("--strings"), QStringLiteral("--min"), QStringLiteral("0"),
                                            QStringLiteral("/dev/null")}
                             << 2;
    QTest::newRow("--min not a number") << QStringList{QStringLiteral("--strings"), QStringLiteral("--min=four"),
                                                       QStringLiteral("/dev/null")}
                                        << 2;
    QTest::newRow("--cjk without --strings") << QStringList{QStringLiteral("--dump"), QStringLiteral("--cjk"),
                                                            QStringLiteral("/dev/null")}
                                             << 2;
}

void TestStrings::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    const TestSupport::ProgramResult result = RunZorbel(args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.out.isEmpty());
    QVERIFY(result.err.startsWith("zorbel: "));
}

QTEST_GUILESS_MAIN(TestStrings)
#include "tst_strings.moc"
