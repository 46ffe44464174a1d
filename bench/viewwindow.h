#pragma once

// What the benchmarks of the view share: a document in a shown view, and a
// stopwatch.

#include "hexdoc.h"
#include "hexview.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

// A document of nLength random bytes in a shown view of a usual window's size.
struct Window {
    CHexDoc doc;
    std::unique_ptr<CHexView> pView = std::make_unique<CHexView>();

    // plant, when given, writes into the bytes before the document takes them.
    explicit Window(std::uint32_t nLength, int nFill = -1, const std::function<void(std::uint8_t*)>& plant = {})
    {
        std::uint8_t* pData = CHexDoc::AllocBuffer(nLength + 1);
        // The lengths are multiples of four.
        if (nFill < 0)
            QRandomGenerator(20240611).fillRange(reinterpret_cast<quint32*>(pData), nLength / 4);
        else
            std::memset(pData, nFill, nLength);
        pData[nLength] = 0xFF;
        if (plant)
            plant(pData);
        doc.AdoptBuffer(pData, nLength + 1);
        pView->AttachDocument(&doc);
        pView->Create();
        pView->resize(1000, 800);
        pView->show();
        pView->OnInitialUpdate();
        pView->OnCodePageGB();
        Repaint();
    }

    // Paints the whole window into an image, as a full repaint on screen does.
    void Repaint() { pView->viewport()->render(&m_image); }

    QImage m_image{QSize(1000, 800), QImage::Format_RGB32};
};

inline double Seconds(const std::function<void()>& run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return timer.nsecsElapsed() / 1e9;
}

inline double BestSeconds(int nRuns, const std::function<void()>& run)
{
    double best = 1e9;
    for (int i = 0; i < nRuns; ++i)
        best = std::min(best, Seconds(run));
    return best;
}

