#include "datavalue.h"

#include "codepage.h"
#include "textdecoder.h"
#include "textencoder.h"
#include "utf8.h"

#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kCodePageUtf16 = 1200;

std::uint64_t LoadUnsigned(const std::uint8_t* p, int nWidth, bool bBigEndian)
{
    std::uint64_t v = 0;
    for (int i = 0; i < nWidth; ++i)
        v |= std::uint64_t(p[bBigEndian ? i : nWidth - 1 - i]) << (8 * (nWidth - 1 - i));
    return v;
}

QByteArray StoreUnsigned(std::uint64_t v, int nWidth, bool bBigEndian)
{
    QByteArray bytes(nWidth, '\0');
    for (int i = 0; i < nWidth; ++i)
        bytes[bBigEndian ? nWidth - 1 - i : i] = char(std::uint8_t(v >> (8 * i)));
    return bytes;
}

std::int64_t SignExtend(std::uint64_t v, int nWidth)
{
    if (nWidth == 8)
        return std::int64_t(v);
    const std::uint64_t sign = std::uint64_t(1) << (8 * nWidth - 1);
    return std::int64_t((v ^ sign) - sign);
}

bool IsSigned(CDataType type)
{
    return type == CDataType::Int8 || type == CDataType::Int16 || type == CDataType::Int32
        || type == CDataType::Int64 || type == CDataType::UnixTime32;
}

QString FormatInteger(std::int64_t nSigned, std::uint64_t nUnsigned, bool bSigned, bool bHex)
{
    if (!bHex)
        return bSigned ? QString::number(nSigned) : QString::number(nUnsigned);
    if (bSigned && nSigned < 0)
        return QLatin1String("-0x") + QString::number(0 - std::uint64_t(nSigned), 16).toUpper();
    return QLatin1String("0x") + QString::number(bSigned ? std::uint64_t(nSigned) : nUnsigned, 16).toUpper();
}

QString FormatFloat(double v, bool bSingle)
{
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    char buffer[64];
    // The shortest text that reads back as the same value.
    const auto result = bSingle ? std::to_chars(buffer, buffer + sizeof buffer, float(v))
                                : std::to_chars(buffer, buffer + sizeof buffer, v);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

QString FormatTime(std::int64_t nSeconds)
{
    return QDateTime::fromSecsSinceEpoch(nSeconds, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        + QLatin1String(" UTC");
}

QString CharText(char32_t ch)
{
    const bool bShown = ch < 0x80 ? ch >= 0x20 && ch != 0x7F : IsShownChar(ch);
    if (!bShown)
        return QStringLiteral("U+%1").arg(quint32(ch), 4, 16, QLatin1Char('0')).toUpper();
    return QString::fromUcs4(&ch, 1);
}

// The character at p in a code page with or without a double-byte rule.
CDataReading ReadCodePageChar(int nCodePage, const std::uint8_t* p, std::uint32_t nAvail)
{
    CDataReading r;
    const std::uint8_t b = p[0];
    char32_t ch = b;
    r.nBytes = 1;
    if (nCodePage == kCodePageUtf8) {
        if (b >= 0x80) {
            const int nNeeded = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 1;
            r.nBytes = Utf8SequenceAt(p, nAvail, ch);
            if (r.nBytes == 0) {
                bool bCut = nAvail < std::uint32_t(nNeeded);
                for (std::uint32_t i = 1; bCut && i < nAvail; ++i)
                    bCut = (p[i] & 0xC0) == 0x80;
                r.status = bCut ? CDataReading::TooFewBytes : CDataReading::NotACharacter;
                r.nBytes = bCut ? nNeeded : 1;
                return r;
            }
        }
    } else if (b >= 0x80) {
        const CTextDecoder decoder(nCodePage);
        if (IsLeadByte(nCodePage, b)) {
            if (nAvail < 2) {
                r.status = CDataReading::TooFewBytes;
                r.nBytes = 2;
                return r;
            }
            if (!IsTrailByte(nCodePage, p[1])) {
                r.status = CDataReading::NotACharacter;
                return r;
            }
            r.nBytes = 2;
            ch = decoder.DecodePair(b, p[1]);
        } else {
            ch = decoder.DecodeSingle(b);
        }
    }
    if (nCodePage != kCodePageUtf8 && ch == 0xFFFD) {
        r.status = CDataReading::NotACharacter;
        return r;
    }
    r.text = CharText(ch);
    return r;
}

CDataReading ReadUtf16Char(const std::uint8_t* p, std::uint32_t nAvail, bool bBigEndian)
{
    CDataReading r;
    r.nBytes = 2;
    if (nAvail < 2) {
        r.status = CDataReading::TooFewBytes;
        return r;
    }
    const auto first = char16_t(LoadUnsigned(p, 2, bBigEndian));
    char32_t ch = first;
    if (QChar::isLowSurrogate(first)) {
        r.status = CDataReading::NotACharacter;
        return r;
    }
    if (QChar::isHighSurrogate(first)) {
        r.nBytes = 4;
        if (nAvail < 4) {
            r.status = CDataReading::TooFewBytes;
            return r;
        }
        const auto second = char16_t(LoadUnsigned(p + 2, 2, bBigEndian));
        if (!QChar::isLowSurrogate(second)) {
            r.nBytes = 2;
            r.status = CDataReading::NotACharacter;
            return r;
        }
        ch = QChar::surrogateToUcs4(first, second);
    }
    r.text = CharText(ch);
    return r;
}

// Integer limits of a type, as the two ends of its range.
void IntegerRange(CDataType type, std::int64_t& nMin, std::uint64_t& nMax)
{
    const int nBits = 8 * DataTypeWidth(type);
    if (IsSigned(type)) {
        nMax = (std::uint64_t(1) << (nBits - 1)) - 1;
        nMin = -std::int64_t(nMax) - 1;
    } else {
        nMin = 0;
        nMax = nBits == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << nBits) - 1;
    }
}

CDataWriting ParseInteger(CDataType type, QString text, const CDataFormat& format)
{
    CDataWriting w;
    std::int64_t nMin;
    std::uint64_t nMax;
    IntegerRange(type, nMin, nMax);
    const bool bSigned = IsSigned(type);
    w.range = FormatInteger(nMin, 0, bSigned, format.bHex) + QStringLiteral(" … ")
        + FormatInteger(std::int64_t(nMax), nMax, false, format.bHex);
    bool bNegative = false;
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) {
        bNegative = text[0] == QLatin1Char('-');
        text.remove(0, 1);
    }
    int nBase = format.bHex ? 16 : 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        nBase = 16;
        text.remove(0, 2);
    }
    const bool bDigits = !text.isEmpty() && std::all_of(text.begin(), text.end(), [nBase](QChar c) {
        return c.unicode() < 0x80 && (nBase == 16 ? IsHexDigit(c.unicode()) : c.isDigit());
    });
    if (!bDigits) {
        w.status = CDataWriting::NotANumber;
        return w;
    }
    bool bOk = false;
    const std::uint64_t nMagnitude = text.toULongLong(&bOk, nBase);
    const std::uint64_t nNegativeLimit = std::uint64_t(0) - std::uint64_t(nMin);
    if (!bOk || (bNegative ? nMagnitude > nNegativeLimit : nMagnitude > nMax)) {
        w.status = CDataWriting::OutOfRange;
        return w;
    }
    const std::uint64_t v = bNegative ? std::uint64_t(0) - nMagnitude : nMagnitude;
    w.bytes = StoreUnsigned(v, DataTypeWidth(type), format.bBigEndian);
    return w;
}

