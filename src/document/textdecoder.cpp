#include "textdecoder.h"

#include "byteclasses.h"
#include "rowformat.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::uint8_t kNone = 0xFF;
// An undefined pair takes two cells in the window, U+FFFD only one in a terminal:
// the blank after it keeps the text column's cells where the window has them.
constexpr char kWideReplacement[4] = {char(0xEF), char(0xBF), char(0xBD), ' '};

// The UTF-8 of a character in the bytes of a 32-bit value, first byte lowest, for
// one unaligned store; its length follows from the first byte.
std::uint32_t Utf8Of(char32_t ch)
{
    char bytes[4] = {};
    if (ch < 0x80) {
        bytes[0] = char(ch);
    } else if (ch < 0x800) {
        bytes[0] = char(0xC0 | (ch >> 6));
        bytes[1] = char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        bytes[0] = char(0xE0 | (ch >> 12));
        bytes[1] = char(0x80 | ((ch >> 6) & 0x3F));
        bytes[2] = char(0x80 | (ch & 0x3F));
    } else {
        bytes[0] = char(0xF0 | (ch >> 18));
        bytes[1] = char(0x80 | ((ch >> 12) & 0x3F));
        bytes[2] = char(0x80 | ((ch >> 6) & 0x3F));
        bytes[3] = char(0x80 | (ch & 0x3F));
    }
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// By the high four bits of the first byte; continuation bytes never come first.
int Utf8Length(std::uint32_t utf8)
{
    const std::uint32_t b = utf8 & 0xFF;
    return 1 + int(b >= 0xC0) + int(b >= 0xE0) + int(b >= 0xF0);
}

// What a character of the text column writes, ready for one store: up to four
// bytes, first byte lowest, and in the high half how many of them count.
using Output = std::uint64_t;

Output OutputOf(const char bytes[4], int nLength)
{
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return Output(value) | Output(nLength) << 32;
}

Output OutputOf(std::uint32_t utf8)
{
    return Output(utf8) | Output(Utf8Length(utf8)) << 32;
}

// Writes an output at pOut, 4 bytes stored, and returns its end.
char* Put(char* pOut, Output output)
{
    const auto bytes = std::uint32_t(output);
    std::memcpy(pOut, &bytes, 4);
    return pOut + (output >> 32);
}

// One character, or U+FFFD when the codec could not map the bytes: it then gives
// U+FFFD, more than one character, or (some codecs) the substitute control 0x1A.
char32_t OneCharacter(QStringView s)
{
    char32_t ch;
    if (s.size() == 1)
        ch = s.at(0).unicode();
    else if (s.size() == 2 && s.at(0).isHighSurrogate() && s.at(1).isLowSurrogate())
        ch = QChar::surrogateToUcs4(s.at(0), s.at(1));
    else
        return kReplacement;
    if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0))
        return kReplacement;
    return ch;
}

char32_t Decode(QStringDecoder& decoder, const char* bytes, int n)
{
    const QString s = decoder.decode(QByteArrayView(bytes, n));
    return OneCharacter(s);
}

// The pairs of one lead byte with each of the trail bytes, into out[0..]. They
// are decoded in one call, each pair followed by a space, which is no trail
// byte in any code page: whatever the codec makes of a pair it cannot map, the
// space after it comes out as itself, so the text splits back into one piece
// a pair. Should it not (a pair that decodes to a space), each pair of the row
// is decoded on its own, as the codec would see it alone.
void DecodeRow(QStringDecoder& decoder, std::uint8_t lead, const std::vector<std::uint8_t>& trails, char32_t* out)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(trails.size()) * 3);
    for (const std::uint8_t trail : trails) {
        bytes.append(char(lead));
        bytes.append(char(trail));
        bytes.append(' ');
    }
    const QString text = decoder.decode(bytes);
    std::size_t n = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char(' '))
            continue;
        if (n == trails.size())
            break;
        out[n++] = OneCharacter(QStringView(text).mid(start, i - start));
        start = i + 1;
    }
    if (n == trails.size() && start == text.size())
        return;
    for (std::size_t t = 0; t < trails.size(); ++t) {
        const char pair[2] = {char(lead), char(trails[t])};
        out[t] = Decode(decoder, pair, 2);
    }
}

} // namespace

// Pairs are kept only for lead and trail bytes of the code page, indexed by their
// places among them, which keeps the tables small enough to stay in the cache.
struct CTextDecoder::Tables {
    std::uint8_t leadIndex[256];
    std::uint8_t trailIndex[256];
    int nTrails = 0;
    std::uint32_t leadRow[256];   // where a lead byte's pairs begin
    std::vector<char32_t> pairs;
    std::vector<Output> pairsOut;
    char32_t singles[256];
    Output singlesOut[256];
    // What a character of the text column writes, by its first byte and the
    // byte after it (first byte lowest): a lead byte's pair, any other byte alone
    // (below 0x80 as itself). One look-up a character, whatever its kind; the
    // length stays beside the bytes, since working it out from them would hold
    // up the next character's store.
    std::vector<Output> charsOut;
    std::vector<std::uint32_t> cellBytesOut;   // CellBytesOut

