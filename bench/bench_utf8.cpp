// How fast the UTF-8 check of detection reads text, against memchr reading the
// same buffer for a byte it does not hold, in the same run:
//   bench_utf8 [MiB]   (default 256; runs interleaved, best and worst of five)

#include "codepage.h"
#include "utf8.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> Fill(std::size_t nSize, const QString& text)
{
    const QByteArray unit = text.toUtf8();
    std::vector<std::uint8_t> buffer(nSize);
    for (std::size_t i = 0; i < nSize; i += std::size_t(unit.size()))
        std::memcpy(buffer.data() + i, unit.constData(), std::min(std::size_t(unit.size()), nSize - i));
    // Whole characters only: the tail is cut back to ASCII.
    std::size_t end = nSize;
    while (end > 0 && buffer[end - 1] >= 0x80)
        buffer[--end] = ' ';
    return buffer;
}

template <typename F>
double Seconds(F&& f)
{
    QElapsedTimer timer;
    timer.start();
    f();
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::size_t nSize = std::size_t(argc > 1 ? std::atoi(argv[1]) : 256) << 20;
    const struct {
        const char* name;
        QString text;
    } samples[] = {
        {"ASCII", QStringLiteral("The quick brown fox jumps over the lazy dog, 0123456789.\n")},
        {"Chinese", QStringLiteral("中文字符的文本，用于测试检测速度。繁體中文資料。\n")},
        {"mixed", QStringLiteral("name=\"メニュー\" id=42 label=\"파일 편집\" note=\"café\"\n")},
    };
    for (const auto& sample : samples) {
        const std::vector<std::uint8_t> buffer = Fill(nSize, sample.text);
        std::vector<double> ratios;
        double best = 1e9;
        bool bUtf8 = false;
        for (int run = 0; run < 5; ++run) {
            const double peer = Seconds([&] {
                if (std::memchr(buffer.data(), 0xFF, buffer.size()))
                    std::abort();
            });
            const double check = Seconds([&] { bUtf8 = IsUtf8Text(buffer.data(), buffer.size()); });
            ratios.push_back(check / peer);
            best = std::min(best, check);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("%-8s %zu MiB: %.1f GB/s, UTF-8 check / memchr %.2f (best) to %.2f (worst), %s\n", sample.name,
                    nSize >> 20, double(nSize) / best / 1e9, ratios.front(), ratios.back(),
                    bUtf8 ? "UTF-8" : "not UTF-8");
    }
    return 0;
}
