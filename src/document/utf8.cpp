#include "utf8.h"

#include <QChar>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// The East Asian Wide (W) and Fullwidth (F) ranges of Unicode 15.0, reserved code
// points of the ideograph blocks included as the standard assigns them.
constexpr char32_t kWideRanges[][2] = {
    {0x1100, 0x115F}, {0x231A, 0x231B}, {0x2329, 0x232A}, {0x23E9, 0x23EC},
    {0x23F0, 0x23F0}, {0x23F3, 0x23F3}, {0x25FD, 0x25FE}, {0x2614, 0x2615},
    {0x2648, 0x2653}, {0x267F, 0x267F}, {0x2693, 0x2693}, {0x26A1, 0x26A1},
    {0x26AA, 0x26AB}, {0x26BD, 0x26BE}, {0x26C4, 0x26C5}, {0x26CE, 0x26CE},
    {0x26D4, 0x26D4}, {0x26EA, 0x26EA}, {0x26F2, 0x26F3}, {0x26F5, 0x26F5},
    {0x26FA, 0x26FA}, {0x26FD, 0x26FD}, {0x2705, 0x2705}, {0x270A, 0x270B},
    {0x2728, 0x2728}, {0x274C, 0x274C}, {0x274E, 0x274E}, {0x2753, 0x2755},
    {0x2757, 0x2757}, {0x2795, 0x2797}, {0x27B0, 0x27B0}, {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55}, {0x2E80, 0x2E99},
    {0x2E9B, 0x2EF3}, {0x2F00, 0x2FD5}, {0x2FF0, 0x2FFB}, {0x3000, 0x303E},
    {0x3041, 0x3096}, {0x3099, 0x30FF}, {0x3105, 0x312F}, {0x3131, 0x318E},
    {0x3190, 0x31E3}, {0x31F0, 0x321E}, {0x3220, 0x3247}, {0x3250, 0x4DBF},
    {0x4E00, 0xA48C}, {0xA490, 0xA4C6}, {0xA960, 0xA97C}, {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF}, {0xFE10, 0xFE19}, {0xFE30, 0xFE52}, {0xFE54, 0xFE66},
    {0xFE68, 0xFE6B}, {0xFF01, 0xFF60}, {0xFFE0, 0xFFE6}, {0x16FE0, 0x16FE4},
    {0x16FF0, 0x16FF1}, {0x17000, 0x187F7}, {0x18800, 0x18CD5}, {0x18D00, 0x18D08},
    {0x1AFF0, 0x1AFF3}, {0x1AFF5, 0x1AFFB}, {0x1AFFD, 0x1AFFE}, {0x1B000, 0x1B122},
    {0x1B132, 0x1B132}, {0x1B150, 0x1B152}, {0x1B155, 0x1B155}, {0x1B164, 0x1B167},
    {0x1B170, 0x1B2FB}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E},
    {0x1F191, 0x1F19A}, {0x1F200, 0x1F202}, {0x1F210, 0x1F23B}, {0x1F240, 0x1F248},
    {0x1F250, 0x1F251}, {0x1F260, 0x1F265}, {0x1F300, 0x1F320}, {0x1F32D, 0x1F335},
    {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
    {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440},
    {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567},
    {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F},
    {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7},
    {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF},
    {0x1FA70, 0x1FA7C}, {0x1FA80, 0x1FA88}, {0x1FA90, 0x1FABD}, {0x1FABF, 0x1FAC5},
    {0x1FACE, 0x1FADB}, {0x1FAE0, 0x1FAE8}, {0x1FAF0, 0x1FAF8}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

constexpr std::uint64_t kHighs = 0x8080808080808080ull;

} // namespace

bool IsWideChar(char32_t ch)
{
    // The ideographs and Hangul syllables of most text first.
    if (ch < kWideRanges[0][0])
        return false;
    if ((ch >= 0x4E00 && ch <= 0x9FFF) || (ch >= 0xAC00 && ch <= 0xD7A3))
        return true;
    const auto* range = std::upper_bound(std::begin(kWideRanges), std::end(kWideRanges), ch,
                                         [](char32_t c, const char32_t(&r)[2]) { return c < r[0]; });
    return ch <= (*(range - 1))[1];
}

