#include "piecetable.h"

#include "archive.h"
#include "fileblocks.h"
#include "fileexception.h"

#include <QFileDevice>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Added bytes go into chunks of this size, or of the insert's size when it is
// larger, so an insert always lies in one chunk.
constexpr qint64 kChunk = qint64(1) << 20;

// Bytes written per call, and read from the file per block of a save: small
// enough to stay in the processor's cache between the read and the write.
constexpr qint64 kWriteBlock = qint64(256) << 10;
// Bytes of the file copied by the kernel per call of a save: the progress
// moves and a cancel is seen within a few milliseconds.
constexpr qint64 kCopyBlock = qint64(8) << 20;

// Whether b continues a in the same source, so that one piece can stand for both.
bool Joins(const CPiece& a, const CPiece& b)
{
    if (a.pAdded || b.pAdded)
        return a.pAdded && b.pAdded && a.pAdded + a.nLength == b.pAdded;
    return a.nSource + a.nLength == b.nSource;
}

// The piece less its first nCut bytes.
CPiece Tail(CPiece piece, qint64 nCut)
{
    piece.nLength -= nCut;
    if (piece.pAdded)
        piece.pAdded += nCut;
    else
        piece.nSource += nCut;
    return piece;
}

} // namespace

qint64 CPieceTable::s_nFindBlock = qint64(256) << 10;

CPieceTable::CPieceTable() : m_starts{0}
{
}

CPieceTable::CPieceTable(std::shared_ptr<CFileBlocks> pFile) : m_pFile(std::move(pFile)), m_starts{0}
{
    if (m_pFile && m_pFile->GetLength() > 0) {
        m_pieces.push_back(CPiece{0, nullptr, m_pFile->GetLength()});
        m_starts.push_back(m_pFile->GetLength());
    }
}

CPieceTable::~CPieceTable() = default;

std::size_t CPieceTable::PieceAt(qint64 nPos) const
{
    return std::size_t(std::upper_bound(m_starts.begin(), m_starts.end(), nPos) - m_starts.begin() - 1);
}

const std::uint8_t* CPieceTable::Add(const std::uint8_t* p, qint64 n)
{
    if (m_chunks.empty() || m_nChunkSize - m_nChunkUsed < n) {
        // One byte more than is ever used: the next chunk can then never start
        // right where this one's bytes end, which Joins would take for one run.
        m_nChunkSize = std::max(kChunk, n);
        m_chunks.emplace_back(new std::uint8_t[std::size_t(m_nChunkSize) + 1]);
        m_nChunkUsed = 0;
    }
    std::uint8_t* pTo = m_chunks.back().get() + m_nChunkUsed;
    std::memcpy(pTo, p, std::size_t(n));
    m_nChunkUsed += n;
    m_nAdded += n;
    return pTo;
}

std::optional<CPieceStep> CPieceTable::Replace(qint64 nPos, qint64 nRemove, const std::uint8_t* pSrc, qint64 nInsert)
{
    const qint64 nLength = GetLength();
    if (nPos < 0 || nRemove < 0 || nInsert < 0 || nPos > nLength || nRemove > nLength - nPos || (nInsert > 0 && !pSrc))
        return std::nullopt;
    CPieceStep step;
    step.nPos = nPos;
    step.nRemoved = nRemove;
    step.nInserted = nInsert;
    if (nRemove == 0 && nInsert == 0)
        return step;

    // Pieces [a, b) are the ones the edit cuts into; they give way to what is
    // left of them around the new bytes.
    const qint64 nEnd = nPos + nRemove;
    std::size_t a = nPos < nLength ? PieceAt(nPos) : m_pieces.size();
    std::size_t b = nRemove > 0 ? PieceAt(nEnd - 1) + 1 : (a < m_pieces.size() && m_starts[a] < nPos ? a + 1 : a);
    std::vector<CPiece> pieces;
    pieces.reserve(5);
    if (a < b && m_starts[a] < nPos)
        pieces.push_back(CPiece{m_pieces[a].nSource, m_pieces[a].pAdded, nPos - m_starts[a]});
    if (nInsert > 0)
        pieces.push_back(CPiece{0, Add(pSrc, nInsert), nInsert});
    if (a < b && nEnd < m_starts[b])
        pieces.push_back(Tail(m_pieces[b - 1], nEnd - m_starts[b - 1]));
    // A byte typed after the last one typed continues its piece, so that a
    // run of typing stays one piece.
    if (a > 0 && !pieces.empty() && Joins(m_pieces[a - 1], pieces.front()))
        pieces.insert(pieces.begin(), m_pieces[--a]);
    if (b < m_pieces.size() && !pieces.empty() && Joins(pieces.back(), m_pieces[b]))
        pieces.push_back(m_pieces[b++]);
    std::vector<CPiece> joined;
    joined.reserve(pieces.size());
    for (const CPiece& piece : pieces) {
        if (!joined.empty() && Joins(joined.back(), piece))
            joined.back().nLength += piece.nLength;
        else
            joined.push_back(piece);
    }

    step.nIndex = a;
    step.removed.assign(m_pieces.begin() + qsizetype(a), m_pieces.begin() + qsizetype(b));
    step.inserted = std::move(joined);
    Redo(step);
    return step;
}

