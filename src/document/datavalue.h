#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include <cstdint>

// The bytes at an offset read as numbers, times and characters, and a typed
// value written back as bytes: what the Data Inspector shows and edits. Every
// conversion reads only the nAvail bytes it is given, so a caret near the end
// gives "too few bytes" rather than reading the end marker.
enum class CDataType {
    Binary8,
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Int64,
    UInt64,
    Float32,
    Float64,
    UnixTime32,
    CharGB,       // code page 936
    CharBig5,     // 950
    CharShiftJis, // 932
    CharUtf8,
    CharUtf16,    // in the byte order chosen
    CharDocument, // in the document's own code page
};
Q_DECLARE_METATYPE(CDataType)

struct CDataFormat {
    bool bBigEndian = false;
    bool bHex = false;       // integers in hexadecimal
    int nCodePage = 936;     // the document's, for CharDocument
};

// The bytes a number or time takes; 0 for the characters, whose width varies.
int DataTypeWidth(CDataType type);
bool IsCharType(CDataType type);
// The code page a character type reads (1200 for UTF-16).
int CharTypeCodePage(CDataType type, const CDataFormat& format);

struct CDataReading {
    enum Status { Ok, TooFewBytes, NotACharacter };
    Status status = Ok;
    QString text;        // the value, or for a character the character
    int nBytes = 0;      // bytes read (a character's length); the width needed for TooFewBytes
};
CDataReading ReadDataValue(CDataType type, const std::uint8_t* p, std::uint32_t nAvail, const CDataFormat& format);

// A typed value as the bytes to write, or why not.
struct CDataWriting {
    enum Status { Ok, NotANumber, OutOfRange, NotOneCharacter, NotEncodable };
    Status status = Ok;
    QByteArray bytes;
    QString range;       // for NotANumber and OutOfRange: the values the type takes
};
CDataWriting ParseDataValue(CDataType type, const QString& text, const CDataFormat& format);

// A character's bytes as hex pairs, "D6 D0".
QString HexBytes(const std::uint8_t* p, int n);
