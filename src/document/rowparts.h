#pragma once

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZORBEL_PAIRS_SSSE3 1
#endif

// The offset column and the hexadecimal pairs of a dump line, inline here so
// that the loops of --dump (CRowFormat's through a code page, CTableRow's
// through a table) build them without a call per row. CRowFormat::FormatOffset
// and FormatHexPart are the same for callers that want a function.
struct CRowParts {
    // The eight hexadecimal digits of n as one 64-bit value, first digit lowest, for
    // one store: a store of pieces read back as a whole stalls.
    static std::uint64_t HexDigits8(std::uint32_t n)
    {
        std::uint64_t v = n;
        v = (v | v << 16) & 0x0000FFFF0000FFFFull;
        v = (v | v << 8) & 0x00FF00FF00FF00FFull;
        v = (v | v << 4) & 0x0F0F0F0F0F0F0F0Full;
        // Nibble i is now byte i, the last digit first; digits from 10 up skip the
        // seven characters between '9' and 'A'.
        v = __builtin_bswap64(v);
        const std::uint64_t letters = ((v + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
        return v + 0x3030303030303030ull + letters * 7;
    }

    // The digits an offset under 4 GiB shows: six, more from 16 MiB on.
    static int ShortOffsetDigits(std::uint32_t nOffset)
    {
        return nOffset >= 0x10000000 ? 8 : nOffset >= 0x1000000 ? 7 : 6;
    }

    // The first eight of the ten columns of an offset under 4 GiB: its digits
    // and the blanks after them.
    static std::uint64_t ShortOffsetColumns(std::uint32_t nOffset)
    {
        std::uint64_t v = HexDigits8(nOffset);
        const int nDropped = 8 * (8 - ShortOffsetDigits(nOffset));
        if (nDropped != 0)
            v = (v >> nDropped) | (0x2020202020202020ull << (64 - nDropped));
        return v;
    }

    // The offset column of a file under 4 GiB, ten columns.
    static void FormatShortOffset(std::uint32_t nOffset, char* pszOut)
    {
        const std::uint64_t v = ShortOffsetColumns(nOffset);
        std::memcpy(pszOut, &v, 8);
        std::memcpy(pszOut + 8, "  ", 2);
    }

#ifdef ZORBEL_PAIRS_SSSE3
    // Where each of the 48 columns of the pairs comes from: the digits of the first
    // eight bytes (first), of the last eight (second), or neither (a blank); a
    // shuffle index of 0x80 gives 0.
    struct PairColumns {
        std::uint8_t first[48];
        std::uint8_t second[48];
        char blanks[48];
        constexpr PairColumns() : first(), second(), blanks()
        {
            for (int j = 0; j < 48; ++j) {
                first[j] = second[j] = 0x80;
                blanks[j] = 0;
                const int c = j >= 24 ? j - 1 : j;   // the column as if no blank were between the halves
                const int k = c / 3;
                if (j == 24 || c % 3 == 2)
                    blanks[j] = ' ';
                else if (k < 8)
                    first[j] = std::uint8_t(2 * k + c % 3);
                else
                    second[j] = std::uint8_t(2 * (k - 8) + c % 3);
            }
        }
    };
    static const PairColumns kPairColumns;

    // The 16 pairs "XX " of the bytes at bytes, with the blank between the two
    // halves: 48 columns, the last pair's blank not written.
    __attribute__((target("ssse3"))) static void FormatPairsBySsse3(const std::uint8_t* bytes, char* pszOut)
    {
        FormatPairsBySsse3(bytes, pszOut, _mm_set1_epi8(0x0F));
    }
    // The same with 0x0F in every byte of low4, for a caller that loads it.
    __attribute__((target("ssse3"))) static void FormatPairsBySsse3(const std::uint8_t* bytes, char* pszOut,
                                                                    __m128i low4)
    {
        const __m128i digits =
            _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), low4));
        const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(v, low4));
        const __m128i first = _mm_unpacklo_epi8(high, low);
        const __m128i second = _mm_unpackhi_epi8(high, low);
        const auto load = [](const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); };
        for (int i = 0; i < 48; i += 16) {
            const __m128i out = _mm_or_si128(
                _mm_or_si128(_mm_shuffle_epi8(first, load(kPairColumns.first + i)),
                             _mm_shuffle_epi8(second, load(kPairColumns.second + i))),
                load(kPairColumns.blanks + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pszOut + i), out);
        }
    }

    // Where each of the hex part's 52 columns takes its digit from, out of the
    // 16 high digits of a row's bytes followed by its 16 low ones, and
    // (digits) the columns that take one; the others are blanks. Made from
    // kPairColumns, whose indices count the digits of each byte in turn, high
    // first (of the first eight bytes, and of the last eight).
    struct HexColumns {
        std::uint8_t from[64];
        std::uint64_t digits;
        constexpr HexColumns() : from(), digits(0)
        {
            const PairColumns columns;
            for (int j = 0; j < 48; ++j) {
                const int n = columns.first[j] != 0x80 ? columns.first[j]
                              : columns.second[j] != 0x80 ? 16 + columns.second[j]
                                                           : -1;
                if (n < 0)
                    continue;
                from[j] = std::uint8_t(n % 2 == 0 ? n / 2 : 16 + n / 2);
                digits |= std::uint64_t(1) << j;
            }
        }
    };
    static const HexColumns kHexColumns;

    // The hex part of the 16 bytes at bytes, the pairs and the four blanks
    // after them, by one permute of the digits: it writes 64 bytes at pszOut,
    // the 12 past the hex part blanks for the text column to overwrite. Of
    // FormatPairsBySsse3's ten shuffles it keeps three (on an Intel Xeon rows
    // of ASCII took 0.5 ns less, of UTF-8 ideographs 1.7 ns, of pairs 0.3).
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))) static void
    FormatHexPartByAvx512(const std::uint8_t* bytes, char* pszOut)
    {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const __m128i low4 = _mm_set1_epi8(0x0F);
        const __m256i nibbles = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_and_si128(_mm_srli_epi16(v, 4), low4)), _mm_and_si128(v, low4), 1);
        const __m256i digits =
            _mm256_shuffle_epi8(_mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D',
                                                 'E', 'F', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B',
                                                 'C', 'D', 'E', 'F'),
                                nibbles);
        _mm512_storeu_si512(pszOut, _mm512_mask_permutexvar_epi8(_mm512_set1_epi8(' '), kHexColumns.digits,
                                                                 _mm512_loadu_si512(kHexColumns.from),
                                                                 _mm512_castsi256_si512(digits)));
    }
#endif
};

#ifdef ZORBEL_PAIRS_SSSE3
inline constexpr CRowParts::PairColumns CRowParts::kPairColumns{};
inline constexpr CRowParts::HexColumns CRowParts::kHexColumns{};
#endif
