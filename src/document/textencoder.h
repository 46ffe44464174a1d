#pragma once

#include <QByteArray>
#include <QStringView>

// Text written as the bytes of a code page: the one encoder behind typed
// characters, other programs' text pasted in, and the find and replace texts, so
// that all of them write what the text column reads back (see CTextDecoder).
//
// A character is written only when its bytes read back as itself in the text
// column: one byte below 0x80 for ASCII, a byte from 0x80 that is no lead byte,
// or a lead byte with its trail byte; in UTF-8 (65001) every character but half
// a surrogate pair. Anything else, a codec's substitute bytes included, refuses
// the whole text: no byte is written and the result names the first character
// refused.
struct CEncodedText {
    QByteArray bytes;
    bool bOk = true;
    // The first character the code page cannot hold, and its index in the text.
    char32_t chRefused = 0;
    qsizetype nRefusedAt = -1;
};

CEncodedText EncodeText(int nCodePage, QStringView text);
