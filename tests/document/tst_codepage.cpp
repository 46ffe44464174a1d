#include "byteclasses.h"
#include "codepage.h"
#include "plainrules.h"
#include "syslang.h"
#include "utf8.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <iterator>
#include <vector>

// The classification ranges, the language table and the content detection.
class TestCodePage : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetSystemLocaleOverride(QString()); }

    void classifiesRangeEdges_data();
    void classifiesRangeEdges();
    void byteClassMasksMatchRules_data();
    void byteClassMasksMatchRules();
    void hexDigits();
    void hexToByte_data();
    void hexToByte();
    void defaultCodePageFromLocale_data();
    void defaultCodePageFromLocale();
    void detect_data();
    void detect();
    void detectNeverReadsPastLength();
    void detectKeepsResultOfTextThatIsNotUtf8_data();
    void detectKeepsResultOfTextThatIsNotUtf8();
    void utf8CheckMatchesSequenceWalk_data();
    void utf8CheckMatchesSequenceWalk();
    void utf8CheckAtGroupEdges();
    void detectListsLongLeadRuns_data();
    void detectListsLongLeadRuns();
    void detectMatchesByteByByteRule_data();
    void detectMatchesByteByByteRule();
    void wideCharsFollowUnicodesWidthData();
};

void TestCodePage::classifiesRangeEdges_data()
{
    QTest::addColumn<int>("cp");
    QTest::addColumn<int>("byte");
    QTest::addColumn<bool>("lead");
    QTest::addColumn<bool>("trail");
    QTest::addColumn<bool>("kana");

    QTest::newRow("932 0x80 below lead") << 932 << 0x80 << false << true << false;
    QTest::newRow("932 0x81 first lead") << 932 << 0x81 << true << true << false;
    QTest::newRow("932 0x9F last low lead") << 932 << 0x9F << true << true << false;
    QTest::newRow("932 0xA0 kana, no lead") << 932 << 0xA0 << false << true << true;
    QTest::newRow("932 0xDF last kana") << 932 << 0xDF << false << true << true;
    QTest::newRow("932 0xE0 high lead") << 932 << 0xE0 << true << true << false;
    QTest::newRow("932 0xFC last lead and trail") << 932 << 0xFC << true << true << false;
    QTest::newRow("932 0xFD none") << 932 << 0xFD << false << false << false;
    QTest::newRow("932 0x3F below trail") << 932 << 0x3F << false << false << false;
    QTest::newRow("932 0x40 first trail") << 932 << 0x40 << false << true << false;
    QTest::newRow("932 0x7F no trail") << 932 << 0x7F << false << false << false;
    QTest::newRow("936 0xA0 none") << 936 << 0xA0 << false << false << false;
    QTest::newRow("936 0xA1 lead and trail") << 936 << 0xA1 << true << true << false;
    QTest::newRow("936 0xB0 not kana") << 936 << 0xB0 << true << true << false;
    QTest::newRow("936 0xFE last") << 936 << 0xFE << true << true << false;
    QTest::newRow("936 0x41 no trail") << 936 << 0x41 << false << false << false;
    QTest::newRow("950 0x40 trail") << 950 << 0x40 << false << true << false;
    QTest::newRow("950 0x7E trail") << 950 << 0x7E << false << true << false;
    QTest::newRow("950 0x7F none") << 950 << 0x7F << false << false << false;
    QTest::newRow("950 0xA0 none") << 950 << 0xA0 << false << false << false;
    QTest::newRow("950 0xA1 both") << 950 << 0xA1 << true << true << false;
    QTest::newRow("949 0x81 lead and trail") << 949 << 0x81 << true << true << false;
    QTest::newRow("949 0xFE last") << 949 << 0xFE << true << true << false;
    QTest::newRow("949 0x41 trail") << 949 << 0x41 << false << true << false;
    QTest::newRow("949 0x5B between the letters") << 949 << 0x5B << false << false << false;
    QTest::newRow("949 0x60 before the small letters") << 949 << 0x60 << false << false << false;
    QTest::newRow("949 0x7A trail") << 949 << 0x7A << false << true << false;
    QTest::newRow("949 0x80 none") << 949 << 0x80 << false << false << false;
    for (int cp : {932, 936, 950, 949})
        QTest::addRow("%d 0xFF end marker is nothing", cp) << cp << 0xFF << false << false << false;
    for (int cp : {933, 937, 1252})
        QTest::addRow("%d has no double bytes", cp) << cp << 0xB0 << false << false << false;
}

