// Find Next for an 8-byte pattern that does not occur in 1 GiB of random bytes,
// down from the start and up from the end, with and without Match case; then
// Replace All of 10,000 occurrences in 64 MiB. Each figure is the best of three.
//   bench_find
// With a file, one timed run over its bytes, for bench/compare.sh to set
// against sed and memmem over the same file:
//   bench_find replace FILE FIND REPLACE [matchcase]   Replace All from offset 0
//   bench_find find FILE FIND                          Find Next down from 0, then
//                                                      memmem over the same bytes
//   bench_find pieces FILE FIND [ROUNDS]               Find Next down from 0 in the
//                                                      file opened (held as pieces
//                                                      past 32 MiB) and in the same
//                                                      bytes held whole, in turns
// FIND and REPLACE are hexadecimal, as typed into the dialog ("CD CD 00"). The
// first two print "seconds ZORBEL_S [MEMMEM_S]" and what was found or replaced.

#include "beep.h"
#include "hexdoc.h"
#include "hexview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// A document of nLength random bytes, shown in a view that is never painted.
struct Window {
    CHexDoc doc;
    std::unique_ptr<CHexView> pView = std::make_unique<CHexView>();

    // plant, when given, writes into the bytes before the document takes them.
    explicit Window(std::uint32_t nLength, const std::function<void(std::uint8_t*)>& plant = {})
    {
        std::uint8_t* pData = CHexDoc::AllocBuffer(nLength + 1);
        std::uint64_t x = 0x9E3779B97F4A7C15ull;
        for (std::uint32_t i = 0; i + 8 <= nLength; i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(pData + i, &x, 8);
        }
        std::memset(pData + (nLength & ~7u), 0, nLength & 7u);
        pData[nLength] = 0xFF;
        if (plant)
            plant(pData);
        doc.AdoptBuffer(pData, nLength + 1);
        Show();
    }

    // The bytes of a file, read in parts into a buffer the document takes.
    explicit Window(const char* pszPath)
    {
        QFile file(QString::fromLocal8Bit(pszPath));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "bench_find: cannot read %s\n", pszPath);
            std::exit(2);
        }
        const auto nLength = std::uint32_t(file.size());
        std::uint8_t* pData = CHexDoc::AllocBuffer(nLength + 1);
        for (std::uint32_t nDone = 0; nDone < nLength;) {
            const qint64 got = file.read(reinterpret_cast<char*>(pData) + nDone, std::min(nLength - nDone, 1u << 24));
            if (got <= 0)
                std::exit(2);
            nDone += std::uint32_t(got);
        }
        pData[nLength] = 0xFF;
        doc.AdoptBuffer(pData, nLength + 1);
        Show();
    }

    // The file opened as the program opens it.
    explicit Window(const QString& path)
    {
        if (!doc.OnOpenDocument(path)) {
            std::fprintf(stderr, "bench_find: cannot open %s\n", qPrintable(path));
            std::exit(2);
        }
        Show();
    }

    void Show()
    {
        pView->AttachDocument(&doc);
        pView->Create();
        pView->resize(800, 600);
        pView->OnInitialUpdate();
    }
};

double BestSeconds(const std::function<void()>& prepare, const std::function<void()>& run)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

double Seconds(const std::function<void()>& run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return timer.nsecsElapsed() / 1e9;
}

// One Replace All or Find over a file, for bench/compare.sh.
int RunOnFile(int argc, char* argv[])
{
    const bool bReplace = qstrcmp(argv[1], "replace") == 0;
    if (argc < (bReplace ? 5 : 4))
        return 2;
    Window w(argv[2]);
    const QString strFind = QString::fromLatin1(argv[3]);
    const std::uint32_t nLength = w.doc.GetLength();
    if (bReplace) {
        const QString strReplace = QString::fromLatin1(argv[4]);
        const bool bMatchCase = argc > 5 && qstrcmp(argv[5], "matchcase") == 0;
        const double s = Seconds([&] { w.pView->ReplaceAll(strFind, strReplace, bMatchCase); });
        std::printf("seconds %.4f\n", s);
        std::printf("length %u -> %u\n", nLength, w.doc.GetLength());
        return 0;
    }
    const double s = Seconds([&] { w.pView->FindNext(strFind, true, true); });
    const std::uint32_t nFound = w.pView->GetSelection().Anchor();
    const QByteArray find = QByteArray::fromHex(argv[3]);
    const void* pPeer = nullptr;
    const double peer = Seconds([&] { pPeer = memmem(w.doc.Data(), nLength, find.constData(), std::size_t(find.size())); });
    const std::int64_t nPeer = pPeer ? static_cast<const std::uint8_t*>(pPeer) - w.doc.Data() : -1;
    std::printf("seconds %.4f %.4f\n", s, peer);
    std::printf("found %u, memmem %lld\n", nFound, static_cast<long long>(nPeer));
    return 0;
}

