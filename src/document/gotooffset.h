#pragma once

#include <QStringView>

#include <cstdint>

// Reads the offset a person types into Edit, Go To: hexadecimal digits (a
// leading "0x" allowed), or decimal digits when bDecimal is set; "0x" always
// means hexadecimal. A leading + or - counts from nCaret instead of from the
// start. Blanks around the text are ignored. The offsets that can be reached
// run from 0 to nLength, the end marker's offset.
enum class GoToResult {
    Ok,
    Invalid,       // no digits, or a character that is no digit of the base
    BeforeStart,   // a relative offset that lands before offset 0
    PastEnd,       // an offset past nLength, however many digits it has
};

// With PastEnd, *pPastEnd (when given) is the offset meant, or kGoToTooFar
// and more when the text names an offset past 256 TiB, more than any file holds.
constexpr std::uint64_t kGoToTooFar = std::uint64_t(1) << 48;
GoToResult ParseGoToOffset(QStringView text, bool bDecimal, qint64 nCaret, qint64 nLength, qint64* pOffset,
                           std::uint64_t* pPastEnd = nullptr);