void TestCodePage::classifiesRangeEdges()
{
    QFETCH(int, cp);
    QFETCH(int, byte);
    QFETCH(bool, lead);
    QCOMPARE(IsLeadByte(cp, std::uint8_t(byte)), lead);
    QFETCH(bool, trail);
    QCOMPARE(IsTrailByte(cp, std::uint8_t(byte)), trail);
    QFETCH(bool, kana);
    QCOMPARE(IsHalfWidthKana(cp, std::uint8_t(byte)), kana);
}

// The row's byte classes by runs and, where the code page allows them, by two
// look-ups per byte (one by each half): every byte value at every place of
// the 16, as the rules say.
void TestCodePage::byteClassMasksMatchRules_data()
{
    QTest::addColumn<int>("cp");
    for (const int cp : {936, 950, 932, 65001, 949, 1252, 933, 937})
        QTest::addRow("%d", cp) << cp;
}

void TestCodePage::byteClassMasksMatchRules()
{
    QFETCH(int, cp);
    const CByteClasses& classes = CByteClasses::For(cp);
    if (!classes.HasMasks())
        QSKIP("no masks in this code page");
#if defined(__x86_64__) || defined(__i386__)
    // The shown code pages take the look-ups.
    const bool bShown = std::find(std::begin(kShownCodePages), std::end(kShownCodePages), cp)
        != std::end(kShownCodePages);
    QVERIFY(classes.HasNibbleTables() || !bShown);
    // The quarter tables tell lead bytes in the first quarter and trail bytes
    // in the second, by one entry for each half of the byte; every shown code
    // page has them.
    QVERIFY(classes.HasQuarterTables() || !bShown);
    if (classes.HasQuarterTables()) {
        for (int b = 0; b < 256; ++b) {
            const auto inQuarter = [&](int q) {
                return (classes.QuarterHighs()[16 * q + (b >> 4)] & classes.QuarterLows()[16 * q + (b & 15)]) != 0;
            };
            QVERIFY2(inQuarter(0) == IsLeadByte(cp, std::uint8_t(b)), qPrintable(QString::number(b, 16)));
            QVERIFY2(inQuarter(1) == IsTrailByte(cp, std::uint8_t(b)), qPrintable(QString::number(b, 16)));
        }
    }
#endif
    for (int start = 0; start < 256; ++start) {
        std::uint8_t bytes[16];
        for (int i = 0; i < 16; ++i)
            bytes[i] = std::uint8_t(start + 7 * i);
        std::uint32_t lead = 0, trail = 0, shown = 0;
        for (int i = 0; i < 16; ++i) {
            lead |= std::uint32_t(IsLeadByte(cp, bytes[i])) << i;
            trail |= std::uint32_t(IsTrailByte(cp, bytes[i])) << i;
            shown |= std::uint32_t(IsShownAlone(cp, bytes[i])) << i;
        }
        const QString at = QString("from %1").arg(start);
        QVERIFY2(classes.LeadMask(bytes) == lead, qPrintable(at));
        QVERIFY2(classes.TrailMask(bytes) == trail, qPrintable(at));
        QVERIFY2(classes.ShownMask(bytes) == shown, qPrintable(at));
#if defined(__x86_64__) || defined(__i386__)
        if (classes.HasNibbleTables()) {
            std::uint32_t nibbleLead = 0, nibbleShown = 0;
            classes.LeadAndShownMasks(bytes, nibbleLead, nibbleShown);
            QVERIFY2(nibbleLead == lead, qPrintable(at));
            QVERIFY2(nibbleShown == shown, qPrintable(at));
            QVERIFY2(classes.TrailMaskBySsse3(bytes) == trail, qPrintable(at));
        }
#endif
    }
}

