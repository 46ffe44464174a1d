#include "parsepattern.h"

#include "chartable.h"
#include "codepage.h"

namespace {

bool IsSeparator(QChar ch)
{
    return ch == QLatin1Char(' ') || ch == QLatin1Char(',') || ch == QLatin1Char('\t') || ch == QLatin1Char('\n');
}

} // namespace

CEncodedText ParsePattern(const QString& strText, int nCodePage, const CCharTable* pTable)
{
    CEncodedText pattern;
    const qsizetype nLength = strText.size();
    for (qsizetype i = 0; i < nLength;) {
        if (IsSeparator(strText.at(i))) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < nLength && !IsSeparator(strText.at(j)))
            ++j;
        if (j - i != 2 || !IsHexDigit(strText.at(i).unicode()) || !IsHexDigit(strText.at(i + 1).unicode()))
            return pTable ? pTable->Encode(strText) : EncodeText(nCodePage, strText);
        const char digits[3] = {char(strText.at(i).unicode()), char(strText.at(i + 1).unicode()), 0};
        pattern.bytes.append(char(HexToByte(digits)));
        i = j;
    }
    return pattern;
}