bool IsShownChar(char32_t ch)
{
    if ((ch >= 0x4E00 && ch <= 0x9FFF) || (ch >= 0xAC00 && ch <= 0xD7A3))
        return true;
    switch (QChar::category(ch)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

namespace {

// Byte at a time past runs of ASCII.
bool IsUtf8TextByBytes(const std::uint8_t* pData, std::size_t nLength, bool bMultiByte)
{
    std::size_t i = 0;
    while (i < nLength) {
        if (nLength - i >= 16) {
            std::uint64_t w[2];
            std::memcpy(w, pData + i, sizeof w);
            if (((w[0] | w[1]) & kHighs) == 0) {
                i += 16;
                continue;
            }
        }
        if (pData[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t ch;
        const int n = Utf8SequenceAt(pData + i, nLength - i, ch);
        if (n == 0)
            return false;
        bMultiByte = true;
        i += std::size_t(n);
    }
    return bMultiByte;
}

#if defined(__x86_64__) || defined(__i386__)
#define ZORBEL_UTF8_SSSE3 1

// Sixteen bytes at a time by table look-ups (after Keiser and Lemire, "Validating
// UTF-8 in less than one instruction per byte"): three 16-entry tables, indexed by
// the high and low half of the byte before and the high half of the byte itself,
// give a bit for each kind of error the pair can be part of; a bit set in all three
// is an error. Only a third or fourth byte of a sequence may then be a lone
// continuation byte, which the bytes two and three back tell.
enum : std::uint8_t {
    kTooShort = 1 << 0,   // lead byte not followed by a continuation byte
    kTooLong = 1 << 1,    // ASCII followed by a continuation byte
    kOverlong3 = 1 << 2,  // E0 80-9F
    kTooLarge = 1 << 3,   // F4 90-BF, F5-FF 90-BF
    kSurrogate = 1 << 4,  // ED A0-BF
    kOverlong2 = 1 << 5,  // C0-C1 80-BF
    kTooLarge1000 = 1 << 6,  // F5-FF 80-8F
    kOverlong4 = 1 << 6,  // F0 80-8F
    kTwoConts = 1 << 7,   // a continuation byte after a continuation byte
    kCarry = kTooShort | kTooLong | kTwoConts,
};

__attribute__((target("ssse3"))) __m128i Lookup(__m128i table, __m128i index)
{
    return _mm_shuffle_epi8(table, index);
}

__attribute__((target("ssse3"))) __m128i HighNibbles(__m128i v)
{
    return _mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(0x0F));
}

// The three tables, by the high and low half of the byte before and the high
// half of the byte itself.
__m128i Byte1High()
{
    return _mm_setr_epi8(
        kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, char(kTwoConts),
        char(kTwoConts), char(kTwoConts), char(kTwoConts), kTooShort | kOverlong2, kTooShort,
        kTooShort | kOverlong3 | kSurrogate, kTooShort | kTooLarge | kTooLarge1000 | kOverlong4);
}

__m128i Byte1Low()
{
    return _mm_setr_epi8(
        char(kCarry | kOverlong3 | kOverlong2 | kOverlong4), char(kCarry | kOverlong2), char(kCarry), char(kCarry),
        char(kCarry | kTooLarge), char(kCarry | kTooLarge | kTooLarge1000),
        char(kCarry | kTooLarge | kTooLarge1000), char(kCarry | kTooLarge | kTooLarge1000),
        char(kCarry | kTooLarge | kTooLarge1000), char(kCarry | kTooLarge | kTooLarge1000),
        char(kCarry | kTooLarge | kTooLarge1000), char(kCarry | kTooLarge | kTooLarge1000),
        char(kCarry | kTooLarge | kTooLarge1000), char(kCarry | kTooLarge | kTooLarge1000 | kSurrogate),
        char(kCarry | kTooLarge | kTooLarge1000), char(kCarry | kTooLarge | kTooLarge1000));
}

__m128i Byte2High()
{
    return _mm_setr_epi8(
        kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
        char(kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4),
        char(kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge),
        char(kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge),
        char(kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge), kTooShort, kTooShort, kTooShort, kTooShort);
}

// The errors of block with prev the block before it.
__attribute__((target("ssse3"))) __m128i BlockErrors(__m128i block, __m128i prev)
{
    const __m128i byte1High = Byte1High();
    const __m128i byte1Low = Byte1Low();
    const __m128i byte2High = Byte2High();

    const __m128i prev1 = _mm_alignr_epi8(block, prev, 15);
    const __m128i special = _mm_and_si128(
        _mm_and_si128(Lookup(byte1High, HighNibbles(prev1)), Lookup(byte1Low, _mm_and_si128(prev1, _mm_set1_epi8(0x0F)))),
        Lookup(byte2High, HighNibbles(block)));
    // Bytes two back from E0 up and three back from F0 up need a continuation byte
    // here: bit 7 of the saturated difference.
    const __m128i third = _mm_subs_epu8(_mm_alignr_epi8(block, prev, 14), _mm_set1_epi8(char(0xE0 - 0x80)));
    const __m128i fourth = _mm_subs_epu8(_mm_alignr_epi8(block, prev, 13), _mm_set1_epi8(char(0xF0 - 0x80)));
    const __m128i must23 = _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(char(0x80)));
    return _mm_xor_si128(must23, special);
}

// The last block is padded with zeros, which no sequence cut short by the end can
// take as its next byte; when the length is a multiple of 16 it is all padding.
// From byte i on, prev holding the 16 bytes before it (zeros at the start) and
// high a byte from 0x80 up when one was seen before it.
__attribute__((target("ssse3"))) bool IsUtf8TextByBlocks(const std::uint8_t* pData, std::size_t nLength,
                                                         std::size_t i, __m128i prev, __m128i high)
{
    // Whole groups of 64 bytes before the last: no block there is the padded
    // one, and blocks of ASCII after ASCII are checked with the rest, since
    // they hold no error, rather than tested for and passed one by one.
    while (nLength - i > 64) {
        const auto* p = reinterpret_cast<const __m128i*>(pData + i);
        const __m128i b0 = _mm_loadu_si128(p);
        const __m128i b1 = _mm_loadu_si128(p + 1);
        const __m128i b2 = _mm_loadu_si128(p + 2);
        const __m128i b3 = _mm_loadu_si128(p + 3);
        const __m128i any = _mm_or_si128(_mm_or_si128(b0, b1), _mm_or_si128(b2, b3));
        if (_mm_movemask_epi8(_mm_or_si128(any, prev)) != 0) {
            const __m128i errors = _mm_or_si128(_mm_or_si128(BlockErrors(b0, prev), BlockErrors(b1, b0)),
                                                _mm_or_si128(BlockErrors(b2, b1), BlockErrors(b3, b2)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(errors, _mm_setzero_si128())) != 0xFFFF)
                return false;
            high = _mm_or_si128(high, any);
        }
        prev = b3;
        i += 64;
    }
    while (true) {
        // Runs of ASCII after ASCII hold no error: 64 bytes at a time.
        if (nLength - i >= 64 && _mm_movemask_epi8(prev) == 0) {
            const auto* p = reinterpret_cast<const __m128i*>(pData + i);
            const __m128i last = _mm_loadu_si128(p + 3);
            const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                                             _mm_or_si128(_mm_loadu_si128(p + 2), last));
            if (_mm_movemask_epi8(any) == 0) {
                prev = last;
                i += 64;
                continue;
            }
        }
        __m128i errors = _mm_setzero_si128();
        // Four blocks between checks keep the loop short; the check stops the scan
        // within 64 bytes of the first invalid byte.
        for (int k = 0; k < 4; ++k) {
            __m128i block;
            const bool bLast = nLength - i < 16;
            if (bLast) {
                alignas(16) std::uint8_t tail[16] = {};
                std::memcpy(tail, pData + i, nLength - i);
                block = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
            } else {
                block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pData + i));
            }
            if (_mm_movemask_epi8(block) != 0 || _mm_movemask_epi8(prev) != 0) {
                high = _mm_or_si128(high, block);
                errors = _mm_or_si128(errors, BlockErrors(block, prev));
            }
            prev = block;
            if (bLast) {
                return _mm_movemask_epi8(_mm_cmpeq_epi8(errors, _mm_setzero_si128())) == 0xFFFF
                    && _mm_movemask_epi8(high) != 0;
            }
            i += 16;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(errors, _mm_setzero_si128())) != 0xFFFF)
            return false;
    }
}