void TestCodePage::hexDigits()
{
    QString accepted;
    for (int ch = 0; ch < 0x200; ++ch)
        if (IsHexDigit(ch))
            accepted += QChar(ch);
    QCOMPARE(accepted, QStringLiteral("0123456789ABCDEFabcdef"));
}

void TestCodePage::hexToByte_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<int>("value");
    QTest::newRow("7f") << QByteArray("7f") << 0x7F;
    QTest::newRow("FF") << QByteArray("FF") << 0xFF;
    QTest::newRow("three digits keep the last two") << QByteArray("123") << 0x23;
    QTest::newRow("single digit") << QByteArray("a") << 0x0A;
    QTest::newRow("empty") << QByteArray("") << 0;
}

void TestCodePage::hexToByte()
{
    QFETCH(QByteArray, digits);
    QFETCH(int, value);
    QCOMPARE(int(HexToByte(digits.constData())), value);
}

void TestCodePage::defaultCodePageFromLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("cp");
    QTest::newRow("Taiwan") << "zh_TW.UTF-8" << 950;
    QTest::newRow("Hong Kong") << "zh_HK" << 950;
    QTest::newRow("Macau") << "zh_MO.UTF-8" << 936;
    QTest::newRow("Singapore") << "zh_SG" << 936;
    QTest::newRow("PRC") << "zh_CN.GB2312" << 936;
    QTest::newRow("Japanese") << "ja_JP.UTF-8" << 932;
    QTest::newRow("Korean") << "ko_KR.UTF-8" << 949;
    QTest::newRow("English") << "en_US.UTF-8" << 1252;
    QTest::newRow("German") << "de_DE@euro" << 1252;
    QTest::newRow("POSIX") << "C" << 1252;
}

void TestCodePage::defaultCodePageFromLocale()
{
    QFETCH(QString, locale);
    SetSystemLocaleOverride(locale);
    QFETCH(int, cp);
    QCOMPARE(GetDefaultCodePage(), cp);
}

