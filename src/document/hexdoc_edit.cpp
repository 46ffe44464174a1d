#include "hexdoc.h"

#include <cstring>
#include <new>

// The buffer is resized in place: the tail moves once, up or down, and a large
// buffer grows by remapping rather than by a second copy of the document. The
// resize comes first when growing and last when shrinking, so a failed
// allocation changes nothing.
void CHexDoc::Splice(std::uint32_t nPos, std::uint32_t nRemove, const std::uint8_t* pSrc, std::uint32_t nInsert)
{
    const std::uint32_t nNewSize = m_nSize - nRemove + nInsert;
    const std::uint32_t nTail = m_nSize - nPos - nRemove;
    if (nInsert > nRemove)
        ResizeData(nNewSize);
    std::uint8_t* p = m_pData;
    std::memmove(p + nPos + nInsert, p + nPos + nRemove, nTail);
    if (nInsert)
        std::memcpy(p + nPos, pSrc, nInsert);
    if (nInsert < nRemove) {
        try {
            ResizeData(nNewSize);
        } catch (const std::bad_alloc&) {
            // The buffer stays larger than the document; nothing is lost.
        }
    }
    m_nSize = nNewSize;
}

// A step of several pieces is done in one pass into a new buffer, the way
// Replace All made it: one copy of the document however many pieces.
void CHexDoc::ApplyStep(const CEditStep& step, bool bUndo)
{
    const std::size_t nPieces = step.offsets.size();
    const std::uint32_t nIn = step.nRemove;
    const auto nOut = std::uint32_t(step.inserted.size());
    const std::uint32_t nOld = bUndo ? nOut : nIn;
    const std::uint32_t nNew = bUndo ? nIn : nOut;
    const auto piece = [&](std::size_t i) {
        const char* p = bUndo ? step.removed.constData() + i * nIn : step.inserted.constData();
        return reinterpret_cast<const std::uint8_t*>(p);
    };
    const auto at = [&](std::size_t i) { return bUndo ? step.OffsetAfter(i) : step.offsets[i]; };
    if (nPieces == 1) {
        Splice(at(0), nOld, piece(0), nNew);
        return;
    }
    const auto nNewSize = std::uint32_t(std::int64_t(m_nSize) + std::int64_t(nPieces) * (std::int64_t(nNew) - nOld));
    std::uint8_t* pNew = AllocBuffer(nNewSize);
    std::uint8_t* pOut = pNew;
    std::uint32_t nFrom = 0;
    for (std::size_t i = 0; i < nPieces; ++i) {
        const std::uint32_t nAt = at(i);
        std::memcpy(pOut, m_pData + nFrom, nAt - nFrom);
        pOut += nAt - nFrom;
        std::memcpy(pOut, piece(i), nNew);
        pOut += nNew;
        nFrom = nAt + nOld;
    }
    std::memcpy(pOut, m_pData + nFrom, m_nSize - nFrom);
    SetData(pNew);
    m_nSize = nNewSize;
}
