// The pattern's scans against a plain one-start-at-a-time search, and a count
// of the bytes they read. The scan is compiled into this test with a counter
// of its reads, so that a search that reads the same bytes again and again
// (once per match, say) is caught by the count, not by a clock.

#include <cstdint>

namespace {
std::uint64_t g_nRead = 0;
}
#define BYTEPATTERN_READ(n) (g_nRead += (n))
#include "bytepattern.cpp"

#include "chartable.h"
#include "plainrules.h"

#include <QRandomGenerator>
#include <QtTest>

#include <iterator>
#include <vector>

namespace {

// nLength bytes drawn from the alphabet, each with the weight of its repeats.
std::vector<std::uint8_t> RandomBytes(const QByteArray& alphabet, std::uint32_t nLength, std::uint32_t nSeed)
{
    QRandomGenerator random(nSeed);
    std::vector<std::uint8_t> bytes(nLength);
    for (std::uint8_t& b : bytes)
        b = std::uint8_t(alphabet.at(int(random.bounded(alphabet.size()))));
    return bytes;
}

// Words in lower case with a capital first letter in about one word of nRare.
std::vector<std::uint8_t> EnglishLike(std::uint32_t nLength, std::uint32_t nRare)
{
    static const char* const kWords[] = {"the", "of", "and", "to", "then", "lazy", "dog", "they", "other", "a"};
    QRandomGenerator random(11);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(nLength + 8);
    while (bytes.size() < nLength) {
        const char* pszWord = kWords[random.bounded(int(std::size(kWords)))];
        const bool bCapital = random.bounded(nRare) == 0;
        for (const char* p = pszWord; *p; ++p)
            bytes.push_back(std::uint8_t(p == pszWord && bCapital ? *p - ('a' - 'A') : *p));
        bytes.push_back(' ');
    }
    bytes.resize(nLength);
    return bytes;
}

// The table's entries as they are written, for a plain reading of the table.
const CCharTable::Entry* PlainEntry(const CCharTable& table, const std::uint8_t* p, std::size_t n)
{
    for (const CCharTable::Entry& entry : table.Entries()) {
        if (std::size_t(entry.key.size()) == n && std::memcmp(entry.key.constData(), p, n) == 0)
            return &entry;
    }
    return nullptr;
}

// Whether the pattern's bytes, read key by key through the table (the longest
// key at each byte), match at p: each key by bytes whose key of the same length
// and kind has the same text in any case, a byte of no key by itself.
bool PlainTableMatch(const CCharTable& table, const QByteArray& pattern, const std::uint8_t* p)
{
    const auto* q = reinterpret_cast<const std::uint8_t*>(pattern.constData());
    const auto n = std::size_t(pattern.size());
    for (std::size_t i = 0; i < n;) {
        const CCharTable::Entry* pEntry = nullptr;
        std::size_t nKey = std::min<std::size_t>(n - i, CCharTable::kMaxKeyLength);
        for (; nKey > 0 && !(pEntry = PlainEntry(table, q + i, nKey)); --nKey) {
        }
        nKey = std::max<std::size_t>(nKey, 1);
        if (std::memcmp(p + i, q + i, nKey) != 0) {
            const CCharTable::Entry* pThere = PlainEntry(table, p + i, nKey);
            if (!pEntry || !pThere || pThere->kind != pEntry->kind || pEntry->text.isEmpty()
                || QString::compare(pThere->text, pEntry->text, Qt::CaseInsensitive) != 0)
                return false;
        }
        i += nKey;
    }
    return true;
}

} // namespace

class TestBytePattern : public QObject {
    Q_OBJECT
private slots:
    void findsWhatTheOneByOneSearchFinds_data();
    void findsWhatTheOneByOneSearchFinds();
    void readsEachByteABoundedNumberOfTimes_data();
    void readsEachByteABoundedNumberOfTimes();
    void foldsTheLettersOfATable_data();
    void foldsTheLettersOfATable();
};