    explicit Tables(int nCodePage)
    {
        int nLeads = 0;
        for (int b = 0; b < 256; ++b) {
            leadIndex[b] = IsLeadByte(nCodePage, std::uint8_t(b)) ? std::uint8_t(nLeads++) : kNone;
            trailIndex[b] = IsTrailByte(nCodePage, std::uint8_t(b)) ? std::uint8_t(nTrails++) : kNone;
        }
        for (int b = 0; b < 256; ++b)
            leadRow[b] = leadIndex[b] == kNone ? 0 : std::uint32_t(leadIndex[b]) * std::uint32_t(nTrails);
        pairs.assign(std::size_t(nLeads) * std::size_t(nTrails), kReplacement);
        QStringDecoder decoder(CodecNameFromCodePage(nCodePage), QStringDecoder::Flag::Stateless);
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            if (b >= 0x20 && b < 0x7F)
                singles[b] = char32_t(b);
            else
                singles[b] = b >= 0x80 && decoder.isValid() ? Decode(decoder, &byte, 1) : kReplacement;
            singlesOut[b] = OutputOf(Utf8Of(singles[b]));
        }
        std::vector<std::uint8_t> trails;
        for (int trail = 0; trail < 256; ++trail)
            if (trailIndex[trail] != kNone)
                trails.push_back(std::uint8_t(trail));
        for (int lead = 0; lead < 256 && decoder.isValid() && !trails.empty(); ++lead)
            if (leadIndex[lead] != kNone)
                DecodeRow(decoder, std::uint8_t(lead), trails, &pairs[leadRow[lead]]);
        pairsOut.reserve(pairs.size());
        for (const char32_t ch : pairs)
            pairsOut.push_back(ch == kReplacement ? OutputOf(kWideReplacement, 4) : OutputOf(Utf8Of(ch)));
        charsOut.assign(std::size_t(kWritesNothing) + 1, 0);
        for (int next = 0; next < 256; ++next) {
            for (int b = 0; b < 256; ++b) {
                Output& out = charsOut[std::size_t(next) << 8 | std::size_t(b)];
                if (leadIndex[b] == kNone)
                    out = b < 0x80 ? OutputOf(std::uint32_t(b)) : singlesOut[b];
                else if (trailIndex[next] == kNone)
                    out = OutputOf(kWideReplacement, 4);
                else
                    out = pairsOut[PairIndex(std::uint8_t(b), std::uint8_t(next))];
            }
        }
        cellBytesOut.resize(kWritesNothing);
        for (std::size_t bytes = 0; bytes < cellBytesOut.size(); ++bytes) {
            const auto b = std::uint8_t(bytes);
            const bool bPair = leadIndex[b] != kNone && trailIndex[bytes >> 8] != kNone;
            cellBytesOut[bytes] = bPair || IsShownAlone(nCodePage, b) ? std::uint32_t(charsOut[bytes]) : '.';
        }
    }

    std::size_t PairIndex(std::uint8_t lead, std::uint8_t trail) const
    {
        return leadRow[lead] + std::size_t(trailIndex[trail]);
    }
};

CTextDecoder::CTextDecoder(int nCodePage) : m_nCodePage(nCodePage), m_pClasses(&CByteClasses::For(nCodePage))
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<Tables>> all;
    const std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<Tables>& tables = all[nCodePage];
    if (!tables)
        tables = std::make_unique<Tables>(nCodePage);
    m_pTables = tables.get();
    m_pCharsOut = m_pTables->charsOut.data();
    m_pCellBytesOut = m_pTables->cellBytesOut.data();
}

char32_t CTextDecoder::DecodePair(std::uint8_t lead, std::uint8_t trail) const
{
    if (m_pTables->leadIndex[lead] == kNone || m_pTables->trailIndex[trail] == kNone)
        return kReplacement;
    return m_pTables->pairs[m_pTables->PairIndex(lead, trail)];
}

char32_t CTextDecoder::DecodeSingle(std::uint8_t b) const
{
    return m_pTables->singles[b];
}

