// Undo against its peer, both timed in every round:
// - Undo of a Replace All of 10,000 occurrences in 64 MiB of random bytes,
//   against that Replace All; and the history's memory after the Replace All
//   (its own count and the heap it took), against the document's size;
// - Undo of one byte typed at the start of 256 MiB, with the repaint, against
//   one memmove of a 256 MiB buffer by one byte, which of the two goes first
//   alternating by round.
// Prints the median and the range of every time and of the ratios.
//   bench_undo [ROUNDS]   (7 by default)

#include "afxres.h"
#include "hexdoc.h"
#include "hexview.h"
#include "viewwindow.h"

#include <QApplication>
#include <QKeyEvent>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Undo(Window& w)
{
    w.pView->OnCmdMsg(ID_EDIT_UNDO, nullptr);
}

// The figures of one measure over the rounds.
struct Spread {
    std::vector<double> values;

    double Median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    QByteArray Text(double scale, const char* unit) const
    {
        const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
        return QString::asprintf("%.3g%s [%.3g-%.3g]", Median() * scale, unit, *lo * scale, *hi * scale).toUtf8();
    }
};

std::size_t HeapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void UndoReplaceAll(int nRounds)
{
    constexpr std::uint32_t kLength = 64u << 20;
    constexpr std::uint32_t kCount = 10000;
    const std::uint8_t find[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    Window w(kLength, -1, [&](std::uint8_t* pData) {
        for (std::uint32_t i = 0; i < kCount; ++i)
            std::memcpy(pData + std::uint64_t(i) * (kLength / kCount), find, 4);
    });
    const QByteArray original(reinterpret_cast<const char*>(w.doc.Data()), qsizetype(w.doc.GetSize()));

    Spread replace;
    Spread undo;
    Spread ratio;
    std::uint64_t nCost = 0;
    std::size_t nHeap = 0;
    int nWrong = 0;
    for (int i = 0; i < nRounds; ++i) {
        // A fresh copy, whose history holds no step to redo.
        w.doc.SetContents(QByteArray(original.constData(), original.size() - 1));
        w.pView->MoveCaretTo(0);
        const std::size_t nHeapBefore = HeapBytes();
        const double r = Seconds(
            [&] { w.pView->ReplaceAll(QStringLiteral("DE AD BE EF"), QStringLiteral("01 02 03"), true); });
        nHeap = HeapBytes() - nHeapBefore;
        nCost = w.doc.History().Cost();
        const double u = Seconds([&] { Undo(w); });
        nWrong += w.doc.GetSize() != std::uint32_t(original.size())
            || std::memcmp(w.doc.Data(), original.constData(), std::size_t(original.size())) != 0;
        replace.values.push_back(r);
        undo.values.push_back(u);
        ratio.values.push_back(u / r);
    }
    std::printf("Replace All of %u occurrences in 64 MiB: %s; its undo %s; undo / Replace All %s x (goal <= 1)%s\n",
                kCount, replace.Text(1e3, " ms").constData(), undo.Text(1e3, " ms").constData(),
                ratio.Text(1, "").constData(), nWrong ? "  WRONG BYTES AFTER UNDO" : "  (bytes back as they were)");
    std::printf("history after the Replace All: %llu bytes by its count, heap growth %zu bytes "
                "(%u offsets x 4 + %u x 4 removed bytes + 3 inserted = %u); the document is %u bytes\n",
                static_cast<unsigned long long>(nCost), nHeap, kCount, kCount, kCount * 8 + 3, kLength);
}

void UndoTypedByte(int nRounds)
{
    constexpr std::uint32_t kLength = 256u << 20;
    Window w(kLength);
    CHexView* v = w.pView.get();
    v->m_bHexColumn = false;
    std::unique_ptr<std::uint8_t[]> pCopy(new std::uint8_t[kLength + 2]);
    std::memcpy(pCopy.get(), w.doc.Data(), kLength + 1);
    const std::uint8_t first = w.doc.Data()[0];

    Spread undo;
    Spread move;
    Spread ratio;
    int nWrong = 0;
    for (int i = 0; i < nRounds; ++i) {
        v->m_nCaretPos = 0;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(v, &press);
        w.Repaint();
        const auto memmove = [&] { return Seconds([&] { std::memmove(pCopy.get() + 1, pCopy.get(), kLength); }); };
        const auto undoAndPaint = [&] {
            return Seconds([&] {
                Undo(w);
                w.Repaint();
            });
        };
        double m = 0;
        double u = 0;
        if (i % 2) {
            m = memmove();
            u = undoAndPaint();
        } else {
            u = undoAndPaint();
            m = memmove();
        }
        nWrong += w.doc.GetSize() != kLength + 1 || w.doc.Data()[0] != first;
        undo.values.push_back(u);
        move.values.push_back(m);
        ratio.values.push_back(u / m);
    }
    std::printf("undo of one byte typed at the start of 256 MiB, with the repaint: %s; memmove of 256 MiB by one "
                "byte %s; undo / memmove %s x (goal <= 2)%s\n",
                undo.Text(1e3, " ms").constData(), move.Text(1e3, " ms").constData(), ratio.Text(1, "").constData(),
                nWrong ? "  WRONG BYTES AFTER UNDO" : "");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int nRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::printf("%d rounds; median [range]\n", nRounds);
    UndoReplaceAll(nRounds);
    UndoTypedByte(nRounds);
    return 0;
}
