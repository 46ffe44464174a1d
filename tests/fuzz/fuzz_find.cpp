// The find pattern parser and both scans, with and without Match case, against
// plain versions. The input: flags, a start offset, a pattern of up to 12
// bytes, then the bytes searched.

#include "bytepattern.h"
#include "fuzzinput.h"
#include "parsepattern.h"
#include "plainrules.h"
#include "textencoder.h"

#include <QString>

#include <algorithm>
#include <vector>

namespace {

// The pattern written as hex tokens with the separators the parser allows.
QString HexText(const std::uint8_t* p, std::size_t n, std::uint8_t nStyle)
{
    static const char kSeparators[] = {' ', ',', '\t', '\n'};
    QString text;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 || (nStyle & 4))
            text += QLatin1Char(kSeparators[(nStyle + i) % 4]);
        const QString pair = QString::asprintf("%02X", unsigned(p[i]));
        text += (nStyle & 8) ? pair.toLower() : pair;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    CFuzzInput in(pData, nSize);
    const std::uint8_t nFlags = in.Byte();
    const bool bMatchCase = nFlags & 1;
    const bool bDown = nFlags & 2;
    const std::uint32_t nFrom = in.U16();
    std::size_t n = in.Byte() % 13;
    const std::uint8_t* pPattern = in.Take(n);
    std::size_t nLength = in.Left();
    const std::uint8_t* pBytes = in.Take(nLength);

    // Hex tokens read as their bytes; any other text is taken whole and kept to
    // the longest pattern.
    const int nCodePage = kFuzzCodePages[(nFlags >> 4) % kFuzzCodePageCount];
    const CEncodedText parsed = ParsePattern(HexText(pPattern, n, nFlags >> 2), nCodePage);
    FUZZ_CHECK(parsed.bOk);
    FUZZ_CHECK(parsed.bytes == QByteArray(reinterpret_cast<const char*>(pPattern), qsizetype(n)));
    const CEncodedText fromText = ParsePattern(
        QString::fromUtf8(reinterpret_cast<const char*>(pBytes), qsizetype(std::min<std::size_t>(nLength, 600))),
        nCodePage);
    FUZZ_CHECK(fromText.bOk || fromText.nRefusedAt >= 0);

    // The scans read only the nLength bytes: a copy of exactly that many lets
    // the address sanitizer see a read past them.
    std::vector<std::uint8_t> bytes(pBytes, pBytes + nLength);
    const CBytePattern pattern(parsed.bytes, bMatchCase);
    std::uint32_t nFound = 0;
    const bool bFound = bDown ? pattern.FindDown(bytes.data(), std::uint32_t(nLength), nFrom, nFound)
                              : pattern.FindUp(bytes.data(), std::uint32_t(nLength), nFrom, nFound);
    const std::int64_t nPlain = Plain::Find(bytes.data(), std::uint32_t(nLength), pPattern, std::uint32_t(n), nFrom,
                                            bDown, bMatchCase);
    FUZZ_CHECK(bFound == (nPlain >= 0));
    FUZZ_CHECK(!bFound || nFound == std::uint32_t(nPlain));
    if (bFound)
        FUZZ_CHECK(pattern.MatchesAt(bytes.data() + nFound));
    return 0;
}
