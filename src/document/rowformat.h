#pragma once

#include "codepage.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

class CHexDoc;
class CTextDecoder;

// The rules that turn a document's bytes into the rows a person reads, shared by
// the view's painting, printing and the command line's --dump.
//
// A row is 79 columns: the offset ("%06X", more digits from 16 MiB on) and the
// blanks after it in columns 0-9, the 16 hexadecimal pairs with their blanks in 10-61, the
// text column in 62-77 and a spill column 78 for the second half of a double-byte
// character whose lead byte ends the row. FormatRow builds columns 10-78; the text
// column holds the document's bytes in its code page, one byte per cell.
//
// In UTF-8 (65001) a character of two to four bytes is drawn from its first
// byte's cell over one or two cells, and the cells of its other bytes stay blank.
// One that starts in the row and ends in the next is kept whole in the text
// column, which then holds up to three bytes of the next row (kMaxTextLength);
// it is drawn in the row's last cell and, when wide, the spill column, while the
// next row shows its other bytes as '.' in their own cells. A UTF-8 row thus never
// depends on the rows above it, and no byte is drawn in the spill column.
//
// Whether a row begins with the trail byte of such a character depends on how
// the bytes pair from the start of the file. IsRowContinued answers that without
// walking from offset 0. The walk always lands on the byte after one that is no
// lead byte, and in every double-byte code page here a lead byte is also a trail
// byte, so inside a run of lead bytes it takes them two by two: the parity of the
// distance from the run's start decides. Runs of lead bytes are found by scanning
// back 16 bytes at a time, and long ones are remembered. What is remembered holds
// only while it matches the buffer: every change of the buffer's bytes must call
// ReplaceInRowCache, or InvalidateRowCache with the first offset it touched. A
// change of the document's code page drops the cache by itself.
class CRowFormat {
public:
    enum : int {
        kOffsetColumns = 10,     // offset and its four blanks
        kHexPartLength = 52,     // 16 pairs, their blanks and four blanks after them
        kTextColumn = 62,        // first column of the text column
        kMaxTextLength = 19,     // 16 bytes and the three of a UTF-8 character crossing the end
        kMaxRowLength = 52 + kMaxTextLength, // FormatRow's longest result
    };

    // Row extraction, CHexDoc::GetRowText: copies the bytes of the row at nOffset
    // into hex and decides the text column's byte for each into text (room for
    // kMaxTextLength each). Returns 0 past the end, 16, 17 when the row's last byte
    // begins a double-byte character (its trail byte is then at index 16), 17-19
    // when a UTF-8 character crosses the row's end, or in the last row the bytes
    // left, end marker included. With bContinuation the row's first
    // byte is the trail byte of the previous row's spilled character and shows as
    // '.'. A lead byte shows as itself only followed by a trail byte, else as '.';
    // other bytes show as themselves when printable or half-width katakana, else
    // as '.'. In UTF-8 a well-formed sequence of a shown character keeps its bytes,
    // every other byte from 0x80 up shows as '.' and bContinuation changes nothing.
    // Entries past those produced are left alone.
    static std::uint32_t GetRowText(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage,
                                    std::uint32_t nOffset, std::uint8_t* hex, char* text, bool bContinuation);

    // Columns 10-78 of row nRow: the hex part, then the text column as the document's
    // bytes (n of them: 16, 17 when a double-byte character spills into column 78,
    // fewer in the last row). bContinued says the row's first byte is the trail
    // byte of the previous row's spilled character; it then shows as '.'. In the
    // last row the end marker's pair and every pair after it are blank and its
    // text cell is a space. Returns whether the next row is continued.
    static bool FormatRow(const CHexDoc& doc, qint64 nRow, QByteArray& strRow, bool bContinued);
    // The same into pszRow (room for kMaxRowLength), returning the length. On
    // return bContinued tells whether the next row is continued.
    static int FormatRow(const CHexDoc& doc, qint64 nRow, char* pszRow, bool& bContinued);

    // The same for the row at nOffset of pData, whose nSize bytes are the document's
    // or a part of them that holds at least the row's byte after it, unless it ends
    // with the end marker.
    static int FormatRow(const std::uint8_t* pData, std::uint32_t nSize, int nCodePage, std::uint32_t nOffset,
                         char* pszRow, bool& bContinued);

    // Columns 10-61 of a row of 16 bytes that is not the last: the hexadecimal
    // pairs and the four blanks after them, as FormatRow writes them.
    static void FormatHexPart(const std::uint8_t* row, char* pszOut);

    // A dump line's columns from 10 on: the row at nOffset as FormatRow builds it,
    // its text column turned into UTF-8 by decoder.ToUtf8, returning the end of
    // what it wrote (trailing blanks included). Rows of the kinds that make up
    // most files (ASCII, double-byte text, UTF-8 ideographs, any bytes in a code
    // page with byte masks) take a path that keeps the text column in registers
    // instead of writing it and reading it back; the result is the same byte for
    // byte. pszOut needs room for kHexPartLength + 3 * kMaxTextLength + 16 bytes.
    static char* FormatLine(const std::uint8_t* pData, std::uint32_t nSize, std::uint32_t nOffset,
                            const CTextDecoder& decoder, char* pszOut, bool& bContinued);

