#include "relativesearch.h"

#include <QRandomGenerator>
#include <QTest>

#include <tuple>

// Relative search: words planted at random bases in random bytes, in each
// width, found with their bases; the hits checked against a slow rule that
// reads every start's codes and compares their distances; and the table a hit
// makes.
class TestRelativeSearch : public QObject {
    Q_OBJECT

private slots:
    void plantedWords_data();
    void plantedWords();
    void problems_data();
    void problems();
    void table_data();
    void table();
};

namespace {

struct Hit {
    std::uint64_t nOffset;
    int width;
    std::uint32_t nFirst;
    bool operator==(const Hit& o) const { return std::tie(nOffset, width, nFirst) == std::tie(o.nOffset, o.width, o.nFirst); }
};

char* toString(const std::vector<Hit>& hits)
{
    QByteArray text;
    for (const Hit& hit : hits)
        text += QByteArray::number(qulonglong(hit.nOffset), 16) + '/' + QByteArray::number(hit.width) + '='
            + QByteArray::number(hit.nFirst, 16) + ' ';
    return qstrdup(text.constData());
}

int Code(const QByteArray& data, qsizetype i, int width)
{
    const auto b0 = int(std::uint8_t(data[i]));
    if (width == CRelativeHit::OneByte)
        return b0;
    const auto b1 = int(std::uint8_t(data[i + 1]));
    return width == CRelativeHit::TwoByteBe ? b0 * 256 + b1 : b1 * 256 + b0;
}

std::vector<Hit> Oracle(const QByteArray& data, const QString& word, bool bTwoByte)
{
    const QList<uint> letters = word.toUcs4();
    std::vector<Hit> hits;
    for (qsizetype i = 0; i < data.size(); ++i) {
        for (int width = 0; width < (bTwoByte ? 3 : 1); ++width) {
            const int nStep = width == CRelativeHit::OneByte ? 1 : 2;
            if (i + nStep * letters.size() > data.size())
                continue;
            bool bMatch = true;
            for (qsizetype j = 1; j < letters.size() && bMatch; ++j)
                bMatch = Code(data, i + j * nStep, width) - Code(data, i, width) == int(letters[j]) - int(letters[0]);
            if (bMatch)
                hits.push_back({std::uint64_t(i), width, std::uint32_t(Code(data, i, width))});
        }
    }
    return hits;
}

QByteArray CodesOf(const QString& word, int nFirst, int width)
{
    const QList<uint> letters = word.toUcs4();
    QByteArray bytes;
    for (uint ch : letters) {
        const int nCode = nFirst + int(ch) - int(letters[0]);
        if (width == CRelativeHit::OneByte) {
            bytes += char(nCode);
        } else {
            const char hi = char(nCode >> 8);
            const char lo = char(nCode & 0xFF);
            bytes += width == CRelativeHit::TwoByteBe ? hi : lo;
            bytes += width == CRelativeHit::TwoByteBe ? lo : hi;
        }
    }
    return bytes;
}

} // namespace

void TestRelativeSearch::plantedWords_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("bTwoByte");
    QTest::addColumn<int>("nPart");

    QTest::newRow("DRAGON, bytes, whole") << "DRAGON" << false << (1 << 20);
    QTest::newRow("DRAGON, all widths, parts of 5") << "DRAGON" << true << 5;
    QTest::newRow("katakana, all widths, parts of 64") << QStringLiteral("ドラゴン") << true << 64;
    QTest::newRow("hiragana and digits") << QStringLiteral("あ1") << true << 1000;
    QTest::newRow("lower case, parts of 1") << "sword" << false << 1;
}

