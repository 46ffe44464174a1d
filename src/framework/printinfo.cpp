#include "printinfo.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

unsigned CPrintInfo::GetFromPage() const
{
    const int nFrom = m_pPrinter && m_pPrinter->printRange() == QPrinter::PageRange ? m_pPrinter->fromPage() : 0;
    return std::max(m_nMinPage, nFrom > 0 ? unsigned(nFrom) : 1u);
}

unsigned CPrintInfo::GetToPage() const
{
    const int nTo = m_pPrinter && m_pPrinter->printRange() == QPrinter::PageRange ? m_pPrinter->toPage() : 0;
    return nTo > 0 ? std::min(m_nMaxPage, unsigned(nTo)) : m_nMaxPage;
}

int CPrintInfo::GetDeviceCaps(const QPainter* pDC, int nIndex)
{
    const QPaintDevice* pDevice = pDC ? pDC->device() : nullptr;
    if (!pDevice)
        return 0;
    switch (nIndex) {
    case HORZRES:
        return pDevice->width();
    case VERTRES:
        return pDevice->height();
    case LOGPIXELSY:
        return pDevice->logicalDpiY();
    default:
        return 0;
    }
}