CPieceStep CPieceTable::ReplaceAt(const std::vector<qint64>& offsets, qint64 nRemove, const std::uint8_t* pSrc,
                                  qint64 nInsert)
{
    if (offsets.empty())
        return CPieceStep();
    const std::uint8_t* pAdded = nInsert > 0 ? Add(pSrc, nInsert) : nullptr;
    return CommitReplace(PrepareReplaceAt(offsets, nRemove, pAdded, nInsert, true));
}

CPieceTable::CPrepared CPieceTable::PrepareReplaceAt(const std::vector<qint64>& offsets, qint64 nRemove,
                                                     const std::uint8_t* pAdded, qint64 nInsert, bool bStep) const
{
    CPrepared prepared;
    if (offsets.empty())
        return prepared;
    const qint64 nLength = GetLength();
    const std::size_t a = offsets.front() < nLength ? PieceAt(offsets.front()) : m_pieces.size();
    // The pieces before the first offset stay; those from it on are built.
    std::vector<CPiece>& pieces = prepared.pieces;
    pieces.reserve(a + 2 * offsets.size() + 1);
    pieces.assign(m_pieces.begin(), m_pieces.begin() + qsizetype(a));
    auto put = [&pieces, a](const CPiece& piece) {
        if (pieces.size() > a && Joins(pieces.back(), piece))
            pieces.back().nLength += piece.nLength;
        else
            pieces.push_back(piece);
    };
    // Copies the pieces of [nFrom, nTo), which never lies before piece i.
    std::size_t i = a;
    auto copy = [&](qint64 nFrom, qint64 nTo) {
        while (nFrom < nTo) {
            while (m_starts[i + 1] <= nFrom)
                ++i;
            CPiece piece = Tail(m_pieces[i], nFrom - m_starts[i]);
            piece.nLength = std::min(piece.nLength, nTo - nFrom);
            put(piece);
            nFrom += piece.nLength;
        }
    };
    qint64 nFrom = a < m_pieces.size() ? m_starts[a] : nLength;
    for (const qint64 nAt : offsets) {
        copy(nFrom, nAt);
        if (pAdded)
            put(CPiece{0, pAdded, nInsert});
        nFrom = nAt + nRemove;
    }
    copy(nFrom, nLength);
    prepared.starts.resize(pieces.size() + 1);
    prepared.starts[0] = 0;
    for (std::size_t k = 0; k < pieces.size(); ++k)
        prepared.starts[k + 1] = prepared.starts[k] + pieces[k].nLength;

    CPieceStep& step = prepared.step;
    step.nIndex = a;
    if (bStep) {
        step.removed.assign(m_pieces.begin() + qsizetype(a), m_pieces.end());
        step.inserted.assign(pieces.begin() + qsizetype(a), pieces.end());
    }
    step.nPos = offsets.front();
    step.nRemoved = nLength - step.nPos;
    step.nInserted = step.nRemoved + qint64(offsets.size()) * (nInsert - nRemove);
    return prepared;
}

CPieceStep CPieceTable::CommitReplace(CPrepared&& prepared)
{
    if (prepared.starts.empty())
        return std::move(prepared.step);
    m_pieces.swap(prepared.pieces);
    m_starts.swap(prepared.starts);
    return std::move(prepared.step);
}

void CPieceTable::Swap(std::size_t nIndex, std::size_t nCount, const std::vector<CPiece>& pieces)
{
    const auto at = m_pieces.begin() + qsizetype(nIndex);
    const std::size_t nShared = std::min(nCount, pieces.size());
    std::copy(pieces.begin(), pieces.begin() + qsizetype(nShared), at);
    if (nCount > nShared)
        m_pieces.erase(at + qsizetype(nShared), at + qsizetype(nCount));
    else
        m_pieces.insert(at + qsizetype(nShared), pieces.begin() + qsizetype(nShared), pieces.end());
    m_starts.resize(m_pieces.size() + 1);
    for (std::size_t i = nIndex; i < m_pieces.size(); ++i)
        m_starts[i + 1] = m_starts[i] + m_pieces[i].nLength;
}

