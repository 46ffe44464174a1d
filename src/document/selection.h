#pragma once

#include <algorithm>
#include <cstdint>

// A run of selected bytes as a person makes it: the anchor stays where the
// selection began, the end moves with the caret and may lie before the anchor.
// The bytes selected run from First() up to Beyond(), not included; a
// selection whose ends meet holds no byte.
class CSelection {
public:
    constexpr CSelection() = default;
    constexpr CSelection(std::uint32_t nAnchor, std::uint32_t nEnd) : m_nAnchor(nAnchor), m_nEnd(nEnd) {}

    constexpr std::uint32_t Anchor() const { return m_nAnchor; }
    constexpr std::uint32_t End() const { return m_nEnd; }
    constexpr std::uint32_t First() const { return std::min(m_nAnchor, m_nEnd); }
    constexpr std::uint32_t Beyond() const { return std::max(m_nAnchor, m_nEnd); }
    constexpr std::uint32_t Length() const { return Beyond() - First(); }
    constexpr bool IsEmpty() const { return m_nAnchor == m_nEnd; }
    constexpr bool IsForward() const { return m_nEnd >= m_nAnchor; }
    constexpr bool Contains(std::uint32_t nOffset) const { return nOffset >= First() && nOffset < Beyond(); }

    friend constexpr bool operator==(const CSelection& a, const CSelection& b)
    {
        return a.m_nAnchor == b.m_nAnchor && a.m_nEnd == b.m_nEnd;
    }
    friend constexpr bool operator!=(const CSelection& a, const CSelection& b) { return !(a == b); }

private:
    std::uint32_t m_nAnchor = 0;
    std::uint32_t m_nEnd = 0;
};
