#include "gotooffset.h"

#include <QChar>
#include <QString>

#include <algorithm>

namespace {

int DigitValue(QChar ch, int nBase)
{
    int v = -1;
    if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
        v = ch.unicode() - '0';
    else if (ch >= QLatin1Char('a') && ch <= QLatin1Char('f'))
        v = ch.unicode() - 'a' + 10;
    else if (ch >= QLatin1Char('A') && ch <= QLatin1Char('F'))
        v = ch.unicode() - 'A' + 10;
    return v < nBase ? v : -1;
}

} // namespace

// The value saturates far past any document's length, so a long run of digits
// reads as "past the end" rather than wrapping round to a small offset.
GoToResult ParseGoToOffset(QStringView text, bool bDecimal, qint64 nCaret, qint64 nLength, qint64* pOffset,
                           std::uint64_t* pPastEnd)
{
    text = text.trimmed();
    int nSign = 0;
    if (text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'))) {
        nSign = text.front() == QLatin1Char('-') ? -1 : 1;
        text = text.mid(1).trimmed();
    }
    int nBase = bDecimal ? 10 : 16;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        nBase = 16;
        text = text.mid(2);
    }
    if (text.isEmpty())
        return GoToResult::Invalid;

    constexpr std::uint64_t kCap = kGoToTooFar;
    std::uint64_t nValue = 0;
    for (const QChar ch : text) {
        const int v = DigitValue(ch, nBase);
        if (v < 0)
            return GoToResult::Invalid;
        nValue = nValue >= kCap / std::uint64_t(nBase) ? kCap
                                                       : std::min(nValue * std::uint64_t(nBase) + std::uint64_t(v), kCap);
    }

    std::int64_t nTarget = std::int64_t(nValue);
    if (nSign < 0)
        nTarget = std::int64_t(nCaret) - nTarget;
    else if (nSign > 0)
        nTarget = std::int64_t(nCaret) + nTarget;
    if (nTarget < 0)
        return GoToResult::BeforeStart;
    if (nTarget > nLength) {
        if (pPastEnd)
            *pPastEnd = nValue == kCap ? kCap : std::uint64_t(nTarget);
        return GoToResult::PastEnd;
    }
    *pOffset = nTarget;
    return GoToResult::Ok;
}
