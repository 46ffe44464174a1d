#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

CTextCodec::CTextCodec(const QByteArray& name)
    : m_name(QStringEncoder(name.constData()).isValid() ? name : QByteArray("ISO-8859-1"))
{
}

QByteArray CTextCodec::Encode(QStringView text) const
{
    QByteArray out;
    out.reserve(text.size());
    QStringEncoder encoder(m_name.constData(), QStringConverter::Flag::Stateless);
    QStringDecoder decoder(m_name.constData(), QStringConverter::Flag::Stateless);
    for (qsizetype i = 0; i < text.size();) {
        const QChar ch = text[i];
        if (ch.unicode() < 0x80) {
            // Every code page the program uses keeps ASCII as it is.
            out += char(ch.unicode());
            ++i;
            continue;
        }
        const qsizetype n = ch.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView one = text.mid(i, n);
        // A character holds when its bytes read back as itself; this also catches
        // a codec's own substitute bytes, which it does not always report.
        const QByteArray bytes = encoder.encode(one);
        const QString back = decoder.decode(bytes);
        if (!bytes.isEmpty() && back == one)
            out += bytes;
        else
            out += '?';
        i += n;
    }
    return out;
}

QString CTextCodec::Decode(QByteArrayView bytes) const
{
    QStringDecoder decoder(m_name.constData());
    return decoder.decode(bytes);
}