void TestCodePage::detect_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("bytes");   // the end marker is appended
    QTest::addColumn<int>("cp");

    QTest::newRow("end marker only gives the default") << "ja_JP" << QByteArray() << 932;
    QTest::newRow("HZ escape") << "en_US" << QByteArray("\x61\x7E\x7B\x78") << 937;
    QTest::newRow("JIS escape") << "en_US" << QByteArray("\x1B\x24\x42") << 933;
    QTest::newRow("ESC $ A goes on") << "en_US" << QByteArray("\x1B\x24\x41") << 1252;
    QTest::newRow("Shift JIS pair") << "en_US" << QByteArray("\x82\xA0") << 932;
    QTest::newRow("BIG5 pair with low trail") << "en_US" << QByteArray("\xB0\x41") << 950;
    QTest::newRow("GB pair on a Japanese system") << "ja_JP" << QByteArray("\xB0\xA1") << 936;
    QTest::newRow("GB lead skips its partner") << "en_US" << QByteArray("\xB0\xB0\x41") << 936;
    QTest::newRow("later decisive pair wins") << "en_US" << QByteArray("\xB0\xA1\x20\xB0\x41") << 950;
    QTest::newRow("plain ASCII keeps the default") << "zh_TW" << QByteArray("hello") << 950;
    QTest::newRow("lead byte before the end marker") << "en_US" << QByteArray("ab\xB0") << 936;

    const QByteArray gb("\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4\xCA\xFD\xBE\xDD");
    const QByteArray big5("\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5\xB8\xEA\xAE\xC6");
    const QByteArray sjis("\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x4C\x83\x58\x83\x67");
    QTest::newRow("GB text") << "en_US" << gb << 936;
    QTest::newRow("BIG5 text") << "ja_JP" << big5 << 950;
    QTest::newRow("Shift JIS text") << "zh_CN" << sjis << 932;
    QTest::newRow("UTF-8 Chinese") << "en_US" << QString("中文字符").toUtf8() << 65001;
    QTest::newRow("UTF-8 on a Japanese system") << "ja_JP" << QString("日本語のテキスト").toUtf8() << 65001;
    QTest::newRow("one two-byte character in ASCII") << "zh_TW" << QByteArray("caf\xC3\xA9 au lait") << 65001;
    QTest::newRow("byte-order mark alone") << "en_US" << QByteArray("\xEF\xBB\xBF") << 65001;
    QTest::newRow("UTF-8 before the HZ escape rule") << "en_US" << QByteArray("~{\xE4\xB8\xAD") << 65001;
    QTest::newRow("UTF-8 then a GB pair") << "en_US" << QString("中").toUtf8() + "\xB0\xA1" << 936;
    QTest::newRow("UTF-8 then a stray 0xFF") << "en_US" << QByteArray("\xE4\xB8\xAD\xFF") << 936;
    QTest::newRow("sequence cut by the end") << "en_US" << QByteArray("ab\xE4\xB8") << 936;
    QTest::newRow("overlong form") << "en_US" << QByteArray("\xC0\xAF") << 936;
    QTest::newRow("encoded surrogate") << "en_US" << QByteArray("\xED\xA0\x80") << 936;
    QTest::newRow("past U+10FFFF") << "zh_TW" << QByteArray("\xF4\x90\x80\x80") << 936;
    QTest::newRow("lone continuation byte") << "en_US" << QByteArray("a\x80") << 1252;
}

void TestCodePage::detect()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, bytes);
    SetSystemLocaleOverride(locale);
    bytes.append(char(0xFF));
    QFETCH(int, cp);
    QCOMPARE(DetectCodePage(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint32_t(bytes.size())), cp);
}

void TestCodePage::detectNeverReadsPastLength()
{
    // Candidates at the very end of a buffer without a marker: the look-ahead
    // must stop at the length (the sanitizer build turns an overrun into a failure).
    SetSystemLocaleOverride("en_US");
    for (const QByteArray& tail : {QByteArray("\x7E"), QByteArray("\x1B\x24"), QByteArray("\xB0"), QByteArray("\x82")}) {
        auto* heap = new std::uint8_t[tail.size()];
        std::memcpy(heap, tail.constData(), tail.size());
        const int cp = DetectCodePage(heap, std::uint32_t(tail.size()));
        delete[] heap;
        QVERIFY(cp == 1252 || cp == 936);
    }
}

namespace {

enum ByteKind { kAnyByte, kMostlyAscii, kUtf8LookAlikes, kUtf8Text };

char RandomByte(QRandomGenerator& gen, int kind)
{
    // Bytes that UTF-8 and the double-byte code pages both use.
    static const char lookAlikes[] = {'a',    '~',    '{',    '\x1B', '$',    'B',    '\x80', '\x9F', '\xA0', '\xBF',
                                      '\xC2', '\xDF', '\xE0', '\xE4', '\xED', '\xEF', '\xF0', '\xF4', '\xF5', '\xFE'};
    switch (kind) {
    case kMostlyAscii:
        return char(gen.bounded(8) == 0 ? 0x80 + gen.bounded(128) : 0x20 + gen.bounded(95));
    case kUtf8LookAlikes:
        return lookAlikes[gen.bounded(int(sizeof lookAlikes))];
    case kUtf8Text: {
        // Mostly well-formed: continuation bytes are likelier after a lead byte.
        static const char text[] = {'a', ' ', '\x80', '\x8F', '\x90', '\x9F', '\xA0', '\xBF', '\xBF', '\xBF', '\x80', '\x80'};
        return gen.bounded(16) == 0 ? char(0xC0 + gen.bounded(64)) : text[gen.bounded(int(sizeof text))];
    }
    default:
        return char(gen.bounded(256));
    }
}

} // namespace

