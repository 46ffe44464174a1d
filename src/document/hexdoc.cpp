#include "hexdoc.h"

#include "archive.h"
#include "codepage.h"
#include "fileblocks.h"
#include "longtask.h"
#include "fileexception.h"
#include "filename.h"
#include "resources.h"
#include "resource.h"
#include "rowformat.h"

#include <QFileDevice>
#include <QFile>
#include <QMimeDatabase>
#include <QScopeGuard>

#include <algorithm>
#include <limits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <utility>
#include <new>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

std::uint64_t CHexDoc::s_nMaxFileLength = CHexDoc::kMaxFileLength;
bool CHexDoc::s_bHugePages = false;

CHexDoc::CHexDoc()
{
    m_history.SetLimit(s_nDefaultUndoLimit);
    connect(this, &CDocument::modifiedChanged, this, [this](bool bModified) { emit cleanChanged(!bModified); });
    connect(&m_bookmarks, &CBookmarks::bookmarksChanged, this, [this] { m_bBookmarksToStore = true; });
}

CHexDoc::~CHexDoc()
{
    StopDetection();
    StoreBookmarks();
    FreeBuffer(m_pData);
}

namespace {

// Each buffer is preceded by a header saying where its memory comes from: a
// mapping of its own (its start and length), or the heap (a null start).
//
// A large buffer is a mapping: it grows and shrinks with mremap, which moves
// pages and never copies them, whatever came before (the heap's realloc copies a
// large aligned block once it has shrunk). Its data starts on a huge page, so
// that it can ask for huge pages (s_bHugePages).
struct BufferHeader {
    void* pBase;
    std::size_t nMapLength;
};
constexpr std::size_t kHeader = 16;
static_assert(sizeof(BufferHeader) <= kHeader, "the header fits before the data");
constexpr std::size_t kPage = 4096;
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kMapFrom = 4 * kHugePage;

BufferHeader& HeaderOf(std::uint8_t* pData)
{
    return *reinterpret_cast<BufferHeader*>(pData - kHeader);
}

std::size_t RoundUp(std::size_t n, std::size_t to)
{
    return (n + to - 1) & ~(to - 1);
}

// Over the whole mapping, which stays one area of memory: mremap cannot move a
// range whose parts were given different advice.
void AskForHugePages(void* pBase, std::size_t nLength)
{
#ifdef MADV_HUGEPAGE
    madvise(pBase, nLength, MADV_HUGEPAGE);
#else
    Q_UNUSED(pBase);
    Q_UNUSED(nLength);
#endif
}

// Files this long are read by several threads at once, each into its own part
// of the buffer: filling fresh memory costs more than the reading, and the cores
// share that cost.
constexpr qint64 kReadApartFrom = qint64(64) << 20;

// Reads and writes go in pieces this long: few enough to cost nothing, short
// enough that the progress moves and a cancel is seen at once.
constexpr qint64 kPiece = qint64(8) << 20;

// Reads [nFrom, nTo) of the file fd into pData, reporting each piece to ar.
// Returns 0, -1 when the file ended early, ECANCELED when the user cancelled,
// or the errno of a failed read.
int ReadRange(int fd, std::uint8_t* pData, qint64 nFrom, qint64 nTo, const CArchive& ar)
{
    for (qint64 nDone = nFrom; nDone < nTo;) {
        const std::size_t nWant = std::size_t(std::min(nTo - nDone, kPiece));
        const ssize_t nGot = pread(fd, pData + nDone, nWant, off_t(nDone));
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot <= 0)
            return nGot == 0 ? -1 : errno;
        nDone += nGot;
        if (!ar.Progress(nGot))
            return ECANCELED;
    }
    return 0;
}

