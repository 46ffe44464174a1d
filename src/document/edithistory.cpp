#include "edithistory.h"

#include <utility>

std::uint64_t CEditStep::Cost() const
{
    std::uint64_t nPieces = 0;
    for (const CPieceStep& piece : pieceSteps)
        nPieces += (piece.removed.size() + piece.inserted.size()) * sizeof(CPiece) + sizeof(CPieceStep);
    return std::uint64_t(removed.size()) + std::uint64_t(inserted.size()) + offsets.size() * sizeof(qint64)
        + sizeof(CEditStep) + nPieces;
}

qint64 CEditStep::OffsetAfter(std::size_t i) const
{
    return offsets[i] + qint64(i) * (qint64(inserted.size()) - nRemove);
}

void CEditHistory::SetLimit(std::uint64_t nBytes)
{
    m_nLimit = nBytes;
    // Redo steps go first, newest first: a redo step needs every step before it.
    while (m_nCost > m_nLimit && m_steps.size() > m_nDone) {
        m_nCost -= m_steps.back().Cost();
        m_steps.pop_back();
    }
    while (m_nCost > m_nLimit && !m_steps.empty())
        DropOldest();
}

bool CEditHistory::Add(CEditStep step)
{
    m_bTypingOpen = step.bTyping;
    while (m_steps.size() > m_nDone) {
        m_nCost -= m_steps.back().Cost();
        m_steps.pop_back();
    }
    if (m_nSaved > m_nDropped + std::int64_t(m_nDone))
        m_nSaved = -1;
    const std::uint64_t nCost = step.Cost();
    if (nCost > m_nLimit) {
        Forget();
        return false;
    }
    m_steps.push_back(std::move(step));
    ++m_nDone;
    m_nCost += nCost;
    while (m_nCost > m_nLimit && m_steps.size() > 1)
        DropOldest();
    return true;
}

bool CEditHistory::ExtendTyping(qint64 nPos, const QByteArray& removed, const QByteArray& inserted, qint64 nRemoved,
                                CPieceStep* pPieces)
{
    if (!m_bTypingOpen || m_nDone == 0 || m_nDone != m_steps.size() || m_nSaved == m_nDropped + std::int64_t(m_nDone))
        return false;
    CEditStep& last = m_steps.back();
    if (!last.bTyping || last.offsets.size() != 1)
        return false;
    const qint64 nStart = last.offsets[0];
    const auto nRun = qint64(last.inserted.size());
    const std::uint64_t nBefore = last.Cost();
    if (nPos == nStart + nRun) {
        last.removed += removed;
        last.nRemove += nRemoved;
        last.inserted += inserted;
    } else if (nPos >= nStart && nPos + nRemoved <= nStart + nRun) {
        last.inserted.replace(qsizetype(nPos - nStart), qsizetype(nRemoved), inserted);
    } else {
        return false;
    }
    if (pPieces)
        last.pieceSteps.push_back(std::move(*pPieces));
    m_nCost = m_nCost - nBefore + last.Cost();
    return true;
}

void CEditHistory::SetAfter(const CEditState& state)
{
    if (m_nDone > 0)
        m_steps[m_nDone - 1].after = state;
}

CEditStep& CEditHistory::Undo()
{
    m_bTypingOpen = false;
    return m_steps[--m_nDone];
}

CEditStep& CEditHistory::Redo()
{
    m_bTypingOpen = false;
    return m_steps[m_nDone++];
}

void CEditHistory::MarkSaved()
{
    m_nSaved = m_nDropped + std::int64_t(m_nDone);
    m_bTypingOpen = false;
}

bool CEditHistory::IsAtSaved() const
{
    return m_nSaved == m_nDropped + std::int64_t(m_nDone);
}

// Keeps the saved mark where the document is now.
void CEditHistory::Clear()
{
    const bool bSaved = IsAtSaved();
    m_steps.clear();
    m_nDone = 0;
    m_nDropped = 0;
    m_nCost = 0;
    m_nSaved = bSaved ? 0 : -1;
    m_bTypingOpen = false;
}

// Only done steps are dropped from the front.
void CEditHistory::DropOldest()
{
    m_nCost -= m_steps.front().Cost();
    m_steps.pop_front();
    ++m_nDropped;
    --m_nDone;
}

void CEditHistory::Forget()
{
    Clear();
    m_nSaved = -1;
}