char* CTextDecoder::ToUtf8(const char* pText, int n, char* pOut) const
{
    if (m_nCodePage == kCodePageUtf8)
        return Utf8ToUtf8(pText, n, pOut);
    // ASCII runs go out as they are; only pairs and single bytes from 0x80 need a
    // table. The column is copied first: the mask tests and the copies of runs read
    // 16 bytes at a time, and the output may overwrite the column.
    std::uint8_t text[48];
    if (n >= 16) {
        std::memcpy(text, pText, 16);
        text[16] = n > 16 ? std::uint8_t(pText[16]) : 0;
    } else {
        std::memset(text, 0, 16);
        std::memcpy(text, pText, std::size_t(n));
    }
    if (!m_pClasses->HasMasks() || n > 17) {
        ForEachChar(reinterpret_cast<const char*>(text), n, [&pOut](int, int nCells, char32_t ch) {
            if (nCells == 2 && ch == kReplacement) {
                pOut = Put(pOut, OutputOf(kWideReplacement, 4));
                return;
            }
            const std::uint32_t utf8 = Utf8Of(ch);
            std::memcpy(pOut, &utf8, 4);
            pOut += Utf8Length(utf8);
        });
        return pOut;
    }
    // A lead byte at the column's last byte has no trail byte to pair with.
    const std::uint32_t all = (1u << n) - 1;
    const std::uint32_t high = CByteClasses::HighMask(text) | (n == 17 ? std::uint32_t(text[16] >> 7) << 16 : 0);
    if ((high & all) == 0) {
        std::memcpy(pOut, text, 16);
        pOut[16] = char(text[16]);
        return pOut + n;
    }
    const std::uint32_t starts = CByteClasses::PairStarts(m_pClasses->LeadMask(text) & (all >> 1));
    // A lead byte that ends the column stands alone.
    const std::uint32_t lone = m_pTables->leadIndex[text[n - 1]] != kNone ? (1u << (n - 1)) & ~(starts << 1) : 0;
    text[17] = 0;
    // Each character takes one look-up in charsOut, pair or single byte alike:
    // the mix of the two in a row is too irregular for a branch to guess. A row
    // with ASCII in it copies runs of that 16 bytes at a time and looks up only
    // pairs and bytes from 0x80 up; a row of those alone looks up every character.
    const Output* charsOut = m_pTables->charsOut.data();
    std::uint16_t bytes;
    if ((high & all) == all) {
        for (std::uint32_t chars = all & ~(starts << 1) & ~lone; chars != 0; chars &= chars - 1) {
            std::memcpy(&bytes, text + __builtin_ctz(chars), 2);
            pOut = Put(pOut, charsOut[bytes]);
        }
    } else {
        int i = 0;
        for (std::uint32_t special = high & ~(starts << 1) & all & ~lone; special != 0; special &= special - 1) {
            const int p = __builtin_ctz(special);
            std::memcpy(pOut, text + i, 16);
            std::memcpy(&bytes, text + p, 2);
            pOut = Put(pOut + (p - i), charsOut[bytes]);
            i = p + 1 + int((starts >> p) & 1);
        }
        std::memcpy(pOut, text + i, 16);
        pOut += std::max((lone != 0 ? n - 1 : n) - i, 0);
    }
    if (lone != 0)
        pOut = Put(pOut, m_pTables->singlesOut[text[n - 1]]);
    return pOut;
}

// Each character goes out once at its first byte's cell, as the bytes it came
// from, preceded by blanks for the cells since the one before; the bytes of a
// character crossing the row's end take no cells of this row.
char* CTextDecoder::Utf8ToUtf8(const char* pText, int n, char* pOut) const
{
    // Room for a 4-byte copy from any byte of the column: a character's bytes
    // and the blanks before it go out as fixed-length copies, the output's end
    // then moved by as many as count (the output has room for the excess).
    char text[48] = {};
    std::memcpy(text, pText, std::size_t(n));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    // A column of ideographs and ASCII alone: each ideograph is followed by the
    // blank of its third cell unless that lies past the row's 16 cells.
    const CUtf8Masks masks(bytes);
    const std::uint32_t starts = masks.nIdeographs & 0xFFFF;
    const std::uint32_t all = (1u << n) - 1;
    if ((masks.nHigh & all & ~(starts | starts << 1 | starts << 2)) == 0) {
        int i = 0;
        for (std::uint32_t rest = starts; rest != 0; rest &= rest - 1) {
            const int p = __builtin_ctz(rest);
            std::memcpy(pOut, text + i, 16);
            std::memcpy(pOut + 16, text + i + 16, 4);
            pOut += p + 3 - i;
            *pOut = ' ';
            pOut += p <= 13 ? 1 : 0;
            i = p + 3;
        }
        std::memcpy(pOut, text + i, 16);
        std::memcpy(pOut + 16, text + i + 16, 4);
        return pOut + (std::max(n, i) - i);
    }
    const auto blanks = [&pOut](int nBlanks) {
        // A character is followed by at most three cells of its other bytes.
        std::memcpy(pOut, "    ", 4);
        pOut += nBlanks;
    };
    int nCells = 0;
    for (int i = 0; i < n;) {
        blanks(std::max(i - nCells, 0));
        nCells = std::max(nCells, i);
        if (IsIdeographAt(bytes + i, std::size_t(n - i))) {
            std::memcpy(pOut, text + i, 4);
            pOut += 3;
            nCells = i + 2;
            i += 3;
            continue;
        }
        char32_t ch;
        const int nBytes = bytes[i] >= 0x80 ? Utf8SequenceAt(bytes + i, std::size_t(n - i), ch) : 1;
        if (nBytes == 0) {
            const std::uint32_t utf8 = Utf8Of(kReplacement);
            std::memcpy(pOut, &utf8, 4);
            pOut += 3;
            nCells = i + 1;
            ++i;
            continue;
        }
        std::memcpy(pOut, text + i, 4);
        pOut += nBytes;
        nCells = i + (nBytes > 1 && IsWideChar(ch) ? 2 : 1);
        i += nBytes;
    }
    blanks(std::max(std::min(n, 16) - nCells, 0));
    return pOut;
}
