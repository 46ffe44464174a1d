// DetectCodePage over 256 MiB of GB text and of random bytes in memory, against
// memchr for a byte that is not there over the same buffer (memory speed). Prints
// a line per buffer, "NAME ZORBEL_GBPS MEMCHR_GBPS", each the best of five runs.
//   bench_detect

#include "codepage.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kLength = std::size_t(256) << 20;

// Lines of GB2312 characters with some ASCII, as bench/compare.sh makes them.
std::vector<std::uint8_t> GbText()
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kLength + 1);
    QRandomGenerator gen(7);
    while (bytes.size() < kLength) {
        for (int n = 5 + int(gen.bounded(36)); n > 0; --n) {
            if (gen.bounded(10) == 0) {
                static const char* const pieces[] = {" ", "abc", "123", ", "};
                for (const char* p = pieces[gen.bounded(4)]; *p; ++p)
                    bytes.push_back(std::uint8_t(*p));
            } else {
                bytes.push_back(std::uint8_t(0xB0 + gen.bounded(0x48)));
                bytes.push_back(std::uint8_t(0xA1 + gen.bounded(0x5E)));
            }
        }
        bytes.push_back('\r');
        bytes.push_back('\n');
    }
    bytes.resize(kLength);
    return bytes;
}

std::vector<std::uint8_t> RandomBytes()
{
    std::vector<std::uint8_t> bytes(kLength);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(bytes.data()), kLength / 4);
    return bytes;
}

template <typename F>
double BestGbps(F&& run)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return kLength / best / 1e9;
}

void Measure(const char* pszName, std::vector<std::uint8_t> bytes)
{
    bytes.push_back(0xFF);
    volatile int sink = 0;
    const double detect = BestGbps([&] { sink = DetectCodePage(bytes.data(), std::uint32_t(bytes.size())); });
    const double scan = BestGbps([&] { sink = std::memchr(bytes.data(), 0xFF, kLength) != nullptr; });
    std::printf("%s %.3f %.3f\n", pszName, detect, scan);
}

} // namespace

int main()
{
    Measure("gb", GbText());
    Measure("random", RandomBytes());
    return 0;
}
