// DetectCodePage over 256 MiB in memory. GB text and ASCII text hold no pair
// that decides, so the whole buffer is scanned: their throughput is set against
// memchr over the same 256 MiB for a byte that is not there (memory speed).
// Random bytes decide within their first bytes, so dividing their length by the
// time would be meaningless; for them the time of the decision is given.
// Prints "NAME ZORBEL_GBPS MEMCHR_GBPS" per scanned buffer and
// "random-decision MICROSECONDS", each the best of five runs, the runs
// interleaved.
//   bench_detect

#include "codepage.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
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

double Gbps(const std::function<void()>& run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return kLength / (timer.nsecsElapsed() / 1e9) / 1e9;
}

} // namespace

int main()
{
    std::vector<std::uint8_t> gb = GbText();
    std::vector<std::uint8_t> ascii(gb.size());
    for (std::size_t i = 0; i < gb.size(); ++i)
        ascii[i] = std::uint8_t(0x20 + (gb[i] & 0x3F));
    std::vector<std::uint8_t> random = RandomBytes();
    gb.push_back(0xFF);
    ascii.push_back(0xFF);
    random.push_back(0xFF);
    volatile int sink = 0;
    double best[3] = {};
    double decision = 1e9;
    for (int i = 0; i < 5; ++i) {
        best[0] = std::max(best[0], Gbps([&] { sink = DetectCodePage(gb.data(), std::uint32_t(gb.size())); }));
        best[1] = std::max(best[1], Gbps([&] { sink = DetectCodePage(ascii.data(), std::uint32_t(ascii.size())); }));
        best[2] = std::max(best[2], Gbps([&] { sink = std::memchr(gb.data(), 0xFF, kLength) != nullptr; }));
        QElapsedTimer timer;
        timer.start();
        sink = DetectCodePage(random.data(), std::uint32_t(random.size()));
        decision = std::min(decision, timer.nsecsElapsed() / 1e3);
    }
    std::printf("gb %.3f %.3f\n", best[0], best[2]);
    std::printf("ascii %.3f %.3f\n", best[1], best[2]);
    std::printf("random-decision %.1f\n", decision);
    return 0;
}
