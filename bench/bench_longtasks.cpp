// Find, F3, Replace and Replace All in the whole program on the offscreen
// platform, over a file of 1 GiB of random bytes opened in the main window:
// the time of each and the longest the window's event loop went without
// turning meanwhile (its paints, Esc), and the undo of the last, in wall time and in the processor
// time of the window's thread. The file is made in DIR (default /tmp) and
// kept for reruns.
//   bench_longtasks [DIR]

#include "hexdoc.h"
#include "hexview.h"
#include "mainwindow.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QRandomGenerator>

#include <cstdio>
#include <functional>

namespace {

constexpr qint64 kLength = qint64(1) << 30;
// Planted once, 4 KiB before the end; the random bytes hold it nowhere else.
const char kPlanted[] = "00 11 22 33 44 55 66 77";
constexpr qint64 kPlantedAt = kLength - 4096 + 5;

QString MakeFile(const QString& dir)
{
    const QString path = QDir(dir).filePath(QStringLiteral("zorbel_bench_longtasks.bin"));
    if (QFileInfo(path).size() == kLength)
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QRandomGenerator random(20261209);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 nAt = 0; nAt < kLength; nAt += block.size()) {
        random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        if (nAt + block.size() > kPlantedAt)
            block.replace(int(kPlantedAt - nAt), 8, QByteArray::fromHex(QByteArray(kPlanted).replace(' ', "")));
        if (file.write(block) != block.size())
            return QString();
    }
    return path;
}

// Runs what, with the caret at nCaret first, and prints its time and the
// event loop's longest gap while it ran.
void Measure(CHexView* pView, const char* pszName, qint64 nCaret, const std::function<void()>& what)
{
    pView->MoveCaretTo(nCaret);
    QApplication::processEvents();
    LoopGaps gaps;
    QElapsedTimer timer;
    timer.start();
    gaps.Start();
    what();
    gaps.Stop();
    std::printf("%-44s %7.3f s; longest gap of the event loop %6.1f ms, %6.1f ms of its thread's processor time; "
                "caret at %lld, length %lld\n",
                pszName, timer.nsecsElapsed() / 1e9, gaps.LongestMs(), gaps.LongestBusyMs(),
                static_cast<long long>(pView->m_nCaretPos), static_cast<long long>(pView->GetDocument()->Length()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const QString path = MakeFile(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath());
    if (path.isEmpty()) {
        std::fprintf(stderr, "cannot write the file\n");
        return 1;
    }
    MainWindowApp app({path});
    auto* pView = app.pFrame ? qobject_cast<CHexView*>(app.pFrame->GetActiveView()) : nullptr;
    if (!pView)
        return 1;
    // Let the window settle: its first paints and the code page's guess.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);

    const qint64 nEnd = pView->GetDocument()->Length();
    Measure(pView, "Find, found at the end, Match case", 0,
            [&] { pView->FindNext(QString::fromLatin1(kPlanted), true, true); });
    Measure(pView, "F3, the same", 0, [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier);
        QApplication::sendEvent(pView, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F3, Qt::NoModifier);
        QApplication::sendEvent(pView, &release);
    });
    Measure(pView, "Find up from the end, not found", nEnd,
            [&] { pView->FindNext(QStringLiteral("CD CD 00 11 22 33 44 55"), false, false); });
    Measure(pView, "Replace, found at the end", 0,
            [&] { pView->ReplaceOne(QString::fromLatin1(kPlanted), true, true, QStringLiteral("41")); });
    Measure(pView, "Replace All CD CD -> 41 42 43 (16 thousand)", 0,
            [&] { pView->ReplaceAll(QStringLiteral("CD CD"), QStringLiteral("41 42 43"), true); });
    Measure(pView, "Replace All CD -> 41 42 (4 million)", 0,
            [&] { pView->ReplaceAll(QStringLiteral("CD"), QStringLiteral("41 42"), true); });
    if (pView->GetDocument()->History().CanUndo())
        Measure(pView, "Undo of it", 0, [&] { pView->UndoOrRedo(true); });
    else
        std::printf("the last Replace All cannot be undone: too large for the history\n");
    // Closing asks nothing: the changes are not to be saved.
    pView->GetDocument()->SetModifiedFlag(false);
    return 0;
}
