// The hex view on the offscreen platform:
// - a full repaint of the first and of the last screen of 1 GiB of random bytes
//   shown in the GB code page, the last screen both before anything near it was
//   painted (the pairing up to it is not yet known) and again;
// - typing one byte at the start of 256 MiB, including the repaint, against one
//   memmove of a 256 MiB buffer by one byte, and the peak memory a run of edits
//   (typing, Delete, Cut, Paste) takes beyond the document.
// - far jumps in 1 GiB of 0xCD, a GB lead byte that pairs with itself: the
//   first Ctrl+End with its repaint, and the same after typing a byte at offset 0,
//   against a repaint of the first screen.
// Each time is the best of several runs, but a first Ctrl+End happens once.
//   bench_view [farjump]   (farjump: the far jumps alone)

#include "afxres.h"
#include "hexdoc.h"
#include "hexview.h"
#include "viewwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void RepaintFirstAndLast()
{
    constexpr std::uint32_t kLength = 1u << 30;
    Window w(kLength);
    CHexView* v = w.pView.get();
    v->OnVScroll(SB_TOP, 0, nullptr);
    const double first = BestSeconds(10, [&] { w.Repaint(); });
    v->OnVScroll(SB_BOTTOM, 0, nullptr);
    const double cold = Seconds([&] { w.Repaint(); });
    const double last = BestSeconds(10, [&] { w.Repaint(); });
    std::printf("repaint, 1 GiB GB text: first screen %.2f ms, last screen %.2f ms (%.2f x), "
                "last screen never painted near before %.2f ms\n",
                first * 1e3, last * 1e3, last / first, cold * 1e3);
}

void TypeAtTheStart()
{
    constexpr std::uint32_t kLength = 256u << 20;
    Window w(kLength);
    CHexView* v = w.pView.get();

    const long nBefore = PeakKiB();
    v->m_bHexColumn = false;
    const double type = BestSeconds(5, [&] {
        v->m_nCaretPos = 0;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(v, &press);
        w.Repaint();
    });

    // More edits of every kind: overwrite, Delete, Cut and Paste of 1 MiB.
    v->m_nCaretPos = 0;
    QKeyEvent insert(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
    QApplication::sendEvent(v, &insert);
    const double overwrite = BestSeconds(5, [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Y, Qt::NoModifier, QStringLiteral("y"));
        QApplication::sendEvent(v, &press);
        w.Repaint();
    });
    const double del = BestSeconds(5, [&] {
        v->m_nCaretPos = 0;
        v->OnCmdMsg(ID_EDIT_CLEAR, nullptr);
        w.Repaint();
    });
    const double cut = Seconds([&] {
        v->SelectRange(16, 16 + (1u << 20));
        v->OnCmdMsg(ID_EDIT_CUT, nullptr);
        w.Repaint();
    });
    const double paste = Seconds([&] {
        v->m_nCaretPos = 0;
        v->OnCmdMsg(ID_EDIT_PASTE, nullptr);
        w.Repaint();
    });
    const long nGrowth = PeakKiB() - nBefore;

    // One memmove of the whole buffer by one byte, the move an insertion makes;
    // after the edits, so that its buffer does not hide their peak.
    std::unique_ptr<std::uint8_t[]> pCopy(new std::uint8_t[kLength + 2]);
    std::memcpy(pCopy.get(), w.doc.Data(), kLength + 1);
    const double move = BestSeconds(5, [&] { std::memmove(pCopy.get() + 1, pCopy.get(), kLength); });
    std::printf("memmove of 256 MiB by one byte %.1f ms; typing one byte at the start of 256 MiB with the repaint "
                "%.1f ms (%.2f x)\n",
                move * 1e3, type * 1e3, type / move);
    std::printf("overwrite %.3f ms, Delete %.1f ms, Cut 1 MiB %.1f ms, Paste 1 MiB %.1f ms; "
                "peak memory beyond the document during the edits %ld MiB (one more buffer: 256 MiB)\n",
                overwrite * 1e3, del * 1e3, cut * 1e3, paste * 1e3, nGrowth / 1024);
}

void Key(CHexView* v, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(v, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(v, &release);
}

void FarJumps()
{
    constexpr std::uint32_t kLength = 1u << 30;
    Window w(kLength, 0xCD);
    CHexView* v = w.pView.get();
    const double first = BestSeconds(10, [&] { w.Repaint(); });
    // The key's handling and the repaint after it, timed apart.
    double key = 0;
    const auto jump = [&] {
        key = Seconds([&] { Key(v, Qt::Key_End, Qt::ControlModifier); });
        return key + Seconds([&] { w.Repaint(); });
    };
    const double end = jump();
    const double endKey = key;
    Key(v, Qt::Key_Home, Qt::ControlModifier);
    w.Repaint();
    v->m_bHexColumn = false;
    Key(v, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    w.Repaint();
    const double afterTyping = jump();
    std::printf("far jump, 1 GiB of 0xCD: first Ctrl+End %.2f ms (the key %.2f ms, the repaint %.2f ms), Ctrl+End "
                "after typing at offset 0 %.2f ms (the key %.2f ms, the repaint %.2f ms); first screen %.2f ms\n",
                end * 1e3, endKey * 1e3, (end - endKey) * 1e3, afterTyping * 1e3, key * 1e3, (afterTyping - key) * 1e3,
                first * 1e3);
    // The same for bench/compare.sh.
    std::printf("farjump %.3f %.3f %.3f\n", end * 1e3, afterTyping * 1e3, first * 1e3);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "farjump") == 0) {
        FarJumps();
        return 0;
    }
    // The smaller document first, so that the larger one's memory does not hide
    // the peak of its edits.
    TypeAtTheStart();
    RepaintFirstAndLast();
    FarJumps();
    return 0;
}