void TestBytePattern::findsWhatTheOneByOneSearchFinds_data()
{
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<bool>("bMatchCase");
    QTest::addColumn<int>("nCodePage");
    for (const bool bMatchCase : {false, true}) {
        const char* pszCase = bMatchCase ? ", match case" : "";
        QTest::addRow("rare capital T%s", pszCase) << QByteArray("ttttttttttttttttttTthhhe ") << QByteArray("The")
                                                   << bMatchCase << 0;
        QTest::addRow("common capitals%s", pszCase) << QByteArray("tThHeE") << QByteArray("the") << bMatchCase << 0;
        QTest::addRow("one letter%s", pszCase) << QByteArray("aAb") << QByteArray("A") << bMatchCase << 0;
        QTest::addRow("two letters, last common%s", pszCase) << QByteArray("xXyyyyy") << QByteArray("xY")
                                                             << bMatchCase << 0;
        QTest::addRow("0xCD runs, CD CD 00%s", pszCase)
            << QByteArray("\xCD\xCD\xCD\xCD\xCD\xCD\xCD\x00", 8) << QByteArray("\xCD\xCD\x00", 3) << bMatchCase << 0;
        QTest::addRow("0xCD runs, CD%s", pszCase) << QByteArray("\xCD\xCD\xCD\x01", 4) << QByteArray("\xCD")
                                                  << bMatchCase << 0;
        // Longer than a block, so that its last byte is read from the next one.
        QTest::addRow("pattern of 17%s", pszCase) << QByteArray("aA") << QByteArray("aaaaaaaaaaaaaaaaA") << bMatchCase << 0;
        QTest::addRow("pattern of 40%s", pszCase) << QByteArray("aaaaaaaaaaaaaaab")
                                                  << QByteArray(39, 'a') + QByteArray("B") << bMatchCase << 0;
        QTest::addRow("letters of the upper half%s", pszCase)
            << QByteArray("\xC1\xE1\x41\x61", 4) << QByteArray("\xE1\x41", 2) << bMatchCase << 0;
        // Letters in trail positions among runs of lead bytes of every length.
        QTest::addRow("932, a among 83%s", pszCase) << QByteArray("\x83\x83\x41\x61 \xB1") << QByteArray("a")
                                                     << bMatchCase << 932;
        QTest::addRow("932, ア among 83 and letters%s", pszCase)
            << QByteArray("\x83\x83\x41\x61\x41 ") << QByteArray("\x83\x41") << bMatchCase << 932;
        QTest::addRow("932, aア%s", pszCase) << QByteArray("\x83\x41\x61") << QByteArray("a\x83\x41") << bMatchCase
                                              << 932;
        QTest::addRow("950, 乙A%s", pszCase) << QByteArray("\xA4\xA4\x41\x61") << QByteArray("\xA4\x41\x41")
                                              << bMatchCase << 950;
        QTest::addRow("936, a after lead bytes%s", pszCase) << QByteArray("\xB0\xB0\xA1\x41\x61")
                                                             << QByteArray("\xB0\x61") << bMatchCase << 936;
        QTest::addRow("65001, a beside ア%s", pszCase) << QByteArray("\xE3\x82\xA2\x41\x61")
                                                        << QByteArray("\xA2\x61") << bMatchCase << 65001;
    }
}

