#include "bytepattern.h"
#include "encodedsearch.h"
#include "multipattern.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <tuple>

// Find in All Encodings: the one-pass search of several patterns against one
// CBytePattern search per pattern, on random bytes made mostly of the
// patterns' own bytes (so near misses and overlapping hits are common) with
// hits planted, fed whole and in parts of many lengths.
class TestEncodedSearch : public QObject {
    Q_OBJECT

private slots:
    void matchesSingleSearches_data();
    void matchesSingleSearches();
    void skippedEncodings_data();
    void skippedEncodings();
    void equalBytesReportEveryName();
    void encodingNames_data();
    void encodingNames();
    void textAround_data();
    void textAround();
};

namespace {

struct Hit {
    std::uint64_t nOffset;
    int nPattern;
    bool operator==(const Hit& o) const { return nOffset == o.nOffset && nPattern == o.nPattern; }
    bool operator<(const Hit& o) const { return std::tie(nOffset, nPattern) < std::tie(o.nOffset, o.nPattern); }
};

char* toString(const std::vector<Hit>& hits)
{
    QByteArray text;
    for (const Hit& hit : hits)
        text += QByteArray::number(qulonglong(hit.nOffset), 16) + ':' + QByteArray::number(hit.nPattern) + ' ';
    return qstrdup(text.constData());
}

// Every occurrence of every pattern, by repeated single searches.
std::vector<Hit> SingleSearches(const CMultiPattern& patterns, const QByteArray& data)
{
    std::vector<Hit> hits;
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData());
    for (int k = 0; k < patterns.Count(); ++k) {
        const CBytePattern pattern(patterns.Bytes(k), true);
        std::uint32_t nFound = 0;
        for (std::uint32_t nFrom = 0; pattern.FindDown(p, std::uint32_t(data.size()), nFrom, nFound); nFrom = nFound + 1)
            hits.push_back({nFound, k});
    }
    std::sort(hits.begin(), hits.end());
    return hits;
}

// The search fed as a reader of a file would feed it: parts of the given
// lengths in turn read after the bytes the part before left.
void InParts(const CMultiPattern& patterns, const QByteArray& data, const QList<int>& partLengths,
             std::vector<Hit>& hits)
{
    std::vector<CPatternHit> found;
    QByteArray buffer;
    std::uint64_t nBase = 0;
    qsizetype nRead = 0;
    for (int nPart = 0; nRead < data.size() || nPart == 0; ++nPart) {
        const qsizetype nWanted = partLengths[nPart % partLengths.size()];
        buffer += data.mid(nRead, nWanted);
        nRead += nWanted;
        const bool bLast = nRead >= data.size();
        // Held exactly, so that the sanitizers see a read past what is held.
        const std::vector<std::uint8_t> held(buffer.cbegin(), buffer.cend());
        const std::uint32_t nDone = patterns.Scan(held.data(), std::uint32_t(held.size()), nBase, bLast, found);
        if (bLast)
            QCOMPARE_EQ(nDone, std::uint32_t(buffer.size()));
        QVERIFY2(bLast || buffer.size() - qsizetype(nDone) < qsizetype(patterns.MaxLength()), "keeps too much");
        buffer.remove(0, nDone);
        nBase += nDone;
    }
    for (const CPatternHit& hit : found)
        hits.push_back({hit.nOffset, hit.nPattern});
}

} // namespace

void TestEncodedSearch::matchesSingleSearches_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("partLengths");
    QTest::addColumn<int>("nLength");   // odd lengths, so that the blocks of 16 meet the end unevenly

    const QList<int> whole{1 << 20};
    QTest::newRow("two hanzi, whole") << QStringLiteral("中文") << whole << 300004;
    QTest::newRow("two hanzi, parts of 7 and 33") << QStringLiteral("中文") << QList<int>{7, 33} << 40003;
    QTest::newRow("two hanzi, parts of 1") << QStringLiteral("中文") << QList<int>{1} << 5001;
    QTest::newRow("kana, parts around 4 KiB") << QStringLiteral("ひらがな") << QList<int>{4093, 4099, 17} << 100013;
    QTest::newRow("repeated character overlaps itself") << QStringLiteral("文文文") << QList<int>{5, 64} << 60011;
    QTest::newRow("ASCII: four encodings share bytes") << QStringLiteral("aa") << QList<int>{16, 15, 17} << 50021;
    QTest::newRow("one ASCII letter") << QStringLiteral("Z") << QList<int>{3, 1000} << 50004;
    QTest::newRow("mixed, parts of 2") << QStringLiteral("A中") << QList<int>{2} << 20005;
}

