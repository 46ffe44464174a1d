#include "textcodec.h"

#include <QStringDecoder>

CTextCodec::CTextCodec(const QByteArray& name)
    : m_name(QStringDecoder(name.constData()).isValid() ? name : QByteArray("ISO-8859-1"))
{
}

QString CTextCodec::Decode(QByteArrayView bytes) const
{
    QStringDecoder decoder(m_name.constData());
    return decoder.decode(bytes);
}