CDataWriting ParseFloat(CDataType type, QString text, const CDataFormat& format)
{
    CDataWriting w;
    const bool bSingle = type == CDataType::Float32;
    w.range = bSingle ? QStringLiteral("±3.4028235e+38") : QStringLiteral("±1.7976931348623157e+308");
    if (text.startsWith(QLatin1Char('+')))
        text.remove(0, 1);
    const QByteArray latin = text.toLatin1();
    double v = 0;
    const auto result = std::from_chars(latin.constData(), latin.constData() + latin.size(), v);
    if (latin.isEmpty() || text.size() != latin.size() || result.ptr != latin.constData() + latin.size()
        || (result.ec != std::errc() && result.ec != std::errc::result_out_of_range)) {
        w.status = CDataWriting::NotANumber;
        return w;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the wider type tells which; a
        // value too close to zero is written as the nearest the type holds.
        long double wide = 0;
        std::from_chars(latin.constData(), latin.constData() + latin.size(), wide);
        if (std::fabs(wide) > 1)
            w.status = CDataWriting::OutOfRange;
        v = double(wide);
    }
    if (bSingle && std::isfinite(v) && std::abs(v) > double(std::numeric_limits<float>::max()))
        w.status = CDataWriting::OutOfRange;
    if (w.status != CDataWriting::Ok)
        return w;
    std::uint64_t bits;
    if (bSingle) {
        const float f = float(v);
        std::uint32_t n;
        std::memcpy(&n, &f, 4);
        bits = n;
    } else {
        std::memcpy(&bits, &v, 8);
    }
    w.bytes = StoreUnsigned(bits, bSingle ? 4 : 8, format.bBigEndian);
    return w;
}

CDataWriting ParseTime(QString text, const CDataFormat& format)
{
    CDataWriting w;
    w.range = FormatTime(std::numeric_limits<std::int32_t>::min()) + QStringLiteral(" … ")
        + FormatTime(std::numeric_limits<std::int32_t>::max());
    if (text.endsWith(QLatin1String("UTC")))
        text = text.chopped(3).trimmed();
    QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid())
        time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!time.isValid()) {
        w.status = CDataWriting::NotANumber;
        return w;
    }
    time.setTimeSpec(Qt::UTC);
    const qint64 nSeconds = time.toSecsSinceEpoch();
    if (nSeconds < std::numeric_limits<std::int32_t>::min() || nSeconds > std::numeric_limits<std::int32_t>::max()) {
        w.status = CDataWriting::OutOfRange;
        return w;
    }
    w.bytes = StoreUnsigned(std::uint64_t(nSeconds), 4, format.bBigEndian);
    return w;
}

