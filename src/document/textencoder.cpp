#include "textencoder.h"

#include "codepage.h"
#include "textdecoder.h"
#include "utf8.h"

#include <QStringEncoder>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool ReadsBackAs(const CTextDecoder& decoder, const QByteArray& bytes, char32_t ch)
{
    const int nCodePage = decoder.CodePage();
    if (bytes.size() == 1) {
        const auto b = std::uint8_t(bytes[0]);
        return b >= 0x80 && !IsLeadByte(nCodePage, b) && decoder.DecodeSingle(b) == ch;
    }
    if (bytes.size() == 2) {
        const auto lead = std::uint8_t(bytes[0]);
        return IsLeadByte(nCodePage, lead) && decoder.DecodePair(lead, std::uint8_t(bytes[1])) == ch;
    }
    return false;
}

} // namespace

CEncodedText EncodeText(int nCodePage, QStringView text)
{
    CEncodedText result;
    result.bytes.reserve(text.size());
    const CTextDecoder decoder(nCodePage);
    QStringEncoder encoder(CodecNameFromCodePage(nCodePage), QStringConverter::Flag::Stateless);
    for (qsizetype i = 0; i < text.size();) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            // Every code page keeps ASCII as it is, and the column shows it so.
            result.bytes += char(u);
            ++i;
            continue;
        }
        const bool bPair = QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const qsizetype n = bPair ? 2 : 1;
        const char32_t ch = bPair ? QChar::surrogateToUcs4(u, text[i + 1].unicode()) : char32_t(u);
        const bool bLoneSurrogate = QChar::isSurrogate(u) && !bPair;
        QByteArray bytes;
        bool bHolds = false;
        if (nCodePage == kCodePageUtf8) {
            // UTF-8 holds every character; only half a surrogate pair is none.
            bytes = text.mid(i, n).toUtf8();
            bHolds = !bLoneSurrogate;
        } else {
            if (encoder.isValid())
                bytes = encoder.encode(text.mid(i, n));
            bHolds = ch != kReplacement && ReadsBackAs(decoder, bytes, ch);
        }
        if (!bHolds) {
            result.bytes.clear();
            result.bOk = false;
            result.chRefused = ch;
            result.nRefusedAt = i;
            return result;
        }
        result.bytes += bytes;
        i += n;
    }
    return result;
}
