// A burst of keys in the whole program on the offscreen platform: 200 Page Down
// presses posted at once to the view of a 64 MiB document in the main window,
// timed until the last key is handled and the view has painted after it, with
// the number of paints of the view, and the time of one paint of the whole
// view alone. Best and median of several bursts.
//   bench_keys [rounds]

#include "hexapp.h"
#include "hexview.h"
#include "mainfrm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Counts the key presses the view handles and the paints of its viewport.
class Counter : public QObject {
public:
    int nKeys = 0;
    int nPaints = 0;
    int nPaintsAfterLastKey = 0;
    int nExpectedKeys = 0;

    bool eventFilter(QObject* pObject, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::KeyPress)
            ++nKeys;
        else if (pEvent->type() == QEvent::Paint && pObject != parent()) {
            ++nPaints;
            if (nKeys == nExpectedKeys)
                ++nPaintsAfterLastKey;
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int nRounds = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    constexpr int kKeys = 200;

    const QString path = QDir::temp().filePath(QStringLiteral("zorbel_bench_keys.bin"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, 'a');
        for (int i = 0; i < 64; ++i)
            file.write(block);
    }
    CHexApp theApp;
    theApp.SetCommandLine({path});
    theApp.m_nCmdShow = SW_SHOWNORMAL;
    qApp->installEventFilter(&theApp);
    if (!theApp.InitInstance())
        return 1;
    CMainFrame* pFrame = theApp.GetMainFrame();
    pFrame->resize(1000, 800);
    auto* pView = qobject_cast<CHexView*>(pFrame->GetActiveView());
    if (!pView)
        return 1;
    QApplication::processEvents();

    Counter counter;
    counter.setParent(pView);
    pView->installEventFilter(&counter);
    pView->viewport()->installEventFilter(&counter);
    std::vector<double> times;
    int nPaints = 0;
    for (int round = 0; round < nRounds; ++round) {
        const int nKey = round % 2 ? Qt::Key_PageUp : Qt::Key_PageDown;
        counter.nKeys = counter.nPaints = counter.nPaintsAfterLastKey = 0;
        counter.nExpectedKeys = kKeys;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kKeys; ++i)
            QCoreApplication::postEvent(pView, new QKeyEvent(QEvent::KeyPress, nKey, Qt::NoModifier));
        while (counter.nKeys < kKeys || counter.nPaintsAfterLastKey == 0)
            QApplication::processEvents(QEventLoop::AllEvents);
        times.push_back(timer.nsecsElapsed() / 1e9);
        nPaints = counter.nPaints;
    }
    // Where a burst's time goes: one paint of the whole view, timed alone.
    QElapsedTimer paint;
    paint.start();
    constexpr int kPaints = 20;
    for (int i = 0; i < kPaints; ++i)
        pView->viewport()->repaint();
    const double onePaint = paint.nsecsElapsed() / 1e9 / kPaints;
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%d Page Down/Up presses posted at once, 64 MiB, 1000 x 800: best %.3f s, median %.3f s, "
                "%d paints of the view in the last burst; one paint of the whole view %.2f ms\n",
                kKeys, sorted.front(), sorted[sorted.size() / 2], nPaints, onePaint * 1e3);
    pFrame->close();
    theApp.ExitInstance();
    QFile::remove(path);
    return 0;
}
