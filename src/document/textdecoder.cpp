#include "textdecoder.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Tables {
    std::vector<char32_t> pairs = std::vector<char32_t>(65536, kReplacement);
    std::vector<char32_t> singles = std::vector<char32_t>(256, kReplacement);
};

// One character, or U+FFFD when the codec could not map the bytes: it then gives
// U+FFFD, more than one character, or (some codecs) the substitute control 0x1A.
char32_t Decode(QStringDecoder& decoder, const char* bytes, int n)
{
    const QString s = decoder.decode(QByteArrayView(bytes, n));
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

std::unique_ptr<Tables> BuildTables(int nCodePage)
{
    auto tables = std::make_unique<Tables>();
    for (int b = 0x20; b < 0x7F; ++b)
        tables->singles[b] = char32_t(b);
    QStringDecoder decoder(CodecNameFromCodePage(nCodePage), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return tables;
    for (int b = 0x80; b < 0x100; ++b) {
        const char byte = char(b);
        tables->singles[b] = Decode(decoder, &byte, 1);
    }
    for (int lead = 0x80; lead < 0x100; ++lead) {
        if (!IsLeadByte(nCodePage, std::uint8_t(lead)))
            continue;
        for (int trail = 0; trail < 0x100; ++trail) {
            if (!IsTrailByte(nCodePage, std::uint8_t(trail)))
                continue;
            const char pair[2] = {char(lead), char(trail)};
            tables->pairs[(lead << 8) | trail] = Decode(decoder, pair, 2);
        }
    }
    return tables;
}

const Tables& TablesFor(int nCodePage)
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<Tables>> all;
    const std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<Tables>& tables = all[nCodePage];
    if (!tables)
        tables = BuildTables(nCodePage);
    return *tables;
}

char* AppendUtf8(char32_t ch, char* out)
{
    if (ch < 0x80) {
        *out++ = char(ch);
    } else if (ch < 0x800) {
        *out++ = char(0xC0 | (ch >> 6));
        *out++ = char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        *out++ = char(0xE0 | (ch >> 12));
        *out++ = char(0x80 | ((ch >> 6) & 0x3F));
        *out++ = char(0x80 | (ch & 0x3F));
    } else {
        *out++ = char(0xF0 | (ch >> 18));
        *out++ = char(0x80 | ((ch >> 12) & 0x3F));
        *out++ = char(0x80 | ((ch >> 6) & 0x3F));
        *out++ = char(0x80 | (ch & 0x3F));
    }
    return out;
}

} // namespace

CTextDecoder::CTextDecoder(int nCodePage) : m_nCodePage(nCodePage)
{
    const Tables& tables = TablesFor(nCodePage);
    m_pPairs = tables.pairs.data();
    m_pSingles = tables.singles.data();
}

char* CTextDecoder::ToUtf8(const char* pText, int n, char* pOut) const
{
    ForEachChar(pText, n, [&pOut](int, int, char32_t ch) { pOut = AppendUtf8(ch, pOut); });
    return pOut;
}