// Reads the first nLength bytes of the file fd into pData, a large file by
// several threads. Returns as ReadRange does.
int ReadWhole(int fd, std::uint8_t* pData, qint64 nLength, const CArchive& ar)
{
    if (nLength < kReadApartFrom)
        return ReadRange(fd, pData, 0, nLength, ar);
    const unsigned nThreads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    const qint64 nPart = qint64(RoundUp(std::size_t(nLength / nThreads), kPage));
    std::vector<int> errors(nThreads, 0);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < nThreads; ++t) {
        const qint64 nFrom = std::min<qint64>(nLength, t * nPart);
        const qint64 nTo = t + 1 == nThreads ? nLength : std::min(nLength, nFrom + nPart);
        auto read = [=, &errors, &ar] { errors[t] = ReadRange(fd, pData, nFrom, nTo, ar); };
        if (t + 1 == nThreads)
            read();
        else
            threads.emplace_back(read);
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const int nError : errors) {
        if (nError != 0)
            return nError;
    }
    return 0;
}

} // namespace

std::uint8_t* CHexDoc::AllocBuffer(std::uint32_t nSize)
{
    // Uninitialised memory: the read or the copy that follows writes every byte.
    if (nSize < kMapFrom) {
        auto* p = static_cast<std::uint8_t*>(std::malloc(kHeader + nSize));
        if (!p)
            throw std::bad_alloc();
        HeaderOf(p + kHeader) = BufferHeader{nullptr, 0};
        return p + kHeader;
    }
    // Room for the header and for placing the data on the next huge page.
    const std::size_t nLength = RoundUp(std::size_t(nSize) + kHugePage, kPage);
    void* pBase = mmap(nullptr, nLength, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pBase == MAP_FAILED)
        throw std::bad_alloc();
    auto* pData = reinterpret_cast<std::uint8_t*>(
        RoundUp(reinterpret_cast<std::uintptr_t>(pBase) + kHeader, kHugePage));
    HeaderOf(pData) = BufferHeader{pBase, nLength};
    if (s_bHugePages)
        AskForHugePages(pBase, nLength);
    return pData;
}

void CHexDoc::FreeBuffer(std::uint8_t* pData)
{
    if (!pData)
        return;
    const BufferHeader header = HeaderOf(pData);
    if (header.pBase)
        munmap(header.pBase, header.nMapLength);
    else
        std::free(pData - kHeader);
}

void CHexDoc::SetData(std::uint8_t* pData)
{
    if (pData != m_pData)
        FreeBuffer(m_pData);
    m_pData = pData;
}

void CHexDoc::ResizeData(std::uint32_t nSize)
{
    if (!m_pData) {
        m_pData = AllocBuffer(nSize);
        return;
    }
    const BufferHeader header = HeaderOf(m_pData);
    if (header.pBase) {
        const std::size_t nOffset = std::size_t(m_pData - static_cast<std::uint8_t*>(header.pBase));
        const std::size_t nLength = RoundUp(nOffset + std::max<std::size_t>(nSize, 1), kPage);
        if (nLength == header.nMapLength)
            return;
        void* pBase = mremap(header.pBase, header.nMapLength, nLength, MREMAP_MAYMOVE);
        if (pBase == MAP_FAILED)
            throw std::bad_alloc();
        m_pData = static_cast<std::uint8_t*>(pBase) + nOffset;
        HeaderOf(m_pData) = BufferHeader{pBase, nLength};
        return;
    }
    if (nSize < kMapFrom) {
        void* p = std::realloc(m_pData - kHeader, kHeader + nSize);
        if (!p)
            throw std::bad_alloc();
        m_pData = static_cast<std::uint8_t*>(p) + kHeader;
        return;
    }
    // From the heap to a mapping: the copy is of a small buffer.
    std::uint8_t* pData = AllocBuffer(nSize);
    std::memcpy(pData, m_pData, std::min(m_nSize, nSize));
    FreeBuffer(m_pData);
    m_pData = pData;
}