CDataWriting ParseBinary(const QString& text)
{
    CDataWriting w;
    w.range = QStringLiteral("00000000 … 11111111");
    if (text.isEmpty()
        || !std::all_of(text.begin(), text.end(), [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('1'); })) {
        w.status = CDataWriting::NotANumber;
        return w;
    }
    bool bOk = false;
    const qulonglong v = text.toULongLong(&bOk, 2);
    if (!bOk || v > 0xFF) {
        w.status = CDataWriting::OutOfRange;
        return w;
    }
    w.bytes = QByteArray(1, char(v));
    return w;
}

CDataWriting ParseChar(CDataType type, const QString& text, const CDataFormat& format)
{
    CDataWriting w;
    const QList<uint> ucs = text.toUcs4();
    if (ucs.size() != 1) {
        w.status = CDataWriting::NotOneCharacter;
        return w;
    }
    const int nCodePage = CharTypeCodePage(type, format);
    if (nCodePage == kCodePageUtf16) {
        for (QChar c : text)
            w.bytes += StoreUnsigned(c.unicode(), 2, format.bBigEndian);
        return w;
    }
    CEncodedText encoded = EncodeText(nCodePage, text);
    if (!encoded.bOk) {
        w.status = CDataWriting::NotEncodable;
        return w;
    }
    w.bytes = encoded.bytes;
    return w;
}

} // namespace

int DataTypeWidth(CDataType type)
{
    switch (type) {
    case CDataType::Binary8:
    case CDataType::Int8:
    case CDataType::UInt8:
        return 1;
    case CDataType::Int16:
    case CDataType::UInt16:
        return 2;
    case CDataType::Int32:
    case CDataType::UInt32:
    case CDataType::Float32:
    case CDataType::UnixTime32:
        return 4;
    case CDataType::Int64:
    case CDataType::UInt64:
    case CDataType::Float64:
        return 8;
    default:
        return 0;
    }
}

bool IsCharType(CDataType type)
{
    return DataTypeWidth(type) == 0;
}

int CharTypeCodePage(CDataType type, const CDataFormat& format)
{
    switch (type) {
    case CDataType::CharGB:
        return 936;
    case CDataType::CharBig5:
        return 950;
    case CDataType::CharShiftJis:
        return 932;
    case CDataType::CharUtf8:
        return kCodePageUtf8;
    case CDataType::CharUtf16:
        return kCodePageUtf16;
    default:
        return format.nCodePage;
    }
}

CDataReading ReadDataValue(CDataType type, const std::uint8_t* p, std::uint32_t nAvail, const CDataFormat& format)
{
    if (IsCharType(type)) {
        if (nAvail == 0) {
            CDataReading r;
            r.status = CDataReading::TooFewBytes;
            r.nBytes = 1;
            return r;
        }
        const int nCodePage = CharTypeCodePage(type, format);
        return nCodePage == kCodePageUtf16 ? ReadUtf16Char(p, nAvail, format.bBigEndian)
                                           : ReadCodePageChar(nCodePage, p, nAvail);
    }
    CDataReading r;
    const int nWidth = DataTypeWidth(type);
    r.nBytes = nWidth;
    if (nAvail < std::uint32_t(nWidth)) {
        r.status = CDataReading::TooFewBytes;
        return r;
    }
    const std::uint64_t v = LoadUnsigned(p, nWidth, format.bBigEndian);
    switch (type) {
    case CDataType::Binary8:
        r.text = QStringLiteral("%1").arg(uint(v), 8, 2, QLatin1Char('0'));
        break;
    case CDataType::Float32: {
        const auto n = std::uint32_t(v);
        float f;
        std::memcpy(&f, &n, 4);
        r.text = FormatFloat(f, true);
        break;
    }
    case CDataType::Float64: {
        double d;
        std::memcpy(&d, &v, 8);
        r.text = FormatFloat(d, false);
        break;
    }
    case CDataType::UnixTime32:
        r.text = FormatTime(SignExtend(v, 4));
        break;
    default:
        r.text = FormatInteger(SignExtend(v, nWidth), v, IsSigned(type), format.bHex);
        break;
    }
    return r;
}

CDataWriting ParseDataValue(CDataType type, const QString& typed, const CDataFormat& format)
{
    const QString text = IsCharType(type) ? typed : typed.trimmed();
    switch (type) {
    case CDataType::Binary8:
        return ParseBinary(text);
    case CDataType::Float32:
    case CDataType::Float64:
        return ParseFloat(type, text, format);
    case CDataType::UnixTime32:
        return ParseTime(text, format);
    default:
        return IsCharType(type) ? ParseChar(type, text, format) : ParseInteger(type, text, format);
    }
}

QString HexBytes(const std::uint8_t* p, int n)
{
    QString text;
    for (int i = 0; i < n; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += QStringLiteral("%1").arg(p[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}