// Random buffers of several kinds: whatever is not UTF-8 with a multi-byte
// sequence must be detected as it was before.
void TestCodePage::detectKeepsResultOfTextThatIsNotUtf8_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("kind");
    for (const char* locale : {"en_US", "ja_JP", "zh_TW"}) {
        QTest::addRow("any byte, %s", locale) << locale << int(kAnyByte);
        QTest::addRow("mostly ASCII, %s", locale) << locale << int(kMostlyAscii);
        QTest::addRow("UTF-8 look-alikes, %s", locale) << locale << int(kUtf8LookAlikes);
    }
}

void TestCodePage::detectKeepsResultOfTextThatIsNotUtf8()
{
    QFETCH(QString, locale);
    QFETCH(int, kind);
    SetSystemLocaleOverride(locale);
    QRandomGenerator gen(7);
    int nOther = 0;
    for (int n = 0; n < 20000; ++n) {
        QByteArray bytes(1 + int(gen.bounded(40)), Qt::Uninitialized);
        for (char& b : bytes)
            b = RandomByte(gen, kind);
        const bool bUtf8 = IsUtf8Text(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        bytes.append(char(0xFF));
        const int cp = DetectCodePage(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint32_t(bytes.size()));
        if (bUtf8) {
            QCOMPARE(cp, 65001);
        } else {
            ++nOther;
            QCOMPARE(cp, Plain::DetectCodePage(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                               std::uint32_t(bytes.size())));
        }
    }
    QVERIFY(nOther > 1000);
}

// The check reads 16 bytes at a time where it can; it must answer as a walk of
// one sequence after another does, at every length and alignment.
namespace {

// The ways the UTF-8 check can take: 64-byte groups in one AVX-512 register or
// in two AVX2 registers, or 16-byte blocks alone.
enum Utf8Check { kAvx512Groups, kAvx2Groups, kBlocks };

// Turns the check to the way asked for; false when the processor lacks it.
bool UseUtf8Check(int way)
{
    const bool bAvx512 = AllowAvx512Utf8Check(way == kAvx512Groups) == (way == kAvx512Groups);
    const bool bAvx2 = AllowAvx2Utf8Check(way == kAvx2Groups) == (way == kAvx2Groups);
    return bAvx512 && bAvx2;
}

const char* Utf8CheckName(int way)
{
    return way == kAvx512Groups ? "AVX-512 groups" : way == kAvx2Groups ? "AVX2 groups" : "16-byte blocks";
}

void UseFastestUtf8Check()
{
    AllowAvx512Utf8Check(true);
    AllowAvx2Utf8Check(true);
}

} // namespace

void TestCodePage::utf8CheckMatchesSequenceWalk_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("way");
    for (const int way : {kAvx512Groups, kAvx2Groups, kBlocks}) {
        const char* how = Utf8CheckName(way);
        QTest::addRow("any byte, %s", how) << int(kAnyByte) << way;
        QTest::addRow("UTF-8 look-alikes, %s", how) << int(kUtf8LookAlikes) << way;
        QTest::addRow("mostly well-formed, %s", how) << int(kUtf8Text) << way;
    }
}

