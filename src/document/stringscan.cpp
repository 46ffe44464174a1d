#include "stringscan.h"

#include "codepage.h"
#include "utf8.h"

#include <cstdio>

namespace {

void AppendUtf8(char32_t ch, std::string& out)
{
    if (ch < 0x80) {
        out += char(ch);
    } else if (ch < 0x800) {
        out += char(0xC0 | (ch >> 6));
        out += char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += char(0xE0 | (ch >> 12));
        out += char(0x80 | ((ch >> 6) & 0x3F));
        out += char(0x80 | (ch & 0x3F));
    } else {
        out += char(0xF0 | (ch >> 18));
        out += char(0x80 | ((ch >> 12) & 0x3F));
        out += char(0x80 | ((ch >> 6) & 0x3F));
        out += char(0x80 | (ch & 0x3F));
    }
}

} // namespace

CStringScanner::CStringScanner(int nCodePage, int nMinChars, bool bNonAsciiOnly)
    : m_nCodePage(nCodePage), m_decoder(nCodePage), m_nMinChars(nMinChars < 1 ? 1 : nMinChars), m_bNonAsciiOnly(bNonAsciiOnly),
      m_bDoubleByte(nCodePage == 932 || nCodePage == 936 || nCodePage == 950)
{
}

int CStringScanner::CharAt(const std::uint8_t* p, std::uint32_t nLeft, bool bLast, char32_t& ch) const
{
    const std::uint8_t b = p[0];
    if (b < 0x80) {
        ch = b;
        return (b >= 0x20 && b < 0x7F) || b == '\t' ? 1 : 0;
    }
    if (m_nCodePage == kCodePageUtf8) {
        const int n = Utf8SequenceAt(p, nLeft, ch);
        if (n == 0 && !bLast && nLeft < 4)
            return -1;
        return n != 0 && IsShownChar(ch) ? n : 0;
    }
    if (m_bDoubleByte && IsLeadByte(m_nCodePage, b)) {
        if (nLeft < 2)
            return bLast ? 0 : -1;
        if (!IsTrailByte(m_nCodePage, p[1]))
            return 0;
        ch = m_decoder.DecodePair(b, p[1]);
        return ch != 0xFFFD ? 2 : 0;
    }
    if (m_bDoubleByte && !IsHalfWidthKana(m_nCodePage, b))
        return 0;
    ch = m_decoder.DecodeSingle(b);
    return ch != 0xFFFD && IsShownChar(ch) ? 1 : 0;
}

void CStringScanner::EndRun(std::vector<CTextRun>& runs)
{
    if (m_nChars >= m_nMinChars && (m_bNonAscii || !m_bNonAsciiOnly))
        runs.push_back(std::move(m_run));
    m_run.text.clear();
    m_run.nLength = 0;
    m_nChars = 0;
    m_bNonAscii = false;
}

std::uint32_t CStringScanner::Scan(const std::uint8_t* p, std::uint32_t nLength, bool bLast,
                                   std::vector<CTextRun>& runs)
{
    std::uint32_t i = 0;
    while (i < nLength) {
        // Runs of ASCII, the common case, go a byte at a time without a decoder.
        const std::uint8_t b = p[i];
        char32_t ch = b;
        int n;
        if (b < 0x80)
            n = (b >= 0x20 && b < 0x7F) || b == '\t' ? 1 : 0;
        else
            n = CharAt(p + i, nLength - i, bLast, ch);
        if (n < 0)
            break;
        if (n == 0) {
            if (m_nChars)
                EndRun(runs);
            ++i;
            continue;
        }
        if (m_run.nLength + std::uint32_t(n) > kMaxRunBytes)
            EndRun(runs);
        if (m_nChars == 0)
            m_run.nOffset = m_nOffset + i;
        m_run.nLength += std::uint32_t(n);
        ++m_nChars;
        if (b < 0x80) {
            m_run.text += char(b);
        } else {
            m_bNonAscii = true;
            AppendUtf8(ch, m_run.text);
        }
        i += std::uint32_t(n);
    }
    m_nOffset += i;
    if (bLast && i == nLength && m_nChars)
        EndRun(runs);
    return i;
}

void CStringScanner::AppendLine(const CTextRun& run, std::string& out)
{
    char offset[24];
    const int n = std::snprintf(offset, sizeof offset, "%08llX\t", static_cast<unsigned long long>(run.nOffset));
    out.append(offset, std::size_t(n));
    for (const char c : run.text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    out += '\n';
}
