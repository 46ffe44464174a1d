#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CArchive;
class CBytePattern;
class CFileBlocks;
class CLongTask;

// A run of the document's bytes: nLength bytes of the file from nSource, or,
// when pAdded is set, bytes added by edits, kept at pAdded.
struct CPiece {
    qint64 nSource = 0;
    const std::uint8_t* pAdded = nullptr;
    qint64 nLength = 0;

    bool operator==(const CPiece& other) const
    {
        return nSource == other.nSource && pAdded == other.pAdded && nLength == other.nLength;
    }
};

// One edit as the pieces saw it: at piece nIndex, the pieces removed were
// replaced by the pieces inserted. Undo and Redo swap the two lists back in,
// so either costs what the pieces the edit touched cost, however many bytes
// they stand for. nPos, nRemoved and nInserted are the edit in bytes, for
// whoever tells the views.
struct CPieceStep {
    std::size_t nIndex = 0;
    std::vector<CPiece> removed;
    std::vector<CPiece> inserted;
    qint64 nPos = 0;
    qint64 nRemoved = 0;
    qint64 nInserted = 0;
};

// The document's bytes as a sequence of pieces of the file (read on demand
// through CFileBlocks) and of bytes added by edits (kept in an append-only
// buffer whose bytes never move), with 64-bit offsets. An edit splits at most
// two pieces and adds one: no byte of the file is copied or moved.
//
// Steps must be undone in the reverse order they were made and redone in the
// order they were undone, as a history does: each refers to the pieces around
// it by index.
//
// Reading (Read, Span, Find, Write) may run on another thread while no edit
// runs; an edit must not run while anything reads.
class CPieceTable {
public:
    CPieceTable();
    // The whole file as one piece; the table shares the file.
    explicit CPieceTable(std::shared_ptr<CFileBlocks> pFile);
    ~CPieceTable();

    qint64 GetLength() const { return m_starts.back(); }
    const std::vector<CPiece>& Pieces() const { return m_pieces; }
    const std::shared_ptr<CFileBlocks>& File() const { return m_pFile; }
    // The bytes the edits added, undone ones included (they stay for Redo).
    qint64 AddedBytes() const { return m_nAdded; }

    // Replaces nRemove bytes at nPos by nInsert bytes from pSrc; inserting
    // (nRemove 0), deleting (nInsert 0) and overwriting are its cases. pSrc may
    // point into a span of this table. Nothing when the range does not lie in
    // the document.
    std::optional<CPieceStep> Replace(qint64 nPos, qint64 nRemove, const std::uint8_t* pSrc, qint64 nInsert);
    // Replaces nRemove bytes at each of offsets (ascending, apart by nRemove at
    // least, within the document) by the same nInsert bytes from pSrc, as one
    // step: the pieces from the first offset on are built anew, the inserted
    // bytes stored once for all of them.
    CPieceStep ReplaceAt(const std::vector<qint64>& offsets, qint64 nRemove, const std::uint8_t* pSrc,
                         qint64 nInsert);
    // ReplaceAt in two halves, for millions of offsets: PrepareReplaceAt only
    // reads the table, so it may run on another thread while others read it
    // too, and builds the table as it will be; CommitReplace puts that in at
    // the cost of a swap. pAdded holds the nInsert bytes, stored by AddBytes
    // (nullptr when nInsert is 0); bStep keeps the pieces for Undo and Redo
    // in the step.
    struct CPrepared {
        CPieceStep step;
        std::vector<CPiece> pieces;
        std::vector<qint64> starts;
    };
    CPrepared PrepareReplaceAt(const std::vector<qint64>& offsets, qint64 nRemove, const std::uint8_t* pAdded,
                               qint64 nInsert, bool bStep) const;
    CPieceStep CommitReplace(CPrepared&& prepared);
    // How many pieces lie from the one holding nPos to the end: those a
    // ReplaceAt from nPos builds anew.
    std::size_t PiecesFrom(qint64 nPos) const
    {
        return nPos < GetLength() ? m_pieces.size() - PieceAt(nPos) : 0;
    }
    // Stores n bytes where they never move, for the pieces of an edit.
    const std::uint8_t* AddBytes(const std::uint8_t* p, qint64 n) { return Add(p, n); }
    void Undo(const CPieceStep& step) { Swap(step.nIndex, step.inserted.size(), step.removed); }
    void Redo(const CPieceStep& step) { Swap(step.nIndex, step.removed.size(), step.inserted); }

