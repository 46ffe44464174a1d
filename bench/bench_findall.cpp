// Find in All Encodings on one core: a two-character text in six encodings,
// searched in one pass over 1 GiB held in memory, in the parts --find reads
// (4 MiB), against one memmem pass per encoding over the same buffer,
// interleaved. Two kinds of bytes: random, and GB text mixed with ASCII and
// random bytes (where the encodings' first bytes are common). Prints the best
// and the worst round of each.
//   bench_findall [MiB] [ROUNDS]
#include "encodedsearch.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

std::vector<std::uint8_t> Make(std::size_t nLength, bool bText)
{
    std::vector<std::uint8_t> data(nLength);
    QRandomGenerator random(7);
    QByteArray gb;
    for (QChar ch : QStringLiteral("中国文字测试数据日本語資料游戏文本固件版本错误信息设置选项开始结束")) {
        QByteArray bytes;
        if (CEncodedSearch::Encode(936, QStringView(&ch, 1), bytes))
            gb += bytes;
    }
    for (std::size_t i = 0; i < nLength;) {
        const quint32 kind = random.bounded(10);
        const std::size_t n = std::min<std::size_t>(nLength - i, 2 + random.bounded(40));
        for (std::size_t j = 0; j < n; ++j) {
            if (!bText || kind >= 6)
                data[i + j] = std::uint8_t(random.bounded(256));
            else if (kind < 4)
                data[i + j] = std::uint8_t(gb[qsizetype((j & ~std::size_t(1)) % std::size_t(gb.size()) + (j & 1))]);
            else
                data[i + j] = std::uint8_t('a' + random.bounded(26));
        }
        i += n;
    }
    return data;
}

std::size_t OnePass(const CMultiPattern& patterns, const std::vector<std::uint8_t>& data)
{
    constexpr std::uint32_t kPart = 1u << 22;
    std::vector<CPatternHit> hits;
    std::size_t nHits = 0;
    for (std::size_t nAt = 0; nAt < data.size();) {
        const std::size_t nLeft = data.size() - nAt;
        const bool bLast = nLeft <= kPart + patterns.MaxLength();
        const auto n = std::uint32_t(bLast ? nLeft : kPart + patterns.MaxLength() - 1);
        hits.clear();
        nAt += patterns.Scan(data.data() + nAt, n, nAt, bLast, hits);
        nHits += hits.size();
    }
    return nHits;
}

std::size_t MemmemPasses(const CMultiPattern& patterns, const std::vector<std::uint8_t>& data)
{
    std::size_t nHits = 0;
    for (int k = 0; k < patterns.Count(); ++k) {
        const QByteArray& bytes = patterns.Bytes(k);
        const auto* p = data.data();
        const auto* pEnd = p + data.size();
        while (const void* q = memmem(p, std::size_t(pEnd - p), bytes.constData(), std::size_t(bytes.size()))) {
            ++nHits;
            p = static_cast<const std::uint8_t*>(q) + 1;
        }
    }
    return nHits;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::size_t nMiB = argc > 1 ? std::size_t(std::atoi(argv[1])) : 1024;
    const int nRounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const CEncodedSearch search(u"中文");
    for (const bool bText : {false, true}) {
        const std::vector<std::uint8_t> data = Make(nMiB << 20, bText);
        double best[2] = {1e9, 1e9};
        double worst[2] = {0, 0};
        std::size_t nHits[2] = {0, 0};
        for (int r = 0; r < nRounds; ++r) {
            for (int which = 0; which < 2; ++which) {
                const double t0 = CpuSeconds();
                nHits[which] = which == 0 ? OnePass(search.Patterns(), data) : MemmemPasses(search.Patterns(), data);
                const double t = CpuSeconds() - t0;
                best[which] = std::min(best[which], t);
                worst[which] = std::max(worst[which], t);
            }
        }
        const double gb = double(data.size()) / 1e9;
        std::printf("%s, %zu MiB: one pass %.3f-%.3f s (%.2f GB/s best), six memmem passes %.3f-%.3f s; hits %zu and %zu\n",
                    bText ? "GB text mix" : "random", nMiB, best[0], worst[0], gb / best[0], best[1], worst[1],
                    nHits[0], nHits[1]);
    }
    return 0;
}
