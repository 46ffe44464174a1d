#pragma once

// What the benchmarks of the view share: a document in a shown view, and a
// stopwatch.

#include "hexdoc.h"
#include "hexview.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>

#include <cstring>
#include <functional>
#include <memory>

// A document of nLength random bytes in a shown view of a usual window's size.
struct Window {
    CHexDoc doc;
    std::unique_ptr<CHexView> pView = std::make_unique<CHexView>();

    explicit Window(std::uint32_t nLength, int nFill = -1)
    {
        doc.m_nSize = nLength + 1;
        doc.m_pData = CHexDoc::AllocBuffer(doc.m_nSize);
        // The lengths are multiples of four.
        if (nFill < 0)
            QRandomGenerator(20240611).fillRange(reinterpret_cast<quint32*>(doc.m_pData), nLength / 4);
        else
            std::memset(doc.m_pData, nFill, nLength);
        doc.m_pData[nLength] = 0xFF;
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

