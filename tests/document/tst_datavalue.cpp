#include "datavalue.h"

#include <QTest>

// The inspector's conversions, both ways, in both byte orders: each row gives
// bytes, a type and the text they read as; reading them must give the text
// and parsing the text must give the bytes back.
class TestDataValue : public QObject {
    Q_OBJECT

private slots:
    void readAndParse_data();
    void readAndParse();
    void readNearEnd_data();
    void readNearEnd();
    void characters_data();
    void characters();
    void refusals_data();
    void refusals();
};

namespace {

CDataFormat Format(bool bBigEndian, bool bHex = false, int nCodePage = 936)
{
    CDataFormat format;
    format.bBigEndian = bBigEndian;
    format.bHex = bHex;
    format.nCodePage = nCodePage;
    return format;
}

const std::uint8_t* Bytes(const QByteArray& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

} // namespace

void TestDataValue::readAndParse_data()
{
    QTest::addColumn<CDataType>("type");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    using T = CDataType;
    QTest::newRow("binary") << T::Binary8 << false << false << QByteArray("\x05", 1) << "00000101";
    QTest::newRow("int8 most negative") << T::Int8 << false << false << QByteArray("\x80", 1) << "-128";
    QTest::newRow("uint8 hex") << T::UInt8 << false << true << QByteArray("\xFF", 1) << "0xFF";
    QTest::newRow("int16 LE") << T::Int16 << false << false << QByteArray("\xFE\xFF", 2) << "-2";
    QTest::newRow("int16 BE") << T::Int16 << true << false << QByteArray("\xFF\xFE", 2) << "-2";
    QTest::newRow("uint16 BE") << T::UInt16 << true << false << QByteArray("\x12\x34", 2) << "4660";
    QTest::newRow("uint16 LE") << T::UInt16 << false << false << QByteArray("\x34\x12", 2) << "4660";
    QTest::newRow("int32 most negative BE") << T::Int32 << true << false << QByteArray("\x80\0\0\0", 4) << "-2147483648";
    QTest::newRow("int32 hex negative") << T::Int32 << false << true << QByteArray("\xFF\xFF\xFF\xFF", 4) << "-0x1";
    QTest::newRow("uint32 LE") << T::UInt32 << false << false << QByteArray("\x78\x56\x34\x12", 4) << "305419896";
    QTest::newRow("int64 most negative LE") << T::Int64 << false << false << QByteArray("\0\0\0\0\0\0\0\x80", 8)
                                           << "-9223372036854775808";
    QTest::newRow("int64 most negative hex") << T::Int64 << true << true << QByteArray("\x80\0\0\0\0\0\0\0", 8)
                                            << "-0x8000000000000000";
    QTest::newRow("uint64 max") << T::UInt64 << true << false << QByteArray(8, '\xFF') << "18446744073709551615";
    QTest::newRow("float32 one BE") << T::Float32 << true << false << QByteArray("\x3F\x80\0\0", 4) << "1";
    QTest::newRow("float32 one LE") << T::Float32 << false << false << QByteArray("\0\0\x80\x3F", 4) << "1";
    QTest::newRow("float32 0.1") << T::Float32 << true << false << QByteArray("\x3D\xCC\xCC\xCD", 4) << "0.1";
    QTest::newRow("float32 negative zero") << T::Float32 << true << false << QByteArray("\x80\0\0\0", 4) << "-0";
    QTest::newRow("float32 infinity") << T::Float32 << true << false << QByteArray("\x7F\x80\0\0", 4) << "Infinity";
    QTest::newRow("float32 NaN") << T::Float32 << true << false << QByteArray("\x7F\xC0\0\0", 4) << "NaN";
    QTest::newRow("float64 -infinity LE") << T::Float64 << false << false << QByteArray("\0\0\0\0\0\0\xF0\xFF", 8)
                                         << "-Infinity";
    QTest::newRow("float64 0.1 BE") << T::Float64 << true << false << QByteArray("\x3F\xB9\x99\x99\x99\x99\x99\x9A", 8)
                                   << "0.1";
    QTest::newRow("float64 negative zero") << T::Float64 << false << false << QByteArray("\0\0\0\0\0\0\0\x80", 8) << "-0";
    QTest::newRow("float64 NaN") << T::Float64 << true << false << QByteArray("\x7F\xF8\0\0\0\0\0\0", 8) << "NaN";
    QTest::newRow("unix time zero") << T::UnixTime32 << false << false << QByteArray(4, '\0') << "1970-01-01 00:00:00 UTC";
    QTest::newRow("unix time most negative") << T::UnixTime32 << true << false << QByteArray("\x80\0\0\0", 4)
                                            << "1901-12-13 20:45:52 UTC";
    QTest::newRow("unix time 2038") << T::UnixTime32 << false << false << QByteArray("\xFF\xFF\xFF\x7F", 4)
                                   << "2038-01-19 03:14:07 UTC";
}

void TestDataValue::readAndParse()
{
    QFETCH(CDataType, type);
    QFETCH(bool, bigEndian);
    QFETCH(bool, hex);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const CDataFormat format = Format(bigEndian, hex);
    // More bytes than the type takes: only its width is read.
    const QByteArray padded = bytes + QByteArray(8, '\x55');
    const CDataReading reading = ReadDataValue(type, Bytes(padded), std::uint32_t(padded.size()), format);
    QCOMPARE(reading.status, CDataReading::Ok);
    QCOMPARE(reading.text, text);
    const CDataWriting writing = ParseDataValue(type, text, format);
    QCOMPARE(writing.status, CDataWriting::Ok);
    QCOMPARE(writing.bytes, bytes);
}

void TestDataValue::readNearEnd_data()
{
    QTest::addColumn<CDataType>("type");
    QTest::addColumn<int>("avail");
    QTest::addColumn<int>("status");

    for (int n = 1; n <= 7; ++n) {
        QTest::addRow("int64, %d left", n) << CDataType::Int64 << n << int(CDataReading::TooFewBytes);
        QTest::addRow("float64, %d left", n) << CDataType::Float64 << n << int(CDataReading::TooFewBytes);
    }
    for (int n = 1; n <= 3; ++n)
        QTest::addRow("float32, %d left", n) << CDataType::Float32 << n << int(CDataReading::TooFewBytes);
    QTest::newRow("int16, 1 left") << CDataType::Int16 << 1 << int(CDataReading::TooFewBytes);
    QTest::newRow("int8, 1 left") << CDataType::Int8 << 1 << int(CDataReading::Ok);
    QTest::newRow("GB lead byte last") << CDataType::CharGB << 1 << int(CDataReading::TooFewBytes);
    QTest::newRow("UTF-8 lead with 1 of 2 more") << CDataType::CharUtf8 << 2 << int(CDataReading::TooFewBytes);
    QTest::newRow("UTF-16, 1 left") << CDataType::CharUtf16 << 1 << int(CDataReading::TooFewBytes);
}

void TestDataValue::readNearEnd()
{
    QFETCH(CDataType, type);
    QFETCH(int, avail);
    QFETCH(int, status);
    // The bytes past avail are the end marker a document keeps; never read.
    const QByteArray bytes = QByteArray("\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8", avail) + QByteArray(8, '\xFF');
    const CDataReading reading = ReadDataValue(type, Bytes(bytes), std::uint32_t(avail), Format(false));
    QCOMPARE(int(reading.status), status);
    if (reading.status == CDataReading::TooFewBytes)
        QVERIFY(reading.nBytes > avail);
}

void TestDataValue::characters_data()
{
    QTest::addColumn<CDataType>("type");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");

    using T = CDataType;
    QTest::newRow("GB pair") << T::CharGB << false << 936 << QByteArray("\xD6\xD0\x41") << QString::fromUtf8("中") << 2;
    QTest::newRow("GB ASCII") << T::CharGB << false << 936 << QByteArray("A\xD6") << "A" << 1;
    // The caret on a pair's trail byte reads from there: D0 41 is no GB pair.
    QTest::newRow("GB from trail byte") << T::CharGB << false << 936 << QByteArray("\xD0\x41") << "" << 1;
    QTest::newRow("BIG5 pair") << T::CharBig5 << false << 936 << QByteArray("\xA4\xA4") << QString::fromUtf8("中") << 2;
    QTest::newRow("Shift JIS pair") << T::CharShiftJis << false << 936 << QByteArray("\x93\xFA") << QString::fromUtf8("日") << 2;
    QTest::newRow("Shift JIS half-width kana") << T::CharShiftJis << false << 936 << QByteArray("\xB1") << QString::fromUtf8("ｱ") << 1;
    QTest::newRow("UTF-8 three bytes") << T::CharUtf8 << false << 936 << QByteArray("\xE4\xB8\xAD") << QString::fromUtf8("中") << 3;
    QTest::newRow("UTF-8 continuation byte") << T::CharUtf8 << false << 936 << QByteArray("\xB8\xAD") << "" << 1;
    QTest::newRow("UTF-16 LE") << T::CharUtf16 << false << 936 << QByteArray("\x2D\x4E") << QString::fromUtf8("中") << 2;
    QTest::newRow("UTF-16 BE") << T::CharUtf16 << true << 936 << QByteArray("\x4E\x2D") << QString::fromUtf8("中") << 2;
    QTest::newRow("UTF-16 surrogate pair") << T::CharUtf16 << true << 936 << QByteArray("\xD8\x3D\xDE\x00", 4)
                                          << QString::fromUtf8("😀") << 4;
    QTest::newRow("UTF-16 lone low surrogate") << T::CharUtf16 << true << 936 << QByteArray("\xDE\x00", 2) << "" << 2;
    QTest::newRow("document in BIG5") << T::CharDocument << false << 950 << QByteArray("\xA4\xA4") << QString::fromUtf8("中") << 2;
    QTest::newRow("document in UTF-8") << T::CharDocument << false << 65001 << QByteArray("\xE4\xB8\xAD") << QString::fromUtf8("中") << 3;
    QTest::newRow("control character") << T::CharUtf8 << false << 936 << QByteArray("\x01", 1) << "U+0001" << 1;
}

void TestDataValue::characters()
{
    QFETCH(CDataType, type);
    QFETCH(bool, bigEndian);
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(int, length);
    const CDataFormat format = Format(bigEndian, false, codePage);
    const CDataReading reading = ReadDataValue(type, Bytes(bytes), std::uint32_t(bytes.size()), format);
    QCOMPARE(reading.status, text.isEmpty() ? CDataReading::NotACharacter : CDataReading::Ok);
    QCOMPARE(reading.text, text);
    QCOMPARE(reading.nBytes, length);
    if (!text.isEmpty() && !text.startsWith(QLatin1String("U+"))) {
        const CDataWriting writing = ParseDataValue(type, text, format);
        QCOMPARE(writing.status, CDataWriting::Ok);
        QCOMPARE(writing.bytes, bytes.left(length));
    }
}

void TestDataValue::refusals_data()
{
    QTest::addColumn<CDataType>("type");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("range");

    using T = CDataType;
    using W = CDataWriting;
    QTest::newRow("int8 one past") << T::Int8 << false << "128" << int(W::OutOfRange) << "-128 … 127";
    QTest::newRow("int8 one below") << T::Int8 << false << "-129" << int(W::OutOfRange) << "-128 … 127";
    QTest::newRow("uint8 negative") << T::UInt8 << false << "-1" << int(W::OutOfRange) << "0 … 255";
    QTest::newRow("uint16 hex past") << T::UInt16 << true << "10000" << int(W::OutOfRange) << "0x0 … 0xFFFF";
    QTest::newRow("int64 one past") << T::Int64 << false << "9223372036854775808" << int(W::OutOfRange)
                                    << "-9223372036854775808 … 9223372036854775807";
    QTest::newRow("uint64 past 64 bits") << T::UInt64 << false << "18446744073709551616" << int(W::OutOfRange)
                                         << "0 … 18446744073709551615";
    QTest::newRow("int32 words") << T::Int32 << false << "twelve" << int(W::NotANumber) << "-2147483648 … 2147483647";
    QTest::newRow("int32 hex digit in decimal") << T::Int32 << false << "1F" << int(W::NotANumber)
                                               << "-2147483648 … 2147483647";
    QTest::newRow("empty") << T::UInt8 << false << "" << int(W::NotANumber) << "0 … 255";
    QTest::newRow("binary nine digits") << T::Binary8 << false << "100000000" << int(W::OutOfRange)
                                        << "00000000 … 11111111";
    QTest::newRow("binary digit 2") << T::Binary8 << false << "102" << int(W::NotANumber) << "00000000 … 11111111";
    QTest::newRow("float32 too large") << T::Float32 << false << "1e39" << int(W::OutOfRange) << "±3.4028235e+38";
    QTest::newRow("float64 too large") << T::Float64 << false << "1e309" << int(W::OutOfRange)
                                       << "±1.7976931348623157e+308";
    QTest::newRow("float comma") << T::Float64 << false << "1,5" << int(W::NotANumber) << "±1.7976931348623157e+308";
    QTest::newRow("time past 2038") << T::UnixTime32 << false << "2038-01-19 03:14:08" << int(W::OutOfRange)
                                    << "1901-12-13 20:45:52 UTC … 2038-01-19 03:14:07 UTC";
    QTest::newRow("two characters") << T::CharGB << false << QString::fromUtf8("中文") << int(W::NotOneCharacter) << "";
    QTest::newRow("kana in GB") << T::CharGB << false << QString::fromUtf8("ｱ") << int(W::NotEncodable) << "";
}

void TestDataValue::refusals()
{
    QFETCH(CDataType, type);
    QFETCH(bool, hex);
    QFETCH(QString, text);
    QFETCH(int, status);
    QFETCH(QString, range);
    const CDataWriting writing = ParseDataValue(type, text, Format(false, hex));
    QCOMPARE(int(writing.status), status);
    QVERIFY(writing.bytes.isEmpty());
    QCOMPARE(writing.range, range);
}

QTEST_APPLESS_MAIN(TestDataValue)
#include "tst_datavalue.moc"