bool CHexDoc::OnSaveDocument(const QString& path)
{
    if (m_pTable && WouldRewriteSource(path)) {
        const CFileException e(CFileException::rewriteWhileRead, path);
        ReportSaveLoadException(&e, true);
        return false;
    }
    // The guess reads the file on a thread of its own: it stops before the
    // save renames a new file over the name, which its check after each read
    // would take for another program's change, and starts again after it.
    const bool bGuessing = m_pTable && IsDetecting();
    StopDetection();
    const auto guessOn = qScopeGuard([this, bGuessing] {
        if (bGuessing)
            StartDetection();
    });
    if (!CDocument::OnSaveDocument(path))
        return false;
    m_history.MarkSaved();
    if (m_pTable)
        ReopenPieces(path);
    // Saved under another name, the bookmarks go with the new file; the old
    // file keeps what it had.
    const QString key = AfxCanonicalFilePath(path);
    if (m_pBookmarkProfile && key != m_strBookmarkKey) {
        m_strBookmarkKey = key;
        m_bBookmarksToStore = !m_bookmarks.IsEmpty();
        StoreBookmarks();
    }
    return true;
}

void CHexDoc::DeleteContents()
{
    // A failed load calls this too, possibly off the interface's thread; the
    // key is set only once a file is open, so that stores nothing.
    StoreBookmarks();
    StopDetection();
    m_pTable.reset();
    m_bDetected = false;
    m_leadRuns.clear();
    m_history.Clear();
    m_history.MarkSaved();
    FreeBuffer(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
}

bool CHexDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    m_pData = AllocBuffer(1);
    m_nSize = 1;
    m_pData[0] = 0xFF;
    return true;
}

void CHexDoc::Serialize(CArchive& ar)
{
    QFileDevice* file = ar.GetFile();
    const QString name = ar.GetFileName();
    if (ar.IsStoring()) {
        if (m_pTable) {
            // Refused before a byte is written when the file already changed;
            // Write refuses too when it changes while the save reads it.
            if (!IsReadable())
                throw m_pTable->File()->Error();
            // Never reached through OnSaveDocument, which refuses first; a
            // file whose attributes a new file could not carry is the case
            // that may still come here, and nothing is written over it.
            if (IsSource(file->handle()))
                throw CFileException(CFileException::rewriteWhileRead, name);
            m_pTable->Write(ar);
            return;
        }
        const qint64 nLength = qint64(m_nSize) - 1;
        ar.SetProgressTotal(nLength);
        // A short write is followed by another, which then says why it failed.
        for (qint64 nDone = 0; nDone < nLength;) {
            const qint64 nPut = file->write(reinterpret_cast<const char*>(m_pData) + nDone,
                                            std::min(nLength - nDone, kPiece));
            if (nPut <= 0)
                throw CFileException::FromDevice(*file, name, errno);
            nDone += nPut;
            if (!ar.Progress(nPut))
                throw CUserException();
        }
        return;
    }

    const int fd = file->handle();
    const qint64 length = file->size();
    if (fd < 0 || length < 0)
        throw CFileException(CFileException::genericException, name);
    if (length > s_nPieceThreshold) {
        LoadPieces(name);
        return;
    }
    if (std::uint64_t(length) > s_nMaxFileLength)
        throw TooLarge(name);
    if (length == 0) {
        ReadToEnd(fd, name, ar);
        DetectLoaded(ar);
        return;
    }
    m_nSize = std::uint32_t(length) + 1;
    m_pData = AllocBuffer(m_nSize);
    const int nError = ReadWhole(fd, m_pData, length, ar);
    if (nError < 0) {
        // The file ended before its stated length: the kernel's files under
        // /sys say 4096 bytes and hold fewer. It is read to its end as a file
        // of length 0 is, which is also how --dump reads every file.
        DeleteContents();
        if (::lseek(fd, 0, SEEK_SET) != 0)
            throw CFileException::FromErrno(errno, name);
        ReadToEnd(fd, name, ar);
        DetectLoaded(ar);
        return;
    }
    if (nError != 0) {
        DeleteContents();
        if (nError == ECANCELED)
            throw CUserException();
        throw CFileException::FromErrno(nError, name);
    }
    m_pData[m_nSize - 1] = 0xFF;
    DetectLoaded(ar);
}