void TestEncodedSearch::matchesSingleSearches()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, partLengths);
    QFETCH(int, nLength);

    const CEncodedSearch search(text);
    const CMultiPattern& patterns = search.Patterns();
    QVERIFY(patterns.Count() > 0);
    QByteArray alphabet;
    for (int k = 0; k < patterns.Count(); ++k)
        alphabet += patterns.Bytes(k);

    QRandomGenerator random(uint(qHash(text)) ^ uint(nLength));
    QByteArray data(nLength, '\0');
    for (char& b : data)
        b = random.bounded(4) == 0 ? char(random.bounded(256)) : alphabet[random.bounded(int(alphabet.size()))];
    // Plant each pattern many times, some back to back or overlapping, some
    // at the very start and end.
    for (int n = 0; n < 200; ++n) {
        const QByteArray& bytes = patterns.Bytes(random.bounded(patterns.Count()));
        const qsizetype nAt = n == 0 ? 0 : n == 1 ? data.size() - bytes.size() : random.bounded(int(data.size() - bytes.size()));
        data.replace(nAt, bytes.size(), bytes);
    }

    const std::vector<Hit> expected = SingleSearches(patterns, data);
    QVERIFY(expected.size() >= 150);
    std::vector<Hit> hits;
    InParts(patterns, data, partLengths, hits);
    QCOMPARE(hits, expected);
}

void TestEncodedSearch::skippedEncodings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("skipped");

    QTest::newRow("hanzi all hold") << QStringLiteral("中文") << QStringList();
    QTest::newRow("hangul only in Unicode") << QStringLiteral("한국") << QStringList{"GB", "BIG5", "SJIS"};
    QTest::newRow("half a surrogate pair nowhere")
        << QString(QChar(0xD800)) << QStringList{"GB", "BIG5", "SJIS", "UTF-8", "UTF-16LE", "UTF-16BE"};
    QTest::newRow("empty text nowhere") << QString() << QStringList{"GB", "BIG5", "SJIS", "UTF-8", "UTF-16LE", "UTF-16BE"};
}

void TestEncodedSearch::skippedEncodings()
{
    QFETCH(QString, text);
    QFETCH(QStringList, skipped);

    const CEncodedSearch search(text);
    QCOMPARE(search.Skipped(), skipped);
    QCOMPARE(search.Patterns().Count(), 6 - skipped.size());
}

void TestEncodedSearch::equalBytesReportEveryName()
{
    // "ab" is the same two bytes in the four byte encodings: each is reported,
    // and a pattern added afterwards (a table's, say) comes last at its offset.
    CEncodedSearch search(u"ab");
    const int nTable = search.Add(QStringLiteral("table"), QByteArray("\x01\x02", 2), 0);
    const QByteArray data("xab\x01\x02\0a\0b\0", 10);
    std::vector<CPatternHit> hits;
    search.Patterns().Scan(reinterpret_cast<const std::uint8_t*>(data.constData()), std::uint32_t(data.size()), 100,
                           true, hits);
    QStringList names;
    for (const CPatternHit& hit : hits)
        names += QString::number(hit.nOffset) + QLatin1Char(':') + search.Patterns().Name(hit.nPattern);
    QCOMPARE(names, (QStringList{"101:GB", "101:BIG5", "101:SJIS", "101:UTF-8", "103:table", "105:UTF-16BE",
                                 "106:UTF-16LE"}));
    QCOMPARE(search.CodePage(nTable), 0);
}

void TestEncodedSearch::encodingNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("nCodePage");

    QTest::newRow("GB") << "gb" << 936;
    QTest::newRow("number") << "950" << 950;
    QTest::newRow("Shift_JIS") << "Shift_JIS" << 932;
    QTest::newRow("sjis") << "SJIS" << 932;
    QTest::newRow("utf-16be") << "utf-16be" << 1201;
    QTest::newRow("unknown") << "latin1" << 0;
    QTest::newRow("a code page the search has not") << "1252" << 0;
}

void TestEncodedSearch::encodingNames()
{
    QFETCH(QString, name);
    QTEST(CEncodedSearch::EncodingFromName(name), "nCodePage");
}

void TestEncodedSearch::textAround_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("nCodePage");
    QTest::addColumn<int>("nAt");
    QTest::addColumn<QString>("text");

    // A GB pair whose lead byte stands just before the hit would pair with it
    // if the text were decoded from before the hit only.
    QTest::newRow("GB from the hit on") << QByteArray("x\xD6\xD6\xD0\n") << 936 << 2 << QStringLiteral("x.中.");
    QTest::newRow("UTF-16LE keeps the hit's parity")
        << QByteArray("\x01" "A\0B\0-N\x87" "e", 9) << 1200 << 5 << QStringLiteral("AB中文");
    QTest::newRow("UTF-16BE surrogate pair") << QByteArray("\xD8\x3D\xDE\x00", 4) << 1201 << 0 << QStringLiteral("😀");
}

void TestEncodedSearch::textAround()
{
    QFETCH(QByteArray, data);
    QFETCH(int, nCodePage);
    QFETCH(int, nAt);
    QTEST(CEncodedSearch::TextAround(nCodePage, reinterpret_cast<const std::uint8_t*>(data.constData()),
                                     std::uint64_t(data.size()), std::uint64_t(nAt), 2),
          "text");
}

QTEST_MAIN(TestEncodedSearch)
#include "tst_encodedsearch.moc"