// Every start offset of texts a little shorter and longer than whole blocks,
// each held in a buffer of exactly its length, so that the address sanitizer
// sees a read past its end.
void TestBytePattern::findsWhatTheOneByOneSearchFinds()
{
    QFETCH(QByteArray, alphabet);
    QFETCH(QByteArray, pattern);
    QFETCH(bool, bMatchCase);
    QFETCH(int, nCodePage);
    const CBytePattern scan(pattern, bMatchCase, nCodePage);
    const auto* pPattern = reinterpret_cast<const std::uint8_t*>(pattern.constData());
    const auto n = std::uint32_t(pattern.size());
    for (const std::uint32_t nLength : {0u, 1u, 15u, 16u, 17u, 47u, 64u, 200u, 1001u}) {
        const std::vector<std::uint8_t> bytes = RandomBytes(alphabet, nLength, nLength + 1);
        for (std::uint32_t nFrom = 0; nFrom <= nLength + 1; ++nFrom) {
            for (const bool bDown : {true, false}) {
                std::uint32_t nFound = 0;
                const bool bFound = bDown ? scan.FindDown(bytes.data(), nLength, nFrom, nFound)
                                          : scan.FindUp(bytes.data(), nLength, nFrom, nFound);
                const std::int64_t nPlain =
                    Plain::Find(bytes.data(), nLength, pPattern, n, nFrom, bDown, bMatchCase, nCodePage);
                if (bFound != (nPlain >= 0) || (bFound && nFound != nPlain))
                    QFAIL(qPrintable(QString("length %1 from %2 %3: found %4, one by one %5")
                                         .arg(nLength)
                                         .arg(nFrom)
                                         .arg(bDown ? "down" : "up")
                                         .arg(bFound ? qint64(nFound) : -1)
                                         .arg(nPlain)));
            }
        }
    }
}

// Replace All's first pass: each search starts past the last match and runs
// to the next. However many matches there are, and however rare one case of
// the first letter is, all the searches together read each byte a bounded
// number of times: at most the bytes they cross plus a block or two and the
// pattern per call.
void TestBytePattern::readsEachByteABoundedNumberOfTimes_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<bool>("bMatchCase");
    QTest::addColumn<std::uint32_t>("nRare");
    QTest::newRow("the, capitals rare") << QByteArray("the") << false << 100000u;
    QTest::newRow("the, capitals rare, match case") << QByteArray("the") << true << 100000u;
    QTest::newRow("the, capitals common") << QByteArray("the") << false << 2u;
    QTest::newRow("space, on almost every word") << QByteArray(" ") << false << 100000u;
    QTest::newRow("words longer than a block") << QByteArray("other lazy other ") << false << 50u;
}

void TestBytePattern::readsEachByteABoundedNumberOfTimes()
{
    QFETCH(QByteArray, pattern);
    QFETCH(bool, bMatchCase);
    QFETCH(std::uint32_t, nRare);
    constexpr std::uint32_t kLength = 1u << 20;
    const std::vector<std::uint8_t> bytes = EnglishLike(kLength, nRare);
    const CBytePattern scan(pattern, bMatchCase);
    const std::uint64_t nPerCall = 2 * kBlock + 2 * scan.Length();
    for (const bool bDown : {true, false}) {
        g_nRead = 0;
        std::uint64_t nCalls = 1;
        if (bDown) {
            for (std::uint32_t nAt = 0; scan.FindDown(bytes.data(), kLength, nAt, nAt); ++nAt)
                ++nCalls;
        } else {
            for (std::uint32_t nAt = kLength; nAt > 0 && scan.FindUp(bytes.data(), kLength, nAt - 1, nAt);)
                ++nCalls;
        }
        QVERIFY2(nCalls > 100, "the text holds many matches");
        QVERIFY2(g_nRead <= 3 * std::uint64_t(kLength) + nCalls * nPerCall,
                 qPrintable(QString("%1 bytes read by %2 searches over %3 bytes").arg(g_nRead).arg(nCalls).arg(kLength)));
    }
}

