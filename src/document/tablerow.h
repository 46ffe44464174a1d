#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class CCharTable;
class CHexDoc;

// The text column of a row read through a table (see CCharTable), shared by
// the window, printing and --dump. Every byte keeps its own cell, so the hex
// pairs and the text stay aligned: a key's text is drawn over the key's cells
// (squeezed when wider), a byte no key covers shows '.', and a key that
// starts in the row and ends in the next is drawn up to the spill column,
// column 16 of the text column; the next row shows '.' for its bytes there.
struct CTableCell {
    int nCell = 0;    // from the text column's start
    int nCells = 1;   // 17 - nCell at most: the spill column is the last
    QString text;
};

// Bytes of a document read for CTableRow and CCharTable::Decode: nLength bytes
// at pData, the document's from offset nBase on, and nLanding, the first offset
// at or after the one asked for that the walk from the document's start lands
// on (nBase <= nLanding). pData is null when the bytes could not be read.
struct CTableBytes {
    const std::uint8_t* pData = nullptr;
    std::uint32_t nLength = 0;
    qint64 nBase = 0;
    qint64 nLanding = 0;
};

class CTableRow {
public:
    // Reads the bytes from nFirst up to nEnd of doc and the kMaxKeyLength after
    // them (fewer at its end), and enough before nFirst to find where the walk
    // lands: 64 KiB first, where walks nearly always meet, then 16 times as much
    // each time they did not, down to the start. hold keeps a copy when one is
    // needed. Null pData also when the bytes pass 4 GiB.
    static CTableBytes Read(const CCharTable& table, const CHexDoc& doc, qint64 nFirst, qint64 nEnd,
                            QByteArray& hold);
    // The cells of the row at nRowStart of the nLength bytes at pData, where
    // nLanding is the first offset in the row the walk lands on
    // (CCharTable::LandingAt); bytes before it show '.'. Returns the first
    // offset the walk lands on past the row, the next row's nLanding.
    static std::uint32_t Cells(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                               std::uint32_t nRowStart, std::uint32_t nLanding, std::vector<CTableCell>& cells);
    // The same row's text column as UTF-8 for --dump: each cell's text once,
    // '.' for the bytes that have none, written at pOut, which moves past it
    // and needs room for MaxUtf8(table) bytes. Returns the next row's nLanding.
    static std::uint32_t WriteUtf8(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                                   std::uint32_t nRowStart, std::uint32_t nLanding, char*& pOut);
    static std::size_t MaxUtf8(const CCharTable& table);
    // The whole lines of nRows rows of --dump from the start of the nLength
    // bytes at pData, each row's 16 bytes and the byte after them among them:
    // the offset (nFileOffset for the first row) in nOffsetColumns, the hex
    // part, the text column and a newline, trailing blanks dropped, written
    // at p; nLanding moves along as WriteUtf8's does. Returns the end.
    static char* FormatLines(const CCharTable& table, const std::uint8_t* pData, std::uint32_t nLength,
                             std::uint32_t nRows, std::uint64_t nFileOffset, int nOffsetColumns,
                             std::uint32_t& nLanding, char* p);

    // Makes WriteUtf8 take the plain way through its common rows, which
    // processors without SSSE3 take, so that tests can compare both ways.
    static bool s_bPlainSteps;
    // Makes FormatLines take the SSSE3 way where the processor has a faster
    // one (AVX-512), so that tests can compare that way too.
    static bool s_bSsse3Steps;
};