// Find Next over a file held as pieces against the same bytes held whole,
// taking turns, for the cost of reading through the pieces.
int RunPieces(int argc, char* argv[])
{
    if (argc < 4)
        return 2;
    const int nRounds = argc > 4 ? std::atoi(argv[4]) : 5;
    const QString strFind = QString::fromLatin1(argv[3]);
    Window pieces{QString::fromLocal8Bit(argv[2])};
    Window whole(argv[2]);
    std::printf("held as pieces: %s\n", pieces.doc.IsPieceMode() ? "yes" : "no");
    for (int i = 0; i < nRounds; ++i) {
        const auto run = [&](Window& w) {
            w.pView->MoveCaretTo(0);
            return Seconds([&] { w.pView->FindNext(strFind, true, true); });
        };
        const double sPieces = run(pieces);
        const double sWhole = run(whole);
        std::printf("round %d: pieces %.3f s, whole %.3f s, whole / pieces %.2f\n", i + 1, sPieces, sWhole,
                    sWhole / sPieces);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int nBeeps = 0;
    AfxSetBeepHook([&](unsigned) { ++nBeeps; });
    if (argc > 1 && (qstrcmp(argv[1], "replace") == 0 || qstrcmp(argv[1], "find") == 0))
        return RunOnFile(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "pieces") == 0)
        return RunPieces(argc, argv);

    {
        constexpr std::uint32_t kLength = 1u << 30;
        Window w(kLength);
        // Starts with the letter q, so that without Match case both of its cases are looked for.
        const QString strPattern = QStringLiteral("71 17 C3 9E 01 F0 77 2B");
        for (const bool bMatchCase : {true, false}) {
            for (const bool bDown : {true, false}) {
                nBeeps = 0;
                const std::uint32_t nStart = bDown ? 0 : kLength - 1;
                const double s = BestSeconds([&] { w.pView->MoveCaretTo(nStart); },
                                             [&] { w.pView->FindNext(strPattern, bDown, bMatchCase); });
                std::printf("Find Next %-4s %-18s 1 GiB: %6.3f s  %5.2f GB/s  (%s)\n", bDown ? "down" : "up",
                            bMatchCase ? "match case" : "ignoring case", s, kLength / s / 1e9,
                            nBeeps == 3 ? "not found, beeped" : "UNEXPECTED RESULT");
            }
        }
        // The backward scan must give what trying every start from 0 up and keeping
        // the last hit gives: the greatest match at or before the anchor.
        // Each after a space: the Q must stand alone, since a letter that is the
        // trail byte of a double-byte character in the code page guessed for
        // the random bytes is compared exactly.
        const std::uint8_t planted[9] = {0x20, 0x51, 0x17, 0xC3, 0x9E, 0x01, 0xF0, 0x77, 0x2B};
        for (const std::uint32_t nAt : {std::uint32_t(100), kLength / 2, kLength - 8})
            w.doc.ReplaceBytes(nAt - 1, 9, planted, 9, {});
        w.pView->MoveCaretTo(kLength - 9);
        w.pView->FindNext(strPattern, false, false);
        std::printf("Find Next up from the end: %s\n",
                    w.pView->GetSelection().Anchor() == kLength / 2 ? "greatest match before the anchor" : "WRONG MATCH");
    }

    {
        constexpr std::uint32_t kLength = 64u << 20;
        constexpr std::uint32_t kCount = 10000;
        const std::uint8_t find[4] = {0xDE, 0xAD, 0xBE, 0xEF};
        Window w(kLength, [&](std::uint8_t* pData) {
            for (std::uint32_t i = 0; i < kCount; ++i)
                std::memcpy(pData + std::uint64_t(i) * (kLength / kCount), find, 4);
        });
        std::unique_ptr<std::uint8_t[]> pOriginal(new std::uint8_t[w.doc.GetSize()]);
        std::memcpy(pOriginal.get(), w.doc.Data(), w.doc.GetSize());
        const std::uint32_t nOriginalSize = w.doc.GetSize();
        const double s = BestSeconds(
            [&] {
                std::uint8_t* pData = CHexDoc::AllocBuffer(nOriginalSize);
                std::memcpy(pData, pOriginal.get(), nOriginalSize);
                w.doc.AdoptBuffer(pData, nOriginalSize);
                w.pView->MoveCaretTo(0);
            },
            [&] { w.pView->ReplaceAll(QStringLiteral("DE AD BE EF"), QStringLiteral("01 02 03"), true); });
        // What replacing them one by one from the start leaves: the random bytes
        // hold no other occurrence, so each planted one becomes 01 02 03 in place.
        QByteArray expected;
        expected.reserve(qsizetype(nOriginalSize));
        const char* pOld = reinterpret_cast<const char*>(pOriginal.get());
        for (std::uint32_t i = 0; i < kCount; ++i) {
            const std::uint32_t nAt = i * (kLength / kCount);
            expected.append("\x01\x02\x03", 3);
            const std::uint32_t nNext = i + 1 < kCount ? nAt + kLength / kCount : nOriginalSize;
            expected.append(pOld + nAt + 4, qsizetype(nNext - nAt - 4));
        }
        const bool bRight = w.doc.GetSize() == std::uint32_t(expected.size())
            && std::memcmp(w.doc.Data(), expected.constData(), size_t(expected.size())) == 0;
        std::printf("Replace All of %u occurrences in 64 MiB: %6.3f s  (%s)\n", kCount, s,
                    bRight ? "same bytes as one by one" : "WRONG RESULT");
    }
    return 0;
}