void TestBytePattern::foldsTheLettersOfATable_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<bool>("bMatchCase");

    const QByteArray letters = "80=A\n81=B\nA0=a\nA1=b\n20= \n";
    const QByteArray letterBytes("\x80\x81\xA0\xA1\x20\x41\x61");
    for (const bool bMatchCase : {false, true}) {
        const char* pszCase = bMatchCase ? ", match case" : "";
        QTest::addRow("one letter%s", pszCase) << letters << letterBytes << QByteArray("\xA0") << bMatchCase;
        QTest::addRow("words%s", pszCase) << letters << letterBytes << QByteArray("\x80\xA1\x20\xA0")
                                          << bMatchCase;
        // Keys of two bytes that share their bytes: 8161 and 8241 are no A.
        QTest::addRow("two-byte letters%s", pszCase) << QByteArray("8141=A\n8261=a\n41=x\n61=y\n")
                                                     << QByteArray("\x81\x82\x41\x61")
                                                     << QByteArray("\x82\x61\x41\x82\x61") << bMatchCase;
        QTest::addRow("three-byte Greek%s", pszCase) << QByteArray("818283=Ω\n818284=ω\n81=α\n82=β\n")
                                                     << QByteArray("\x81\x82\x83\x84")
                                                     << QByteArray("\x81\x82\x84\x81") << bMatchCase;
        // Three keys read as one word in any case: more than two values of
        // the first byte.
        QTest::addRow("texts of several letters%s", pszCase)
            << QByteArray("90=the\n91=The\n92=THE\n93= \n94=tHe\n") << QByteArray("\x90\x91\x92\x93\x94")
            << QByteArray("\x90\x93\x92") << bMatchCase;
        QTest::addRow("end codes fold with end codes only%s", pszCase)
            << QByteArray("/FF=END\n/FE=end\nFD=End\n80=A\n") << QByteArray("\xFF\xFE\xFD\x80")
            << QByteArray("\x80\xFE") << bMatchCase;
        QTest::addRow("kana have no case%s", pszCase) << QByteArray("80=A\nA0=あ\nA1=ア\n")
                                                      << QByteArray("\x80\xA0\xA1") << QByteArray("\xA0\x80")
                                                      << bMatchCase;
        QTest::addRow("bytes of no key%s", pszCase) << letters << letterBytes << QByteArray("\x41\xA0\x61")
                                                    << bMatchCase;
    }
}

// Every start of random bytes through a table against the plain reading of
// the table above, each start compared alone and by the scans both ways.
void TestBytePattern::foldsTheLettersOfATable()
{
    QFETCH(QByteArray, table);
    QFETCH(QByteArray, alphabet);
    QFETCH(QByteArray, pattern);
    QFETCH(bool, bMatchCase);
    CCharTable charTable;
    QVERIFY(charTable.Parse(table));
    const CBytePattern scan(pattern, bMatchCase, 936, &charTable);
    const auto n = std::uint32_t(pattern.size());
    for (const std::uint32_t nLength : {0u, 1u, 16u, 17u, 200u, 3001u}) {
        const std::vector<std::uint8_t> bytes = RandomBytes(alphabet, nLength, nLength + 7);
        std::vector<std::int64_t> starts;
        for (std::uint32_t i = 0; i + n <= nLength; ++i) {
            const bool bPlain = bMatchCase ? std::memcmp(bytes.data() + i, pattern.constData(), n) == 0
                                           : PlainTableMatch(charTable, pattern, bytes.data() + i);
            QCOMPARE(scan.MatchesAt(bytes.data(), nLength, i), bPlain);
            QCOMPARE(scan.StartsAt(bytes.data(), nLength, i), bPlain);
            if (bPlain)
                starts.push_back(i);
        }
        if (nLength > 1000 && !bMatchCase)
            QVERIFY2(starts.size() > 3, "the bytes hold matches");
        for (std::uint32_t nFrom = 0; nFrom <= nLength; ++nFrom) {
            std::uint32_t nFound = 0;
            const auto next = std::lower_bound(starts.begin(), starts.end(), std::int64_t(nFrom));
            const std::int64_t nDown = next == starts.end() ? -1 : *next;
            const bool bDown = scan.FindDown(bytes.data(), nLength, nFrom, nFound);
            QCOMPARE(bDown ? std::int64_t(nFound) : -1, nDown);
            const auto after = std::upper_bound(starts.begin(), starts.end(), std::int64_t(nFrom));
            const std::int64_t nUp = after == starts.begin() ? -1 : *(after - 1);
            const bool bUp = scan.FindUp(bytes.data(), nLength, nFrom, nFound);
            QCOMPARE(bUp ? std::int64_t(nFound) : -1, nUp);
        }
    }
}

QTEST_APPLESS_MAIN(TestBytePattern)
#include "tst_bytepattern.moc"
