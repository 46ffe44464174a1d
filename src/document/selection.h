#pragma once

#include <QtGlobal>

#include <algorithm>

// A run of selected bytes as a person makes it: the anchor stays where the
// selection began, the end moves with the caret and may lie before the anchor.
// The bytes selected run from First() up to Beyond(), not included; a
// selection whose ends meet holds no byte.
class CSelection {
public:
    constexpr CSelection() = default;
    constexpr CSelection(qint64 nAnchor, qint64 nEnd) : m_nAnchor(nAnchor), m_nEnd(nEnd) {}

    constexpr qint64 Anchor() const { return m_nAnchor; }
    constexpr qint64 End() const { return m_nEnd; }
    constexpr qint64 First() const { return std::min(m_nAnchor, m_nEnd); }
    constexpr qint64 Beyond() const { return std::max(m_nAnchor, m_nEnd); }
    constexpr qint64 Length() const { return Beyond() - First(); }
    constexpr bool IsEmpty() const { return m_nAnchor == m_nEnd; }
    constexpr bool IsForward() const { return m_nEnd >= m_nAnchor; }
    constexpr bool Contains(qint64 nOffset) const { return nOffset >= First() && nOffset < Beyond(); }

    friend constexpr bool operator==(const CSelection& a, const CSelection& b)
    {
        return a.m_nAnchor == b.m_nAnchor && a.m_nEnd == b.m_nEnd;
    }
    friend constexpr bool operator!=(const CSelection& a, const CSelection& b) { return !(a == b); }

private:
    qint64 m_nAnchor = 0;
    qint64 m_nEnd = 0;
};
