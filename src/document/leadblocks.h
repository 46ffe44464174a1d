#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <memory>

// What is known of each block of a file: whether all its bytes are lead bytes
// of a double-byte code page, for each lead set (932; 936 and 950; 949). The
// row formatter asks it to step back over a long run of lead bytes a block at
// a time instead of reading it, so that Ctrl+End in a gigabyte of 0xCD costs
// no more than in any other file. Blocks are noted as they are read from the
// disk, by whatever reads them (the screen, the code-page guess, a search);
// a block never read is unknown and its bytes must be looked at.
//
// The file's bytes never change while it is open (a change by another program
// stops every read), so nothing noted here ever goes stale: an edit of the
// document makes pieces, never changes a block. Notes and questions may come
// from several threads at once.
//
// The notes are kept in chunks made when a block in them is first noted, so
// that opening a file costs the same whatever its length: a sparse file of
// 64 GiB would otherwise have its megabyte of notes cleared at every open.
class CLeadBlocks {
public:
    CLeadBlocks() = default;
    ~CLeadBlocks();
    CLeadBlocks(const CLeadBlocks&) = delete;
    CLeadBlocks& operator=(const CLeadBlocks&) = delete;

    // Forgets everything; the file has nBlocks blocks.
    void Reset(qint64 nBlocks);
    // Notes the bytes of block nIndex, n of them (the last block is shorter).
    void Note(qint64 nIndex, const std::uint8_t* p, qint64 n);
    // Whether block nIndex is known to hold lead bytes of nCodePage alone.
    bool IsAllLead(qint64 nIndex, int nCodePage) const;
    // The first block of the run of blocks known to hold lead bytes of
    // nCodePage alone that ends with block nLast (nLast + 1 when that one is
    // not such a block), no lower than nFirst.
    qint64 AllLeadFrom(qint64 nFirst, qint64 nLast, int nCodePage) const;

    // The lead sets that every byte of p[0..n) belongs to, as Note keeps them.
    static std::uint8_t Classify(const std::uint8_t* p, qint64 n);

private:
    // Bit 7: the block was noted; bits 0-2: all lead bytes of each lead set.
    enum : std::uint8_t { kKnown = 0x80 };
    // A chunk's notes cover 4 GiB of a file of 64 KiB blocks.
    static constexpr qint64 kChunkBlocks = 65536;
    struct Chunk {
        std::atomic<std::uint8_t> blocks[kChunkBlocks] = {};
    };
    static std::uint8_t SetOf(int nCodePage);
    // What is noted of block nIndex (0: nothing), 0 <= nIndex < m_nBlocks.
    std::uint8_t Get(qint64 nIndex) const;
    void Clear();

    std::unique_ptr<std::atomic<Chunk*>[]> m_chunks;
    qint64 m_nBlocks = 0;
};