#define ZORBEL_UTF8_AVX512 1

// GCC 12's AVX-512 headers start some intrinsics from a deliberately undefined
// register, which its warnings report inside them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// BlockErrors over 64 bytes: the same tables in each 16-byte lane, the bytes
// one, two and three back taken across the lanes from block and prev.
__attribute__((target("avx512f,avx512bw"))) __m512i GroupErrors(__m512i block, __m512i prev, __m512i byte1High,
                                                                __m512i byte1Low, __m512i byte2High)
{
    const __m512i low = _mm512_set1_epi8(0x0F);
    // Each lane's 16 bytes before it: prev's last lane, then block's first three.
    const __m512i before = _mm512_permutex2var_epi64(prev, _mm512_set_epi64(13, 12, 11, 10, 9, 8, 7, 6), block);
    const __m512i prev1 = _mm512_alignr_epi8(block, before, 15);
    const __m512i special = _mm512_and_si512(
        _mm512_and_si512(_mm512_shuffle_epi8(byte1High, _mm512_and_si512(_mm512_srli_epi16(prev1, 4), low)),
                         _mm512_shuffle_epi8(byte1Low, _mm512_and_si512(prev1, low))),
        _mm512_shuffle_epi8(byte2High, _mm512_and_si512(_mm512_srli_epi16(block, 4), low)));
    const __m512i third = _mm512_subs_epu8(_mm512_alignr_epi8(block, before, 14), _mm512_set1_epi8(char(0xE0 - 0x80)));
    const __m512i fourth = _mm512_subs_epu8(_mm512_alignr_epi8(block, before, 13), _mm512_set1_epi8(char(0xF0 - 0x80)));
    const __m512i must23 = _mm512_and_si512(_mm512_or_si512(third, fourth), _mm512_set1_epi8(char(0x80)));
    return _mm512_xor_si512(must23, special);
}

