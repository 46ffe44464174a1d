#pragma once

// What every fuzz target shares: reading its input as a stream of choices, and
// stopping with a message on a finding, which libFuzzer and the corpus replay
// both report as a failure.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Hands out the input's bytes as small numbers; past the end every read is 0,
// so any input, even an empty one, is a complete run.
class CFuzzInput {
public:
    CFuzzInput(const std::uint8_t* pData, std::size_t nSize) : m_p(pData), m_nLeft(nSize) {}

    bool AtEnd() const { return m_nLeft == 0; }
    std::size_t Left() const { return m_nLeft; }

    std::uint8_t Byte()
    {
        if (m_nLeft == 0)
            return 0;
        --m_nLeft;
        return *m_p++;
    }
    std::uint32_t U16() { return std::uint32_t(Byte()) | std::uint32_t(Byte()) << 8; }
    std::uint32_t U32() { return U16() | U16() << 16; }
    // A number from 0 to n - 1 (0 when n is 0).
    std::uint32_t Below(std::uint32_t n) { return n == 0 ? 0 : U32() % n; }
    bool Bit() { return (Byte() & 1) != 0; }

    // The next n bytes, fewer at the end.
    const std::uint8_t* Take(std::size_t& n)
    {
        if (n > m_nLeft)
            n = m_nLeft;
        const std::uint8_t* p = m_p;
        m_p += n;
        m_nLeft -= n;
        return p;
    }

private:
    const std::uint8_t* m_p;
    std::size_t m_nLeft;
};

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: finding: %s\n", __FILE__, __LINE__, #condition);      \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

// Every code page a document can be shown in, the double-byte ones and those
// without double-byte rules alike.
constexpr int kFuzzCodePages[] = {932, 936, 950, 65001, 949, 1252, 933, 937};
constexpr std::size_t kFuzzCodePageCount = sizeof kFuzzCodePages / sizeof kFuzzCodePages[0];