// The scan reports no progress of its own: the bar turns busy while it runs,
// and a cancel asked for meanwhile is honoured when it ends.
void CHexDoc::DetectLoaded(const CArchive& ar)
{
    if (!m_bDetectOnLoad)
        return;
    ar.SetProgressTotal(0);
    m_nCodePage = DetectCodePage(m_pData, m_nSize, &m_leadRuns);
    m_bDetected = true;
    if (!ar.Progress(0)) {
        DeleteContents();
        throw CUserException();
    }
}

CFileException CHexDoc::TooLarge(const QString& name)
{
    CFileException e(CFileException::tooLarge, name);
    e.m_nLimit = s_nMaxFileLength;
    return e;
}

// A file whose length reads as 0 may still hold bytes: the kernel's files under
// /proc make theirs as they are read. It is read until it ends, in a buffer
// that doubles as it fills.
void CHexDoc::ReadToEnd(int fd, const QString& name, const CArchive& ar)
{
    std::uint32_t nRoom = 1u << 16;
    m_pData = AllocBuffer(nRoom);
    m_nSize = nRoom;
    std::uint32_t nDone = 0;
    for (;;) {
        if (nDone == nRoom) {
            if (nRoom > s_nMaxFileLength) {
                DeleteContents();
                throw TooLarge(name);
            }
            nRoom = std::uint32_t(std::min<std::uint64_t>(2 * std::uint64_t(nRoom), s_nMaxFileLength + 1));
            ResizeData(nRoom);
            m_nSize = nRoom;
        }
        const ssize_t nGot = read(fd, m_pData + nDone, nRoom - nDone);
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0) {
            const int nError = errno;
            DeleteContents();
            throw CFileException::FromErrno(nError, name);
        }
        if (nGot == 0)
            break;
        nDone += std::uint32_t(nGot);
        if (!ar.Progress(nGot)) {
            DeleteContents();
            throw CUserException();
        }
    }
    if (nDone > s_nMaxFileLength) {
        DeleteContents();
        throw TooLarge(name);
    }
    // The buffer is never full here: there is room for the end marker, and
    // the rest of the room goes back.
    ResizeData(nDone + 1);
    m_nSize = nDone + 1;
    m_pData[nDone] = 0xFF;
}

bool CHexDoc::ReloadDocument()
{
    CHexDoc fresh;
    fresh.m_bDetectOnLoad = false;
    if (!fresh.OnOpenDocument(GetPathName()))
        return false;
    StopDetection();
    std::swap(m_pData, fresh.m_pData);
    std::swap(m_nSize, fresh.m_nSize);
    std::swap(m_pTable, fresh.m_pTable);
    m_bToldUnreadable = false;
    m_strFileType = fresh.m_strFileType;
    m_strFileTypeOf = fresh.m_strFileTypeOf;
    AdoptFileWatch(fresh);
    // The history's steps were made on the bytes just dropped.
    m_history.Clear();
    m_history.MarkSaved();
    SetModifiedFlag(false);
    m_bookmarks.Clip(Length());
    emit reloaded();
    return true;
}

bool CHexDoc::OnOpenDocument(const QString& path)
{
    if (!CDocument::OnOpenDocument(path))
        return false;
    if (m_pTable && m_bDetectOnLoad)
        StartDetection();
    if (m_pBookmarkProfile) {
        m_strBookmarkKey = AfxCanonicalFilePath(path);
        m_bookmarks.SetAll(CBookmarks::Load(*m_pBookmarkProfile, m_strBookmarkKey, Length()));
        m_bBookmarksToStore = false;
    }

    m_strFileType.clear();
    m_strFileTypeOf = path;
    return true;
}