    // Where the processor has AVX-512 (VBMI2), the fast path of FormatLine and
    // FormatLines packs a row's characters with one compress instead of a loop
    // over them. On AMD's processors it is not taken unless allowed here (the
    // AVX2 path measured faster there), but for UTF-8 rows. Tests turn it on
    // and off, for every code page, to cover each path on such a machine.
    // Returns whether the AVX-512 path is taken from now on.
    static bool AllowAvx512(bool bAllow);
    // How the AVX-512 path looks up the UTF-8 of a double-byte row's
    // characters: by a gather, or by scalar loads of the characters' entries
    // alone (AMD's processors, where the gather was measured the slower).
    // UseGather sets the way, for tests to cover both, and returns whether the
    // AVX-512 path is taken.
    static bool UseGather(bool bGather);
    // Goes back to the paths and the look-up the processor takes by itself.
    static void UseProcessorsChoices();
    // Where the processor has AVX2 and BMI2 (and AVX-512 is not taken), the
    // fast path places a UTF-8 row's characters by pdep and pext without a
    // loop over them and ends a row without high bytes in the register; other
    // rows go as in the SSSE3 path. Tests turn that off to cover the SSSE3
    // path. Returns whether the AVX2 path is taken from now on, when AVX-512
    // is not.
    static bool AllowAvx2(bool bAllow);

    // The lines of --dump for nRows rows from nOffset of pData: each the offset
    // column for nFileOffset + 16r (nOffsetColumns wide, OffsetColumns), the
    // FormatLine of the row, without trailing blanks, and a newline. Returns
    // the end of what it wrote; pszOut needs room for 18 + kHexPartLength +
    // 3 * kMaxTextLength + 16 bytes a row. bContinued goes in for the first row
    // and comes out for the row after the last.
    static char* FormatLines(const std::uint8_t* pData, std::uint32_t nSize, std::uint32_t nOffset,
                             std::uint32_t nRows, std::uint64_t nFileOffset, int nOffsetColumns,
                             const CTextDecoder& decoder, char* pszOut, bool& bContinued);

    // Writes the offset column for nOffset into pszOut, kOffsetColumns long:
    // "%06X" and blanks up to the hex part. From 16 MiB on the offset takes seven
    // or eight digits and fewer blanks: the window draws "%06X    " and the row
    // over its end, so the hex part stays at column 10.
    static void FormatOffset(std::uint32_t nOffset, char* pszOut);
    // The offset column of a file of any length: kOffsetColumns up to 4 GiB, else
    // as many columns as the offset of its last row (the one of the end marker)
    // has digits, and two blanks, the same for every row of the file.
    static int OffsetColumns(std::uint64_t nLength);
    // Writes the offset column for nOffset, nColumns long (OffsetColumns): at
    // least six digits and blanks up to nColumns, as FormatOffset does when
    // nColumns is kOffsetColumns. An offset past the column (a file that grew
    // while it was read) keeps all its digits and two blanks. Returns the
    // columns written.
    static int FormatOffset(std::uint64_t nOffset, int nColumns, char* pszOut);

    // With bAtStart, whether row nRow begins with the trail byte of a character
    // that starts in the row above; without, whether the row's last byte begins a
    // character that ends in the next row. False past the end marker, and always
    // false in UTF-8, whose bytes each keep their own cell.
    bool IsRowContinued(const CHexDoc& doc, qint64 nRow, bool bAtStart);

    // Forgets what the cache knows about the bytes at and after nFrom.
    void InvalidateRowCache(qint64 nFrom);
    // Follows a change that replaced the nRemoved bytes at nPos by nInserted others
    // and moved the bytes after them along: what is known of the bytes before and
    // after the change is kept, so that an edit near the start of a large file
    // does not cost a scan of all that follows.
    void ReplaceInRowCache(qint64 nPos, qint64 nRemoved, qint64 nInserted);
    // Takes over runs of 0xA1-0xFE that DetectCodePage found in the document, when
    // those are the lead bytes of its code page.
    void AddLeadRuns(const CHexDoc& doc, const std::vector<CByteRange>& runs);

    // The first offset s from nFloor to nPos such that every byte from s up to
    // nPos is a lead byte of the code page.
    static std::uint32_t LeadRunStart(const std::uint8_t* pData, std::uint32_t nFloor, std::uint32_t nPos,
                                      int nCodePage);
    // Whether the walk from a byte the walk lands on, nFrom, lands on nPos too
    // rather than stepping over it as a trail byte, in a double-byte code page.
    static bool LandsOn(const std::uint8_t* pData, std::uint32_t nFrom, std::uint32_t nPos, int nCodePage);

private:
    // Bytes [nStart, nEnd) are all lead bytes.
    struct Run {
        qint64 nStart;
        qint64 nEnd;
    };

    void Attach(const CHexDoc& doc);
    qint64 RunStart(qint64 nPos);
    // LeadRunStart over the document's bytes, read backwards a block at a time.
    qint64 ReadRunStart(qint64 nFloor, qint64 nPos) const;
    void Remember(qint64 nStart, qint64 nEnd);

    // Shorter runs are quicker to scan again than to look up.
    static constexpr std::uint32_t kMinRun = kLongLeadRun;

    const CHexDoc* m_pDoc = nullptr;
    int m_nCodePage = 0;
    // Disjoint runs of lead bytes found so far, by offset.
    std::vector<Run> m_runs;
};
