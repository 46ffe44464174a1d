#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text as the bytes of a code page, the way the platform's "ANSI" conversions
// make it: typed characters and other programs' clipboard text reach the program
// as such bytes, and bytes go out to other programs as text.
//
// The codec is named as QStringEncoder knows it ("windows-1252", "windows-31j",
// "GBK", ...). Encode gives each character the code page cannot hold as '?'
// (codecs substitute differently, some with bytes that read as other characters).
// Decode gives bytes the code page leaves undefined as U+FFFD. An unknown name
// reads as Latin-1.
class CTextCodec {
public:
    explicit CTextCodec(const QByteArray& name);

    QByteArray Encode(QStringView text) const;
    QString Decode(QByteArrayView bytes) const;

private:
    QByteArray m_name;
};