QString CHexDoc::GetFileType() const
{
    if (m_strFileTypeOf.isEmpty())
        return m_strFileType;
    const QString path = std::exchange(m_strFileTypeOf, QString());
    m_strFileType = ShellTypeName(path);
    if (m_strFileType.isEmpty()) {
        // "report.dat" -> "dat File", "README" -> "File", "name." -> " File".
        const QString fileName = AfxFileTitle(path);
        const int dot = fileName.lastIndexOf('.');
        const QString prefix = dot < 0 ? QString() : fileName.mid(dot + 1) + ' ';
        m_strFileType = prefix + AfxLoadString(IDS_FILE);
    }
    return m_strFileType;
}

QString CHexDoc::ShellTypeName(const QString& path)
{
    static const QMimeDatabase db;
    QMimeType type;
    if (AfxHasRawBytes(path)) {
        // Given the name itself, Qt would read the content of another file,
        // named with "?" for the bytes that are not UTF-8.
        QFile file;
        try {
            AfxOpenRegularFile(file, path);
        } catch (const CFileException&) {
            return QString();
        }
        type = db.mimeTypeForFileNameAndData(AfxFileTitle(path), &file);
    } else {
        type = db.mimeTypeForFile(path);
    }
    if (!type.isValid() || type.isDefault())
        return QString();
    return type.comment();
}

std::uint32_t CHexDoc::GetRowText(qint64 nOffset, std::uint8_t* hex, char* text, bool bContinuation) const
{
    if (!m_pTable) {
        if (nOffset < 0 || nOffset >= qint64(m_nSize))
            return 0;
        return CRowFormat::GetRowText(m_pData, m_nSize, m_nCodePage, std::uint32_t(nOffset), hex, text, bContinuation);
    }
    // The row and its look-ahead, the end marker after the last byte, read as
    // a document of their own that starts at the row.
    const qint64 nLength = Length();
    if (nOffset < 0 || nOffset > nLength)
        return 0;
    const qint64 nRun = std::min<qint64>(CRowFormat::kMaxTextLength + 8, nLength + 1 - nOffset);
    std::uint8_t row[CRowFormat::kMaxTextLength + 8];
    if (!Read(nOffset, nRun, row))
        NoteReadFailure();
    return CRowFormat::GetRowText(row, std::uint32_t(nRun), m_nCodePage, 0, hex, text, bContinuation);
}

bool CHexDoc::Read(qint64 nPos, qint64 nLength, std::uint8_t* pDst) const
{
    if (nLength <= 0)
        return true;
    std::memset(pDst, 0xFF, std::size_t(nLength));
    if (nPos < 0)
        return false;
    if (m_pTable) {
        const qint64 nIn = std::min(nLength, m_pTable->GetLength() - nPos);
        if (nIn <= 0 || m_pTable->Read(nPos, nIn, pDst))
            return true;
        std::memset(pDst, 0xFF, std::size_t(nLength));
        NoteReadFailure();
        return false;
    }
    if (nPos < qint64(m_nSize))
        std::memcpy(pDst, m_pData + nPos, std::size_t(std::min(nLength, qint64(m_nSize) - nPos)));
    return true;
}

const std::uint8_t* CHexDoc::Span(qint64 nPos, qint64 nLength, QByteArray& hold) const
{
    if (nPos < 0 || nLength < 0)
        return nullptr;
    if (m_pTable && nPos + nLength <= m_pTable->GetLength()) {
        const std::uint8_t* p = m_pTable->Span(nPos, nLength, hold);
        if (!p)
            NoteReadFailure();
        return p;
    }
    if (!m_pTable && nPos + nLength <= qint64(m_nSize))
        return m_pData + nPos;
    hold.resize(qsizetype(nLength));
    auto* p = reinterpret_cast<std::uint8_t*>(hold.data());
    return Read(nPos, nLength, p) ? p : nullptr;
}
