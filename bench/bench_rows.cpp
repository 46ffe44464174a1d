// What each step of a --dump line costs, one thread, per file: the offset
// column, the row (hex part and text column), the text column's UTF-8 after it,
// the whole line (FormatLine, the text column kept in registers), the lines
// of 16384 rows at a time with their offsets and ends as --dump's loop makes
// them (FormatLines), and the code page's detection over the whole file, in
// nanoseconds of the thread's processor time per row of 16 bytes (the machine
// may be shared).
//   bench_rows [--codepage N] [--avx512|--no-avx512] [--no-avx2] [--gather|--no-gather] FILE...
//   (best of five runs of each step; the --no options turn those fast paths of
//   the line off, to compare them with the next one the processor has;
//   --avx512 takes the AVX-512 path where the processor's maker would not; --gather and
//   --no-gather choose how the AVX-512 path looks up a double-byte row's
//   characters, by a gather or by scalar loads, instead of by the processor's maker)

#include "codepage.h"
#include "rowformat.h"
#include "textdecoder.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

double ThreadSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double BestNsPerRow(std::uint32_t nRows, const std::function<std::size_t()>& run)
{
    double best = 1e300;
    std::size_t sink = 0;
    for (int k = 0; k < 5; ++k) {
        const double start = ThreadSeconds();
        sink += run();
        best = std::min(best, (ThreadSeconds() - start) * 1e9 / nRows);
    }
    // Keeps the work from being optimised away.
    if (sink == 1)
        std::puts("");
    return best;
}

} // namespace

int main(int argc, char* argv[])
{
    int nFixedCodePage = 0;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--codepage") == 0 && a + 1 < argc) {
            nFixedCodePage = std::atoi(argv[++a]);
            continue;
        }
        if (std::strcmp(argv[a], "--no-avx512") == 0) {
            CRowFormat::AllowAvx512(false);
            continue;
        }
        if (std::strcmp(argv[a], "--avx512") == 0) {
            CRowFormat::AllowAvx512(true);
            continue;
        }
        if (std::strcmp(argv[a], "--gather") == 0 || std::strcmp(argv[a], "--no-gather") == 0) {
            CRowFormat::UseGather(argv[a][2] == 'g');
            continue;
        }
        if (std::strcmp(argv[a], "--no-avx2") == 0) {
            CRowFormat::AllowAvx2(false);
            continue;
        }
        QFile file(QString::fromLocal8Bit(argv[a]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[a]);
            return 1;
        }
        const QByteArray content = file.readAll();
        std::vector<std::uint8_t> data(content.begin(), content.end());
        data.push_back(0xFF);
        const auto nSize = std::uint32_t(data.size());
        const std::uint32_t nRows = (nSize + 15) / 16;
        const double detectStart = ThreadSeconds();
        const int nDetected = DetectCodePage(data.data(), nSize);
        const double detect = (ThreadSeconds() - detectStart) * 1e9 / nRows;
        const int nCodePage = nFixedCodePage ? nFixedCodePage : nDetected;
        const CTextDecoder decoder(nCodePage);
        std::vector<char> out(std::size_t(CRowFormat::kMaxRowLength) * 4 + 64);

        const double offset = BestNsPerRow(nRows, [&] {
            std::size_t n = 0;
            for (std::uint32_t r = 0; r < nRows; ++r) {
                CRowFormat::FormatOffset(r * 16, out.data());
                n += std::uint8_t(out[5]);
            }
            return n;
        });
        const double row = BestNsPerRow(nRows, [&] {
            std::size_t n = 0;
            bool bContinued = false;
            for (std::uint32_t r = 0; r < nRows; ++r)
                n += std::size_t(CRowFormat::FormatRow(data.data(), nSize, nCodePage, r * 16, out.data(), bContinued));
            return n;
        });
        const double text = BestNsPerRow(nRows, [&] {
            std::size_t n = 0;
            bool bContinued = false;
            for (std::uint32_t r = 0; r < nRows; ++r) {
                const int nLength = CRowFormat::FormatRow(data.data(), nSize, nCodePage, r * 16, out.data(), bContinued);
                char* pText = out.data() + CRowFormat::kHexPartLength;
                n += std::size_t(decoder.ToUtf8(pText, nLength - CRowFormat::kHexPartLength, pText) - pText);
            }
            return n;
        });
        const double line = BestNsPerRow(nRows, [&] {
            std::size_t n = 0;
            bool bContinued = false;
            for (std::uint32_t r = 0; r < nRows; ++r)
                n += std::size_t(CRowFormat::FormatLine(data.data(), nSize, r * 16, decoder, out.data(), bContinued)
                                 - out.data());
            return n;
        });
        // The lines as --dump makes them: offset, line and its end, in blocks of
        // 16384 rows into one buffer.
        constexpr std::uint32_t kBlockRows = 1u << 14;
        std::vector<char> lines(std::size_t(kBlockRows) * (18 + CRowFormat::kMaxRowLength * 3 + 16));
        const double dumpLines = BestNsPerRow(nRows, [&] {
            std::size_t n = 0;
            bool bContinued = false;
            for (std::uint32_t r = 0; r < nRows; r += kBlockRows) {
                const std::uint32_t nBlock = std::min(kBlockRows, nRows - r);
                n += std::size_t(CRowFormat::FormatLines(data.data(), nSize, r * 16, nBlock, std::uint64_t(r) * 16,
                                                         CRowFormat::OffsetColumns(nSize), decoder, lines.data(),
                                                         bContinued)
                                 - lines.data());
            }
            return n;
        });
        std::printf("%s (%d): detection %.2f, offset %.2f, row %.2f, row and UTF-8 %.2f, FormatLine %.2f, "
                    "FormatLines %.2f ns per row\n",
                    argv[a], nCodePage, detect, offset, row, text, line, dumpLines);
    }
    return 0;
}