bool CPieceTable::Read(qint64 nPos, qint64 nLength, std::uint8_t* pDst) const
{
    if (nPos < 0 || nLength < 0 || nPos > GetLength() || nLength > GetLength() - nPos)
        return false;
    for (std::size_t i = nLength > 0 ? PieceAt(nPos) : 0; nLength > 0; ++i) {
        const CPiece& piece = m_pieces[i];
        const qint64 nOffset = nPos - m_starts[i];
        const qint64 n = std::min(nLength, piece.nLength - nOffset);
        if (piece.pAdded)
            std::memcpy(pDst, piece.pAdded + nOffset, std::size_t(n));
        else if (!m_pFile->Read(piece.nSource + nOffset, n, pDst))
            return false;
        pDst += n;
        nPos += n;
        nLength -= n;
    }
    return true;
}

const std::uint8_t* CPieceTable::Span(qint64 nPos, qint64 nLength, QByteArray& hold) const
{
    if (nPos < 0 || nLength < 0 || nPos > GetLength() || nLength > GetLength() - nPos)
        return nullptr;
    if (nLength > 0) {
        const std::size_t i = PieceAt(nPos);
        const CPiece& piece = m_pieces[i];
        const qint64 nOffset = nPos - m_starts[i];
        if (nOffset + nLength <= piece.nLength) {
            if (piece.pAdded)
                return piece.pAdded + nOffset;
            const qint64 nFrom = piece.nSource + nOffset;
            const qint64 nBlock = m_pFile->GetBlockSize();
            if (nFrom / nBlock == (nFrom + nLength - 1) / nBlock) {
                hold = m_pFile->Block(nFrom / nBlock);
                return hold.isNull() ? nullptr : reinterpret_cast<const std::uint8_t*>(hold.constData()) + nFrom % nBlock;
            }
        }
    }
    // A block of the file's cache is shared: it is let go, never written into.
    if (!hold.isDetached() || hold.size() < nLength)
        hold = QByteArray(qsizetype(std::max<qint64>(nLength, 1)), Qt::Uninitialized);
    auto* p = reinterpret_cast<std::uint8_t*>(hold.data());
    return Read(nPos, nLength, p) ? p : nullptr;
}

void CPieceTable::Write(const CArchive& ar) const
{
    QFileDevice& file = *ar.GetFile();
    const QString name = ar.GetFileName();
    ar.SetProgressTotal(GetLength());
    auto put = [&](const std::uint8_t* p, qint64 n) {
        // A short write is followed by another, which then says why it failed.
        for (qint64 nDone = 0; nDone < n;) {
            const qint64 nPut = file.write(reinterpret_cast<const char*>(p) + nDone, n - nDone);
            if (nPut <= 0)
                throw CFileException::FromDevice(file, name, errno);
            nDone += nPut;
        }
        if (!ar.Progress(n))
            throw CUserException();
    };
    // The file's pieces are copied by the kernel where it can, as cp does;
    // the position the device keeps is moved past what it copied.
    bool bKernelCopy = file.handle() >= 0 && file.flush();
    auto copy = [&](qint64 nFrom, qint64 n) {
        int nError = 0;
        switch (m_pFile->CopyTo(nFrom, n, file.handle(), nError)) {
        case CFileBlocks::CopyResult::Done:
            if (!file.seek(file.pos() + n))
                throw CFileException::FromDevice(file, name, errno);
            if (!ar.Progress(n))
                throw CUserException();
            return true;
        case CFileBlocks::CopyResult::Unsupported:
            bKernelCopy = false;
            return false;
        case CFileBlocks::CopyResult::ReadFailed:
            throw m_pFile->Error();
        case CFileBlocks::CopyResult::WriteFailed:
            break;
        }
        throw CFileException::FromErrno(nError, name);
    };
    std::unique_ptr<std::uint8_t[]> buffer;
    for (const CPiece& piece : m_pieces) {
        for (qint64 nDone = 0; nDone < piece.nLength;) {
            if (!piece.pAdded && bKernelCopy) {
                const qint64 n = std::min(kCopyBlock, piece.nLength - nDone);
                if (copy(piece.nSource + nDone, n)) {
                    nDone += n;
                    continue;
                }
            }
            const qint64 n = std::min(kWriteBlock, piece.nLength - nDone);
            if (piece.pAdded) {
                put(piece.pAdded + nDone, n);
            } else {
                if (!buffer)
                    buffer.reset(new std::uint8_t[std::size_t(kWriteBlock)]);
                if (!m_pFile->Read(piece.nSource + nDone, n, buffer.get()))
                    throw m_pFile->Error();
                put(buffer.get(), n);
            }
            nDone += n;
        }
    }
}
