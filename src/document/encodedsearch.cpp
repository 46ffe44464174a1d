#include "encodedsearch.h"

#include "chartable.h"
#include "textdecoder.h"
#include "textencoder.h"
#include "utf8.h"

#include <algorithm>

namespace {

struct KnownEncoding {
    int nCodePage;
    const char* pszName;
};

const KnownEncoding kNames[] = {
    {936, "GB"},       {950, "BIG5"},   {932, "SJIS"}, {kCodePageUtf8, "UTF-8"}, {CEncodedSearch::kUtf16Le, "UTF-16LE"},
    {CEncodedSearch::kUtf16Be, "UTF-16BE"},
};

constexpr std::uint32_t kBefore = CEncodedSearch::kTextBefore;
constexpr std::uint32_t kAfter = CEncodedSearch::kTextAfter;

// Characters that show nothing (controls, unassigned code points, private
// use), which stray bytes around a hit decode to, show as '.'.
QString Shown(char32_t ch)
{
    if (ch == 0xFFFD || !QChar::isPrint(ch) || QChar::category(ch) == QChar::Other_PrivateUse)
        return QStringLiteral(".");
    return QString::fromUcs4(&ch, 1);
}

// The bytes a list shows around a hit: [nStart, nEnd).
void AroundHit(std::uint64_t nLength, std::uint64_t nAt, std::uint32_t nMatch, std::uint64_t& nStart,
               std::uint64_t& nEnd)
{
    nStart = nAt - std::min<std::uint64_t>(nAt, kBefore);
    nEnd = std::min<std::uint64_t>(nLength, nAt + nMatch + kAfter);
}

QString Shown(const QString& text)
{
    QString shown;
    for (const char32_t ch : text.toUcs4())
        shown += Shown(ch);
    return shown;
}

QString Decode(int nCodePage, const std::uint8_t* p, std::uint32_t n)
{
    QString text;
    if (nCodePage == CEncodedSearch::kUtf16Le || nCodePage == CEncodedSearch::kUtf16Be) {
        const bool bLe = nCodePage == CEncodedSearch::kUtf16Le;
        for (std::uint32_t i = 0; i + 1 < n; i += 2) {
            const auto u = char16_t(bLe ? p[i] | p[i + 1] << 8 : p[i] << 8 | p[i + 1]);
            // A surrogate pair is one character; a lone half shows as '.'.
            if (QChar::isHighSurrogate(u) && i + 3 < n) {
                const auto v = char16_t(bLe ? p[i + 2] | p[i + 3] << 8 : p[i + 2] << 8 | p[i + 3]);
                if (QChar::isLowSurrogate(v)) {
                    text += Shown(QChar::surrogateToUcs4(u, v));
                    i += 2;
                    continue;
                }
            }
            text += QChar::isSurrogate(u) ? QStringLiteral(".") : Shown(u);
        }
        return text;
    }
    CTextDecoder(nCodePage > 0 ? nCodePage : 1252)
        .ForEachChar(reinterpret_cast<const char*>(p), int(n), [&text](int, int, char32_t ch) { text += Shown(ch); });
    return text;
}

} // namespace

const std::vector<int>& CEncodedSearch::AllEncodings()
{
    static const std::vector<int> encodings = [] {
        std::vector<int> all;
        for (const KnownEncoding& name : kNames)
            all.push_back(name.nCodePage);
        return all;
    }();
    return encodings;
}

QString CEncodedSearch::EncodingName(int nCodePage)
{
    for (const KnownEncoding& name : kNames) {
        if (name.nCodePage == nCodePage)
            return QString::fromLatin1(name.pszName);
    }
    return QString::number(nCodePage);
}

int CEncodedSearch::EncodingFromName(const QString& name)
{
    for (const KnownEncoding& known : kNames) {
        if (name.compare(QLatin1String(known.pszName), Qt::CaseInsensitive) == 0 || name == QString::number(known.nCodePage))
            return known.nCodePage;
    }
    if (name.compare(QLatin1String("Shift_JIS"), Qt::CaseInsensitive) == 0)
        return 932;
    return 0;
}

bool CEncodedSearch::Encode(int nCodePage, QStringView text, QByteArray& bytes)
{
    if (nCodePage != kUtf16Le && nCodePage != kUtf16Be) {
        CEncodedText encoded = EncodeText(nCodePage, text);
        bytes = std::move(encoded.bytes);
        return encoded.bOk;
    }
    // UTF-16 holds every character; half a surrogate pair is none, as in UTF-8.
    bytes.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        const bool bPaired = QChar::isHighSurrogate(u) ? i + 1 < text.size() && text[i + 1].isLowSurrogate()
                                                       : !QChar::isLowSurrogate(u) || (i > 0 && text[i - 1].isHighSurrogate());
        if (!bPaired) {
            bytes.clear();
            return false;
        }
        const char lo = char(u & 0xFF);
        const char hi = char(u >> 8);
        bytes += nCodePage == kUtf16Le ? lo : hi;
        bytes += nCodePage == kUtf16Le ? hi : lo;
    }
    return true;
}

CEncodedSearch::CEncodedSearch(QStringView text, const std::vector<int>& encodings)
{
    for (int nCodePage : encodings) {
        QByteArray bytes;
        if (Encode(nCodePage, text, bytes) && !bytes.isEmpty())
            Add(EncodingName(nCodePage), bytes, nCodePage);
        else
            m_skipped += EncodingName(nCodePage);
    }
}

int CEncodedSearch::Add(const QString& name, const QByteArray& bytes, int nCodePage)
{
    m_codePages.push_back(nCodePage);
    return m_patterns.Add(name, bytes);
}

QString CEncodedSearch::TextAround(int nCodePage, const std::uint8_t* pData, std::uint64_t nLength, std::uint64_t nAt,
                                   std::uint32_t nMatch)
{
    std::uint64_t nStart = 0;
    std::uint64_t nEnd = 0;
    AroundHit(nLength, nAt, nMatch, nStart, nEnd);
    // UTF-16 keeps the hit's parity before it as well.
    const std::uint64_t nFrom = (nAt - nStart) % 2 != 0 && (nCodePage == kUtf16Le || nCodePage == kUtf16Be)
                                    ? nStart + 1
                                    : nStart;
    return Decode(nCodePage, pData + nFrom, std::uint32_t(nAt - nFrom))
        + Decode(nCodePage, pData + nAt, std::uint32_t(nEnd - nAt));
}

QString CEncodedSearch::TextAround(const CCharTable& table, const std::uint8_t* pData, std::uint64_t nLength,
                                   std::uint64_t nAt, std::uint32_t nMatch)
{
    std::uint64_t nStart = 0;
    std::uint64_t nEnd = 0;
    AroundHit(nLength, nAt, nMatch, nStart, nEnd);
    const auto nBefore = std::uint32_t(nAt - nStart);
    const auto nFrom = std::uint32_t(nEnd - nAt);
    // Each part is read as bytes of its own, so that no key runs from the
    // bytes before the hit into it.
    return Shown(table.Decode(pData + nStart, nBefore, 0, nBefore)) + Shown(table.Decode(pData + nAt, nFrom, 0, nFrom));
}
