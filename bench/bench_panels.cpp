// The dock panels in the whole program on the offscreen platform, 1 GiB files:
// - inspector: caret moves with the Data Inspector shown and hidden, taking
//   turns: Page Down held (each key handled and painted before the next, as
//   a held key's repeats are) and Ctrl+End / Ctrl+Home, each with its paint.
// - strings FILE: from the document's window being open to the first rows of
//   the Strings list painted, the whole scan's time, and the longest the
//   event loop went without turning while the scan ran, in wall time and in
//   the processor time of the window's thread (which other programs on a
//   busy machine do not lengthen).
//   bench_panels inspector [ROUNDS]
//   bench_panels strings FILE

#include "datavaluespanel.h"
#include "hexview.h"
#include "mainwindow.h"
#include "stringspanel.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    int nPaints = 0;
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint)
            ++nPaints;
        return false;
    }
};

// The key sent to the view, then the event loop turned until the rows painted.
void KeyAndPaint(CHexView* pView, PaintCounter& counter, int nKey, Qt::KeyboardModifiers modifiers)
{
    const int nBefore = counter.nPaints;
    QKeyEvent press(QEvent::KeyPress, nKey, modifiers);
    QApplication::sendEvent(pView, &press);
    QKeyEvent release(QEvent::KeyRelease, nKey, modifiers);
    QApplication::sendEvent(pView, &release);
    while (counter.nPaints == nBefore)
        QApplication::processEvents(QEventLoop::AllEvents);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

using App = MainWindowApp;

int Inspector(int nRounds)
{
    const QString path = QDir::temp().filePath(QStringLiteral("zorbel_bench_panels.bin"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, 'a');
        for (int i = 0; i < 1024; ++i) {
            block[i % block.size()] = char(0xA1 + i % 90);
            file.write(block);
        }
    }
    App app({path});
    if (!app.pFrame)
        return 1;
    auto* pView = qobject_cast<CHexView*>(app.pFrame->GetActiveView());
    PaintCounter counter;
    pView->viewport()->installEventFilter(&counter);
    constexpr int kPages = 100;
    std::vector<double> pages[2], jumps[2];
    for (int round = 0; round < 2 * nRounds; ++round) {
        const int nShown = round % 2;
        app.pFrame->Inspector()->setVisible(nShown != 0);
        // Back to the start (no paint when the caret is there already).
        QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
        QApplication::sendEvent(pView, &home);
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kPages; ++i)
            KeyAndPaint(pView, counter, Qt::Key_PageDown, Qt::NoModifier);
        pages[nShown].push_back(timer.nsecsElapsed() / 1e6 / kPages);
        timer.start();
        for (int i = 0; i < 10; ++i) {
            KeyAndPaint(pView, counter, Qt::Key_End, Qt::ControlModifier);
            KeyAndPaint(pView, counter, Qt::Key_Home, Qt::ControlModifier);
        }
        jumps[nShown].push_back(timer.nsecsElapsed() / 1e6 / 20);
    }
    for (int nShown = 0; nShown < 2; ++nShown) {
        std::printf("inspector %s: Page Down with its paint, median %.2f ms (%.2f-%.2f); Ctrl+End or Ctrl+Home "
                    "with its paint, median %.2f ms (%.2f-%.2f)\n",
                    nShown ? "shown " : "hidden", Median(pages[nShown]),
                    *std::min_element(pages[nShown].begin(), pages[nShown].end()),
                    *std::max_element(pages[nShown].begin(), pages[nShown].end()), Median(jumps[nShown]),
                    *std::min_element(jumps[nShown].begin(), jumps[nShown].end()),
                    *std::max_element(jumps[nShown].begin(), jumps[nShown].end()));
    }
    std::printf("shown against hidden: Page Down %.3f x, Ctrl+End/Home %.3f x\n", Median(pages[1]) / Median(pages[0]),
                Median(jumps[1]) / Median(jumps[0]));
    QFile::remove(path);
    return 0;
}

int Strings(const QString& path)
{
    App app({});
    if (!app.pFrame)
        return 1;
    CStringsPanel* pPanel = app.pFrame->StringsPanel();
    pPanel->show();
    QApplication::processEvents();
    QElapsedTimer open;
    open.start();
    if (!app.app.OpenDocumentFile(path))
        return 1;
    const double opened = open.nsecsElapsed() / 1e9;
    // From here: the window is open with its document loaded.
    QElapsedTimer timer;
    timer.start();
    PaintCounter counter;
    pPanel->Table()->viewport()->installEventFilter(&counter);
    double first = 0;
    while (first == 0) {
        QApplication::processEvents(QEventLoop::AllEvents);
        if (pPanel->Table()->model()->rowCount() > 0 && counter.nPaints > 0) {
            counter.nPaints = 0;
            // The paint that shows the rows.
            while (counter.nPaints == 0)
                QApplication::processEvents(QEventLoop::AllEvents);
            first = timer.nsecsElapsed() / 1e9;
        }
    }
    // The event loop's longest gap while the scan runs.
    LoopGaps gaps;
    gaps.Start();
    while (pPanel->IsScanning())
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    gaps.Stop();
    const double all = timer.nsecsElapsed() / 1e9;
    std::printf("strings panel, %s: open %.3f s; first rows painted %.3f s after; whole scan %.2f s, %d rows shown; "
                "longest turn of the event loop during the scan %.1f ms, %.1f ms of its thread's processor time\n",
                qPrintable(path), opened, first, all, pPanel->Table()->model()->rowCount(), gaps.LongestMs(),
                gaps.LongestBusyMs());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "strings") == 0)
        return Strings(QString::fromLocal8Bit(argv[2]));
    if (argc > 1 && qstrcmp(argv[1], "inspector") == 0)
        return Inspector(argc > 2 ? std::max(1, atoi(argv[2])) : 5);
    std::fprintf(stderr, "usage: bench_panels inspector [ROUNDS] | bench_panels strings FILE\n");
    return 2;
}