void TestRelativeSearch::plantedWords()
{
    QFETCH(QString, word);
    QFETCH(bool, bTwoByte);
    QFETCH(int, nPart);

    const CRelativeSearch search(word, bTwoByte);
    QVERIFY2(search.IsValid(), qPrintable(search.Problem()));
    QRandomGenerator random(uint(qHash(word)) + uint(nPart));
    QByteArray data(20000, '\0');
    for (char& b : data)
        b = char(random.bounded(256));
    // The letters' codes lie from nLow to nHigh away from the first letter's.
    const QList<uint> letters = word.toUcs4();
    int nLow = 0;
    int nHigh = 0;
    for (uint ch : letters) {
        nLow = std::min(nLow, int(ch) - int(letters[0]));
        nHigh = std::max(nHigh, int(ch) - int(letters[0]));
    }
    std::vector<Hit> planted;
    for (int n = 0; n < 40; ++n) {
        int width = bTwoByte ? n % 3 : CRelativeHit::OneByte;
        if (width == CRelativeHit::OneByte && nHigh - nLow > 0xFF)
            width = CRelativeHit::TwoByteBe;
        const int nMax = width == CRelativeHit::OneByte ? 0xFF : 0xFFFF;
        const int nFirst = -nLow + random.bounded(nMax + 1 - (nHigh - nLow));
        const QByteArray codes = CodesOf(word, nFirst, width);
        const qsizetype nAt = qsizetype(n) * 500 + random.bounded(400);
        data.replace(nAt, codes.size(), codes);
        planted.push_back({std::uint64_t(nAt), width, std::uint32_t(nFirst)});
    }

    std::vector<CRelativeHit> found;
    QByteArray buffer;
    std::uint64_t nBase = 0;
    for (qsizetype nRead = 0; nRead < data.size();) {
        buffer += data.mid(nRead, nPart);
        nRead += nPart;
        const std::uint32_t nDone = search.Scan(reinterpret_cast<const std::uint8_t*>(buffer.constData()),
                                                std::uint32_t(buffer.size()), nBase, nRead >= data.size(), found);
        buffer.remove(0, nDone);
        nBase += nDone;
    }
    std::vector<Hit> hits;
    for (const CRelativeHit& hit : found)
        hits.push_back({hit.nOffset, hit.width, hit.nFirst});
    QCOMPARE(hits, Oracle(data, word, bTwoByte));
    for (const Hit& hit : planted)
        QVERIFY2(std::find(hits.begin(), hits.end(), hit) != hits.end(), toString({hit}));
}

void TestRelativeSearch::problems_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("problem");

    QTest::newRow("one letter") << "A" << "A relative search needs a word of two letters or more.";
    QTest::newRow("all the same") << QStringLiteral("ああ") << "A relative search needs two different letters.";
    QTest::newRow("a space") << "NEW GAME" << "  is no letter of A-Z, a-z, 0-9, hiragana or katakana.";
    QTest::newRow("hanzi") << QStringLiteral("中文") << QStringLiteral("中 is no letter of A-Z, a-z, 0-9, hiragana or katakana.");
}

void TestRelativeSearch::problems()
{
    QFETCH(QString, word);
    QTEST(CRelativeSearch(word).Problem(), "problem");
}

void TestRelativeSearch::table_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("width");
    QTest::addColumn<uint>("nFirst");
    QTest::addColumn<QStringList>("lines");   // some of the lines, in order
    QTest::addColumn<int>("nLines");

    QTest::newRow("DRAGON with D at 0x83") << "DRAGON" << int(CRelativeHit::OneByte) << 0x83u
                                            << QStringList{"80=A", "83=D", "99=Z"} << 26;
    // Letters whose codes would fall below 0 or past 0xFF are left out.
    QTest::newRow("codes near the ends") << "CAT" << int(CRelativeHit::OneByte) << 0x01u
                                          << QStringList{"00=B", "18=Z"} << 25;
    QTest::newRow("two alphabets") << "R2" << int(CRelativeHit::OneByte) << 0xF0u
                                    << QStringList{"DF=A", "F8=Z", "CE=0", "D7=9"} << 36;
    QTest::newRow("little endian keys in file order") << QStringLiteral("カナ") << int(CRelativeHit::TwoByteLe)
                                                       << 0x1234u << QStringList{"2A12=ァ", "3412=カ"} << 90;
    QTest::newRow("big endian") << "ab" << int(CRelativeHit::TwoByteBe) << 0x0100u
                                << QStringList{"0100=a", "0119=z"} << 26;
}

void TestRelativeSearch::table()
{
    QFETCH(QString, word);
    QFETCH(int, width);
    QFETCH(uint, nFirst);
    QFETCH(QStringList, lines);
    QFETCH(int, nLines);

    const CRelativeSearch search(word, true);
    const QStringList table = search.TableText({0, CRelativeHit::Width(width), nFirst}).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(table.size(), nLines);
    qsizetype nAt = 0;
    for (const QString& line : lines) {
        nAt = table.indexOf(line, nAt);
        QVERIFY2(nAt >= 0, qPrintable(line));
    }
}

QTEST_MAIN(TestRelativeSearch)
#include "tst_relativesearch.moc"