void TestCodePage::utf8CheckMatchesSequenceWalk()
{
    QFETCH(int, kind);
    QFETCH(int, way);
    const auto restore = qScopeGuard([] { UseFastestUtf8Check(); });
    if (!UseUtf8Check(way))
        QSKIP("this processor lacks that way");
    QRandomGenerator gen(3);
    const QList<QByteArray> characters = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xED\x9F\xBF"};
    int nValid = 0;
    for (int n = 0; n < 30000; ++n) {
        // Text, then a few bytes of the kind at a random place; past 64 bytes
        // the check takes whole groups of four blocks.
        QByteArray bytes;
        const int nLength = int(gen.bounded(200));
        while (bytes.size() < nLength)
            bytes += characters.at(int(gen.bounded(characters.size())));
        // Runs of ASCII long enough to be passed over whole.
        if (gen.bounded(2) == 0)
            bytes.insert(int(gen.bounded(bytes.size() + 1)), QByteArray(int(gen.bounded(150)), 'a'));
        const int nPlace = int(gen.bounded(bytes.size() + 1));
        for (int k = int(gen.bounded(4)); k > 0; --k)
            bytes.insert(nPlace, RandomByte(gen, kind));

        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        bool bExpected = false;
        for (int i = 0; i < bytes.size();) {
            char32_t ch;
            const int nBytes = data[i] < 0x80 ? 1 : Utf8SequenceAt(data + i, std::size_t(bytes.size() - i), ch);
            if (nBytes == 0) {
                bExpected = false;
                break;
            }
            bExpected = bExpected || nBytes > 1;
            i += nBytes;
            if (i == bytes.size())
                break;
        }
        if (bytes.isEmpty())
            bExpected = false;
        nValid += bExpected;
        QVERIFY2(IsUtf8Text(data, std::size_t(bytes.size())) == bExpected, bytes.toHex(' ').constData());
    }
    QVERIFY(nValid > 1000 && nValid < 29000);
}

// A character cut short or whole at every place around the edges of the
// 16-byte blocks and 64-byte groups, ASCII before and after it: whether the
// check looks back across an edge into a group it passed as ASCII.
void TestCodePage::utf8CheckAtGroupEdges()
{
    const auto restore = qScopeGuard([] { UseFastestUtf8Check(); });
    const struct {
        QByteArray bytes;
        bool bWhole;
    } pieces[] = {{"\xC3", false},         {"\xE4", false},    {"\xE4\xB8", false},       {"\xF0\x9F\x98", false},
                  {"\x80", false},         {"\xC3\xA9", true}, {"\xE4\xB8\xAD", true},    {"\xF0\x9F\x98\x80", true},
                  {"\xED\xA0\x80", false}, {"\xC0\xAF", false}};
    for (const int way : {kAvx512Groups, kAvx2Groups, kBlocks}) {
        if (!UseUtf8Check(way))
            continue;
        for (const auto& piece : pieces) {
            for (int nBefore = 0; nBefore < 140; ++nBefore) {
                for (const int nAfter : {0, 1, 15, 70}) {
                    const QByteArray bytes = QByteArray(nBefore, 'a') + piece.bytes + QByteArray(nAfter, 'b');
                    const bool bResult = IsUtf8Text(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                    std::size_t(bytes.size()));
                    QVERIFY2(bResult == piece.bWhole,
                             qPrintable(QStringLiteral("%1 after %2 bytes, %3 after it, %4")
                                            .arg(QString::fromLatin1(piece.bytes.toHex(' ')))
                                            .arg(nBefore)
                                            .arg(nAfter)
                                            .arg(Utf8CheckName(way))));
                }
            }
        }
    }
}

