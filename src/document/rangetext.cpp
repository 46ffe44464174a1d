#include "rangetext.h"

#include "chartable.h"
#include "hexdoc.h"
#include "rowformat.h"
#include "tablerow.h"
#include "textdecoder.h"

#include <algorithm>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The character the text column shows at index j of a row's text (n bytes,
// hex the bytes themselves) and how many bytes it takes.
int CharAt(const CTextDecoder& decoder, const std::uint8_t* hex, const char* text, int n, int j, char32_t& ch)
{
    const auto b = std::uint8_t(text[j]);
    if (b == '.' && hex[j] != '.') {
        ch = kReplacement;
        return 1;
    }
    if (b < 0x80) {
        ch = b;
        return 1;
    }
    if (decoder.CodePage() == kCodePageUtf8) {
        const int nBytes = Utf8SequenceAt(reinterpret_cast<const std::uint8_t*>(text + j), std::size_t(n - j), ch);
        if (nBytes == 0)
            ch = kReplacement;
        return std::max(nBytes, 1);
    }
    if (j + 1 < n && IsLeadByte(decoder.CodePage(), b)) {
        ch = decoder.DecodePair(b, std::uint8_t(text[j + 1]));
        return 2;
    }
    ch = decoder.DecodeSingle(b);
    return 1;
}

} // namespace

QString RangeText(const CHexDoc& doc, CRowFormat& rows, qint64 nFirst, qint64 nEnd)
{
    nEnd = std::min(nEnd, doc.Length());
    if (nFirst < 0 || nFirst >= nEnd)
        return QString();
    if (const CCharTable* pTable = doc.GetCharTable()) {
        // The bytes before the walk's first landing in the range belong to a
        // key that began before it: each is a replacement character.
        QByteArray hold;
        const CTableBytes bytes = CTableRow::Read(*pTable, doc, nFirst, nEnd, hold);
        if (!bytes.pData)
            return QString();
        const qint64 nLanding = std::min(bytes.nLanding, nEnd);
        const auto nSkip = std::uint32_t(nLanding - bytes.nBase);
        return QString(qsizetype(nLanding - nFirst), QChar(kReplacement))
             + pTable->Decode(bytes.pData + nSkip, bytes.nLength - nSkip, 0, std::uint32_t(nEnd - nLanding));
    }
    const CTextDecoder decoder(doc.GetCodePage());
    QString text;
    qint64 nRow = nFirst / 16;
    bool bContinued = nRow > 0 && rows.IsRowContinued(doc, nRow, true);
    // The trail byte that begins a row belongs to the character the row above
    // ends with, taken with that row when it is in the range.
    if (bContinued && nRow * 16 == nFirst)
        text += QChar(kReplacement);
    // The first byte that no character taken so far covers: a UTF-8
    // character crossing a row's end is taken whole, and the next row shows
    // its other bytes as '.'.
    qint64 nCovered = 0;
    for (; nRow * 16 < nEnd; ++nRow) {
        std::uint8_t hex[CRowFormat::kMaxTextLength];
        char row[CRowFormat::kMaxTextLength];
        const int n = int(doc.GetRowText(nRow * 16, hex, row, bContinued));
        for (int j = bContinued ? 1 : 0; j < n;) {
            const qint64 nAt = nRow * 16 + j;
            if (nAt >= nEnd)
                break;
            if (nAt < nCovered) {
                ++j;
                continue;
            }
            char32_t ch = 0;
            const int nBytes = CharAt(decoder, hex, row, n, j, ch);
            if (nAt >= nFirst)
                text += QString::fromUcs4(&ch, 1);
            else if (nAt + nBytes > nFirst)
                text += QString(qsizetype(std::min(nAt + nBytes, nEnd) - nFirst), QChar(kReplacement));
            nCovered = nAt + nBytes;
            j += nBytes;
        }
        bContinued = n == 17 && decoder.CodePage() != kCodePageUtf8;
    }
    return text;
}