    // Copies nLength bytes at nPos into pDst. False when the range does not lie
    // in the document, or the file could not be read or changed (File()
    // says why).
    bool Read(qint64 nPos, qint64 nLength, std::uint8_t* pDst) const;
    // The nLength bytes at nPos for a reader that wants them in one run (a row
    // and its look-ahead, a search block with the pattern's overlap). When
    // they lie in one piece in memory (added bytes, or one block of the file)
    // the result points there without a copy, and hold keeps the block alive;
    // otherwise they are copied into hold. Valid while hold is unchanged and
    // no edit runs; null on failure, as Read.
    const std::uint8_t* Span(qint64 nPos, qint64 nLength, QByteArray& hold) const;

    // Writes the bytes in order to the archive's file, reporting progress;
    // throws CUserException when cancelled and CFileException when a write
    // fails or the file changed. Never holds more than a block in memory.
    void Write(const CArchive& ar) const;

    // Searches block by block with the pattern's scans, the blocks overlapping
    // by the pattern's length, as CBytePattern::FindDown and FindUp would over
    // the whole document. pTask, when given, is told of the starts passed and
    // may cancel.
    enum class FindResult { Found, NotFound, Cancelled, ReadFailed };
    FindResult Find(const CBytePattern& pattern, qint64 nFrom, bool bDown, qint64& nFound,
                    CLongTask* pTask = nullptr) const;
    // Tells found of each occurrence from nFrom on, each searched for past the
    // last one (as Replace All takes them), until found returns false. Found
    // when there was one; the task, when given, is told of the starts passed
    // and may cancel.
    FindResult FindEach(const CBytePattern& pattern, qint64 nFrom, const std::function<bool(qint64)>& found,
                        CLongTask* pTask = nullptr) const;
    // Whether the pattern matches at nAt under the whole rule, its pairing
    // walked from where the code page's walk lands before nAt. False also when
    // the bytes could not be read.
    bool MatchesAt(const CBytePattern& pattern, qint64 nAt) const;
    // The first offset q from nFloor to nPos such that the bytes [q, nPos)
    // lie in blocks of the file known to hold lead bytes of nCodePage alone
    // (CLeadBlocks); nPos when the byte before it is in no such block. What is
    // not known must still be read: the run may go on below q.
    qint64 KnownLeadStart(qint64 nFloor, qint64 nPos, int nCodePage) const;

    // Bytes of the document per block of a search; tests make it small.
    static qint64 s_nFindBlock;
    // A search down over at least this many blocks reads and scans them on
    // two threads in turn.
    static constexpr qint64 kBlocksInTurns = 4;

private:
    // Find down over two threads taking the blocks in turn (Find chooses it).
    FindResult FindDownInTurns(const CBytePattern& pattern, qint64 nFrom, qint64& nFound, CLongTask* pTask) const;
    // Replaces nCount pieces at nIndex by pieces and moves the starts after.
    void Swap(std::size_t nIndex, std::size_t nCount, const std::vector<CPiece>& pieces);
    // The piece holding nPos (< GetLength()).
    std::size_t PieceAt(qint64 nPos) const;
    // Stores n bytes where they never move; returns where.
    const std::uint8_t* Add(const std::uint8_t* p, qint64 n);
    // The first offset at or before nPos where the walk of a double-byte code
    // page lands, so that a block starting there pairs bytes as the whole
    // document does. (In piecetable_find.cpp.)
    bool LandingAtOrBefore(qint64 nPos, int nCodePage, qint64& nLanding, qint64 (&run)[2]) const;

    std::shared_ptr<CFileBlocks> m_pFile;
    std::vector<CPiece> m_pieces;
    // m_starts[i] is where piece i starts; one more than the pieces, the last
    // being the length.
    std::vector<qint64> m_starts;
    // The added bytes, in chunks that are never moved or freed while the
    // table lives: steps and pieces point into them.
    std::vector<std::unique_ptr<std::uint8_t[]>> m_chunks;
    qint64 m_nChunkUsed = 0;
    qint64 m_nChunkSize = 0;
    qint64 m_nAdded = 0;
};