// Random pieces drawn mostly from one set, with a rare one from a second: the
// scan goes far before anything decides, through blocks of every makeup.
void TestCodePage::detectMatchesByteByByteRule_data()
{
    QTest::addColumn<QByteArrayList>("common");
    QTest::addColumn<QByteArrayList>("rare");
    const auto bytesOf = [](const QByteArray& bytes) {
        QByteArrayList pieces;
        for (const char b : bytes)
            pieces += QByteArray(1, b);
        return pieces;
    };
    QByteArray leads;
    for (int b = 0xA1; b <= 0xFE; ++b)
        leads += char(b);
    const QByteArrayList text = bytesOf(leads + "hello world\r\n");
    QTest::newRow("GB text, BIG5 trail bytes") << text << bytesOf("@Z~");
    QTest::newRow("GB text, Shift JIS lead bytes") << text << bytesOf("\x81\x9F\x90");
    // The lowest byte of the range that only Shift JIS rules begin with, alone.
    QTest::newRow("GB text, Shift JIS lead byte 81") << text << bytesOf("\x81");
    QTest::newRow("GB text, escapes") << text << bytesOf("~{\x1B$B");
    // Long runs of lead bytes, whose pairing goes on from block to block, broken
    // now and then by a byte that ends the run or decides 950 after a lead byte.
    QTest::newRow("lead byte runs, BIG5 trail bytes") << bytesOf("\xCD\xB0\xFE\xA1") << bytesOf("@ ~\x7F");
    QTest::newRow("lead bytes, text") << bytesOf("\xCD\xCD\xCD\xB0") << bytesOf("a\x80\xA0\xFF");
    QTest::newRow("text, lead bytes") << bytesOf("abc \n") << bytesOf("\xB0\xCD");
    QTest::newRow("high bytes that decide nothing") << bytesOf("\x80\xA0\xFF\xB0") << bytesOf("\x7E\x40");
    // Shift JIS pairs decide 932 early, but only once the text is not UTF-8.
    QTest::newRow("UTF-8 text, a stray byte")
        << QByteArrayList{"a", " ", "\xE4\xB8\xAD", "\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80"}
        << QByteArrayList{"\x82", "\xA0\xA0"};
}

void TestCodePage::detectMatchesByteByByteRule()
{
    QFETCH(QByteArrayList, common);
    QFETCH(QByteArrayList, rare);
    SetSystemLocaleOverride("ja_JP");
    QRandomGenerator gen{quint32(qHash(QByteArray(QTest::currentDataTag())))};
    for (int trial = 0; trial < 400; ++trial) {
        // In turn by the AVX-512 blocks, the AVX2 blocks and the SSE2 blocks,
        // those the processor has.
        AllowAvx512Detection(trial % 3 == 0);
        AllowAvx2Detection(trial % 3 != 2);
        const int nPieces = int(gen.bounded(trial < 200 ? 300 : 5000));
        const int nRareOdds = int(gen.bounded(1, 3000));
        QByteArray bytes;
        for (int k = 0; k < nPieces; ++k) {
            const QByteArrayList& set = int(gen.bounded(nRareOdds)) == 0 ? rare : common;
            bytes += set[int(gen.bounded(int(set.size())))];
        }
        const int nLength = int(bytes.size());
        bytes += char(0xFF);
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        const int expected = Plain::DetectCodePage(data, std::uint32_t(bytes.size()));
        const int cp = DetectCodePage(data, std::uint32_t(bytes.size()));
        QVERIFY2(cp == expected, qPrintable(QString("trial %1: %2").arg(trial).arg(bytes.toHex().constData())));
        // Whole blocks of 64 in a buffer of exactly their length: no block's
        // look-ahead may read past its end (which the sanitizers report).
        const std::vector<std::uint8_t> blocks(data, data + (bytes.size() & ~qsizetype(63)));
        if (!blocks.empty())
            QCOMPARE(DetectCodePage(blocks.data(), std::uint32_t(blocks.size())),
                     Plain::DetectCodePage(blocks.data(), std::uint32_t(blocks.size())));

        // In parts, as --dump reads a file: the bytes each scan keeps go on at
        // the start of the next part.
        const int nSplit = int(gen.bounded(1, 200));
        CCodePageDetector detector;
        QByteArray buffer;
        int decided = 0;
        for (int at = 0; at < nLength + 1 && decided == 0; at += nSplit) {
            buffer += bytes.mid(at, nSplit);
            const bool bLast = at + nSplit >= nLength + 1;
            decided = detector.Scan(reinterpret_cast<const std::uint8_t*>(buffer.constData()),
                                    std::uint32_t(buffer.size()), bLast);
            buffer.remove(0, int(detector.Kept()));
        }
        QVERIFY2(decided == cp, qPrintable(QString("trial %1 in parts of %2").arg(trial).arg(nSplit)));
    }
    AllowAvx512Detection(true);
    AllowAvx2Detection(true);
}

