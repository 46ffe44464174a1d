#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Bytes of a code page read as text, for bytes that go out to other programs
// as text (the clipboard). Text coming in is the view's to encode: the
// program has one encoder, in the document.
//
// The codec is named as QStringDecoder knows it ("windows-1252", "windows-31j",
// "GBK", ...). Decode gives bytes the code page leaves undefined as U+FFFD. An
// unknown name reads as Latin-1.
class CTextCodec {
public:
    explicit CTextCodec(const QByteArray& name);

    QString Decode(QByteArrayView bytes) const;

private:
    QByteArray m_name;
};