// Groups of 64 bytes in one register each, then the last up to 64 bytes as
// the 16-byte blocks do them.
__attribute__((target("avx512f,avx512bw"))) bool IsUtf8TextByAvx512(const std::uint8_t* pData, std::size_t nLength)
{
    const __m512i byte1High = _mm512_broadcast_i32x4(Byte1High());
    const __m512i byte1Low = _mm512_broadcast_i32x4(Byte1Low());
    const __m512i byte2High = _mm512_broadcast_i32x4(Byte2High());
    __m512i prev = _mm512_setzero_si512();
    bool bHigh = false;
    std::size_t i = 0;
    while (nLength - i > 64) {
        // From memory the check waited on its loads; asking for the bytes
        // 2 KiB ahead took it from 5.7 to 9.9 GB/s over Chinese text, and
        // from 10.4 to 13 over ASCII (bench_utf8, memchr 10.4).
        __builtin_prefetch(pData + i + 2048);
        const __m512i block = _mm512_loadu_si512(pData + i);
        const __mmask64 high = _mm512_movepi8_mask(block);
        // A sequence the group before left open needs checking too.
        if ((high | _mm512_movepi8_mask(prev) >> 61) != 0) {
            const __m512i errors = GroupErrors(block, prev, byte1High, byte1Low, byte2High);
            if (_mm512_test_epi8_mask(errors, errors) != 0)
                return false;
            bHigh = bHigh || high != 0;
        }
        prev = block;
        i += 64;
    }
    const __m128i before = i == 0 ? _mm_setzero_si128() : _mm_loadu_si128(reinterpret_cast<const __m128i*>(pData + i - 16));
    return IsUtf8TextByBlocks(pData, nLength, i, before, bHigh ? _mm_set1_epi8(char(0x80)) : _mm_setzero_si128());
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#define ZORBEL_UTF8_AVX2 1

// The errors of a group of 64 bytes held in two 32-byte halves, after the 32
// bytes of prev: BlockErrors in each 16-byte lane, with its three tables in
// both lanes, the bytes one, two and three back taken across the lanes.
__attribute__((target("avx2"))) __m256i GroupErrorsByHalves(__m256i first, __m256i second, __m256i prev,
                                                            const __m256i (&tables)[3])
{
    const __m256i low = _mm256_set1_epi8(0x0F);
    const __m256i halves[3] = {prev, first, second};
    __m256i errors = _mm256_setzero_si256();
    for (int k = 1; k < 3; ++k) {
        // The 16 bytes before each lane of half k, then those shifted in by
        // one, two and three.
        const __m256i before = _mm256_permute2x128_si256(halves[k - 1], halves[k], 0x21);
        const __m256i back[3] = {_mm256_alignr_epi8(halves[k], before, 15), _mm256_alignr_epi8(halves[k], before, 14),
                                 _mm256_alignr_epi8(halves[k], before, 13)};
        const __m256i byBefore =
            _mm256_and_si256(_mm256_shuffle_epi8(tables[0], _mm256_and_si256(_mm256_srli_epi16(back[0], 4), low)),
                             _mm256_shuffle_epi8(tables[1], _mm256_and_si256(back[0], low)));
        const __m256i special = _mm256_and_si256(
            byBefore, _mm256_shuffle_epi8(tables[2], _mm256_and_si256(_mm256_srli_epi16(halves[k], 4), low)));
        // Bytes two back from E0 up and three back from F0 up need a
        // continuation byte here.
        const __m256i third = _mm256_subs_epu8(back[1], _mm256_set1_epi8(char(0xE0 - 0x80)));
        const __m256i fourth = _mm256_subs_epu8(back[2], _mm256_set1_epi8(char(0xF0 - 0x80)));
        const __m256i must23 = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
        errors = _mm256_or_si256(errors, _mm256_xor_si256(must23, special));
    }
    return errors;
}

// Groups of 64 bytes in two 32-byte registers, then the last up to 64 bytes
// as the 16-byte blocks do them.
__attribute__((target("avx2"))) bool IsUtf8TextByAvx2(const std::uint8_t* pData, std::size_t nLength)
{
    const __m256i tables[3] = {_mm256_broadcastsi128_si256(Byte1High()), _mm256_broadcastsi128_si256(Byte1Low()),
                               _mm256_broadcastsi128_si256(Byte2High())};
    __m256i prev = _mm256_setzero_si256();
    bool bHigh = false;
    std::size_t i = 0;
    for (; nLength - i > 64; i += 64) {
        const auto* p = reinterpret_cast<const __m256i*>(pData + i);
        const __m256i first = _mm256_loadu_si256(p);
        const __m256i second = _mm256_loadu_si256(p + 1);
        const auto high = std::uint32_t(_mm256_movemask_epi8(_mm256_or_si256(first, second)));
        // A sequence that the group before left open (a byte from 0x80 up in
        // its last three) needs checking too.
        if ((high | std::uint32_t(_mm256_movemask_epi8(prev)) >> 29) != 0) {
            const __m256i errors = GroupErrorsByHalves(first, second, prev, tables);
            if (!_mm256_testz_si256(errors, errors))
                return false;
            bHigh = bHigh || high != 0;
        }
        prev = second;
    }
    const __m128i before =
        i == 0 ? _mm_setzero_si128() : _mm_loadu_si128(reinterpret_cast<const __m128i*>(pData + i - 16));
    return IsUtf8TextByBlocks(pData, nLength, i, before, bHigh ? _mm_set1_epi8(char(0x80)) : _mm_setzero_si128());
}

#endif

// Whether the 64-byte groups are used: where the processor has them, unless a
// test turned them off.
#ifdef ZORBEL_UTF8_AVX512
const bool g_bHasAvx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
const bool g_bHasAvx2 = __builtin_cpu_supports("avx2");
#else
constexpr bool g_bHasAvx512 = false;
constexpr bool g_bHasAvx2 = false;
#endif
bool g_bAvx512 = g_bHasAvx512;
bool g_bAvx2 = g_bHasAvx2;

} // namespace

bool IsUtf8Text(const std::uint8_t* pData, std::size_t nLength)
{
#ifdef ZORBEL_UTF8_SSSE3
    if (g_bAvx512)
        return IsUtf8TextByAvx512(pData, nLength);
    if (g_bAvx2)
        return IsUtf8TextByAvx2(pData, nLength);
    static const bool bBlocks = __builtin_cpu_supports("ssse3");
    if (bBlocks)
        return IsUtf8TextByBlocks(pData, nLength, 0, _mm_setzero_si128(), _mm_setzero_si128());
#endif
    return IsUtf8TextByBytes(pData, nLength, false);
}

bool AllowAvx512Utf8Check(bool bAllow)
{
    g_bAvx512 = bAllow && g_bHasAvx512;
    return g_bAvx512;
}

bool AllowAvx2Utf8Check(bool bAllow)
{
    g_bAvx2 = bAllow && g_bHasAvx2;
    return g_bAvx2;
}