void TestCodePage::detectListsLongLeadRuns_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("longest");   // the longest run of lead bytes in them
    QTest::newRow("one run") << QByteArray(100000, char(0xCD)) << 100000;
    QTest::newRow("from an odd offset") << "x" + QByteArray(9000, char(0xA1)) + "y" << 9000;
    QByteArray runs = QByteArray(5000, char(0xFE)) + "ab" + QByteArray(3000, char(0xB0)) + "\r\n";
    runs += QByteArray(20001, char(0xD0)) + QByteArray(100, 'z');
    QTest::newRow("runs and text") << runs << 20001;
    QTest::newRow("too short") << QByteArray(4100, char(0xCD)) << 4100;
    QTest::newRow("0xA0 and 0xFF are none") << QByteArray(5000, char(0xA0)) + QByteArray(5000, char(0xFF)) << 0;
}

// Only bytes that are lead bytes may be listed; a run of a few blocks must be.
void TestCodePage::detectListsLongLeadRuns()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, longest);
    bytes += char(0xFF);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    std::vector<CByteRange> runs;
    DetectCodePage(data, std::uint32_t(bytes.size()), &runs);
    std::uint32_t nLast = 0;
    std::uint32_t nLongest = 0;
    for (const CByteRange& run : runs) {
        QVERIFY(run.nStart >= nLast && run.nEnd - run.nStart >= kLongLeadRun);
        for (std::uint32_t k = run.nStart; k < run.nEnd; ++k)
            QVERIFY2(data[k] >= 0xA1 && data[k] <= 0xFE, qPrintable(QString("offset %1").arg(k)));
        nLast = run.nEnd;
        nLongest = std::max(nLongest, run.nEnd - run.nStart);
    }
    QVERIFY(int(nLongest) <= longest);
    if (longest >= int(kLongLeadRun) + 128)
        QVERIFY(int(nLongest) > longest - 128);
}

// Two cells for exactly the code points Unicode's own East Asian Width data
// calls Wide or Fullwidth, each edge of each range included; everything the
// file leaves out is Neutral.
void TestCodePage::wideCharsFollowUnicodesWidthData()
{
    QFile file(QStringLiteral("/usr/share/unicode/EastAsianWidth.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        QSKIP("/usr/share/unicode/EastAsianWidth.txt (Debian's unicode-data) is not installed");
    const QString text = QString::fromUtf8(file.readAll());
    if (!text.startsWith(QStringLiteral("# EastAsianWidth-15.0.")))
        QSKIP("the wide-character table follows Unicode 15.0; this EastAsianWidth.txt is of another version");
    std::vector<bool> wide(0x110000, false);
    const QRegularExpression entry(QStringLiteral("^([0-9A-F]+)(?:\\.\\.([0-9A-F]+))?;(\\w+)"),
                                   QRegularExpression::MultilineOption);
    int nEntries = 0;
    for (const QRegularExpressionMatch& m : entry.globalMatch(text)) {
        const uint first = m.captured(1).toUInt(nullptr, 16);
        const uint last = m.captured(2).isEmpty() ? first : m.captured(2).toUInt(nullptr, 16);
        const bool bWide = m.captured(3) == QLatin1String("W") || m.captured(3) == QLatin1String("F");
        for (uint ch = first; ch <= last && ch < wide.size(); ++ch)
            wide[ch] = bWide;
        ++nEntries;
    }
    QVERIFY(nEntries > 1000);
    for (uint ch = 0; ch < wide.size(); ++ch) {
        if (IsWideChar(char32_t(ch)) != wide[ch])
            QFAIL(qPrintable(QStringLiteral("U+%1 should be %2")
                                 .arg(QString::number(ch, 16).toUpper())
                                 .arg(wide[ch] ? QStringLiteral("wide") : QStringLiteral("narrow"))));
    }
}

QTEST_APPLESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
