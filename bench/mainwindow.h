#pragma once

// What the benchmarks of the whole program share: the application with its
// main window on the offscreen platform, and a meter of how long its event
// loop goes without turning.

#include "hexapp.h"
#include "mainfrm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <ctime>

// The program as it starts with args for its command line, its main window
// 1280 × 900.
struct MainWindowApp {
    CHexApp app;
    CMainFrame* pFrame = nullptr;
    explicit MainWindowApp(const QStringList& args)
    {
        app.SetCommandLine(args);
        app.m_nCmdShow = SW_SHOWNORMAL;
        qApp->installEventFilter(&app);
        if (app.InitInstance())
            pFrame = app.GetMainFrame();
        if (pFrame)
            pFrame->resize(1280, 900);
        QApplication::processEvents();
    }
    ~MainWindowApp()
    {
        if (pFrame)
            pFrame->close();
        app.ExitInstance();
    }
};

// The longest the event loop went without turning since Start, seen by a 5 ms
// timer: in wall time, and in the processor time of the window's thread,
// which other programs on a busy machine do not lengthen.
class LoopGaps {
public:
    LoopGaps()
    {
        QObject::connect(&m_tick, &QTimer::timeout, [this] { Turned(); });
    }

    void Start()
    {
        m_nLongest = m_nLongestBusy = 0;
        m_gap.start();
        m_nBusyFrom = ThreadTime();
        m_tick.start(5);
    }
    // Stops, counting the stretch since the last turn too.
    void Stop()
    {
        Turned();
        m_tick.stop();
    }
    double LongestMs() const { return m_nLongest / 1e6; }
    double LongestBusyMs() const { return m_nLongestBusy / 1e6; }

private:
    static qint64 ThreadTime()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    void Turned()
    {
        m_nLongest = std::max(m_nLongest, m_gap.nsecsElapsed());
        m_gap.start();
        const qint64 nNow = ThreadTime();
        m_nLongestBusy = std::max(m_nLongestBusy, nNow - m_nBusyFrom);
        m_nBusyFrom = nNow;
    }

    QTimer m_tick;
    QElapsedTimer m_gap;
    qint64 m_nLongest = 0;
    qint64 m_nLongestBusy = 0;
    qint64 m_nBusyFrom = 0;
};
