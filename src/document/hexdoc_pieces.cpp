#include "hexdoc.h"

#include "bytepattern.h"
#include "codepage.h"
#include "fileblocks.h"
#include "longtask.h"
#include "resource.h"
#include "resources.h"

#include "filename.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Up to 32 MiB an insert at the start moves the tail within the 5 ms a typed
// byte may take, and the whole file loads in about 20 ms; past it the move
// does not (docs/benchmarks.md, "Whole or pieces").
qint64 CHexDoc::s_nPieceThreshold = qint64(32) << 20;

namespace {

// How often the guess on open tells how far it has read.
constexpr qint64 kDetectNewsMs = 100;

// The code-page guess over bytes read a part at a time from the start, as
// --dump makes it: read(nPos, n, p) fills p, and goOn(n) is told of each part
// read. 0 when a read failed or goOn said to stop before the guess was decided.
int DetectInParts(qint64 nLength, const std::function<bool(qint64, qint64, std::uint8_t*)>& read,
                  const std::function<bool(qint64)>& goOn)
{
    const qint64 nPart = CHexDoc::kDetectPart;
    std::vector<std::uint8_t> buffer(std::size_t(2 * nPart + 1));
    CCodePageDetector detector;
    std::uint32_t nKept = 0;
    for (qint64 nDone = 0;;) {
        const qint64 n = std::min(nPart, nLength - nDone);
        if (!read(nDone, n, buffer.data() + nKept) || !goOn(n))
            return 0;
        nDone += n;
        auto nUsed = std::uint32_t(nKept + n);
        const bool bLast = nDone == nLength;
        if (bLast)
            buffer[nUsed++] = 0xFF;
        if (const int nCodePage = detector.Scan(buffer.data(), nUsed, bLast))
            return nCodePage;
        nKept = nUsed - detector.Kept();
        std::memmove(buffer.data(), buffer.data() + detector.Kept(), nKept);
    }
}

// Whether a new file could not be given the owner and group st names, which
// makes a save rewrite the file in place.
bool OwnerNotCarried(const struct stat& st)
{
    if (::geteuid() == 0)
        return false;
    if (st.st_uid != ::geteuid())
        return true;
    if (st.st_gid == ::getegid())
        return false;
    std::vector<gid_t> groups(std::size_t(std::max(::getgroups(0, nullptr), 0)));
    const int nGroups = ::getgroups(int(groups.size()), groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(nGroups, 0), st.st_gid) == groups.begin() + std::max(nGroups, 0);
}

} // namespace

bool CHexDoc::IsSource(int fd) const
{
    struct stat st;
    return m_pTable && m_pTable->File() && ::fstat(fd, &st) == 0
        && m_pTable->File()->Is(quint64(st.st_dev), quint64(st.st_ino));
}

bool CHexDoc::WouldRewriteSource(const QString& path) const
{
    struct stat st;
    if (!m_pTable || !m_pTable->File() || ::stat(AfxEncodeFileName(AfxAbsoluteFilePath(path)).constData(), &st) != 0)
        return false;
    return m_pTable->File()->Is(quint64(st.st_dev), quint64(st.st_ino)) && (st.st_nlink > 1 || OwnerNotCarried(st));
}

bool CHexDoc::IsReadable() const
{
    return !m_pTable || !m_pTable->File() || m_pTable->File()->IsReadable();
}

// A reader that could not read hands out the end marker instead; the user is
// told why once, from whichever thread noticed.
void CHexDoc::NoteReadFailure() const
{
    if (IsReadable() || m_bToldUnreadable.exchange(true))
        return;
    const QString text = m_pTable->File()->Error().GetErrorMessage();
    emit const_cast<CHexDoc*>(this)->fileUnreadable(text);
}

std::uint8_t CHexDoc::PieceByteAt(qint64 nPos) const
{
    std::uint8_t b = 0xFF;
    if (nPos < 0 || nPos >= m_pTable->GetLength())
        return b;
    if (!m_pTable->Read(nPos, 1, &b)) {
        NoteReadFailure();
        return 0xFF;
    }
    return b;
}

// Nothing of the file is read here: the first paint reads what it shows. The
// code page is the user's language's until the guess (StartDetection) or the
// one remembered for the file, which the first window applies, says otherwise.
void CHexDoc::LoadPieces(const QString& path)
{
    auto pFile = std::make_shared<CFileBlocks>();
    pFile->Open(path);
    m_pTable = std::make_unique<CPieceTable>(std::move(pFile));
    m_bToldUnreadable = false;
    m_nCodePage = GetDefaultCodePage();
    m_leadRuns.clear();
    m_bDetected = m_bDetectOnLoad;
}

// A save that renamed its new file over the name leaves the file the pieces
// read from in place, unnamed but open: the pieces and the history's steps
// stay over it, so that Undo after Save gives back the old bytes. The old
// file's room on the disk is given back when the document closes. A save
// that wrote into the file itself (in place, or over a file whose links or
// owner a new file could not carry) changed bytes the steps refer to: the
// history starts again there, over the file as written.
void CHexDoc::ReopenPieces(const QString& path)
{
    StopDetection();
    const std::shared_ptr<CFileBlocks>& pOld = m_pTable->File();
    struct stat st;
    const bool bRenamed = pOld && ::stat(AfxEncodeFileName(AfxAbsoluteFilePath(path)).constData(), &st) == 0
        && !pOld->Is(quint64(st.st_dev), quint64(st.st_ino));
    if (bRenamed && pOld->IsReadable() && (m_history.CanUndo() || m_history.CanRedo())) {
        pOld->Detach();
        return;
    }
    auto pFile = std::make_shared<CFileBlocks>();
    try {
        pFile->Open(path);
    } catch (const CFileException&) {
        // The saved file is not there to read: the pieces stay, over a file
        // that may no longer read, which the readers then report.
        return;
    }
    const std::shared_ptr<CFileBlocks> pReplaced = m_pTable->File();
    m_pTable = std::make_unique<CPieceTable>(std::move(pFile));
    // Only the last holder closes it: a reader that still holds the file
    // (none is known once detection has stopped) keeps reading it.
    if (pReplaced && pReplaced.use_count() == 1)
        pReplaced->CloseInBackground();
    m_bToldUnreadable = false;
    m_history.Clear();
    m_history.MarkSaved();
}

void CHexDoc::StartDetection()
{
    StopDetection();
    if (!m_pTable || !m_pTable->File())
        return;
    m_bStopDetection = false;
    m_bDetecting = true;
    const std::shared_ptr<CFileBlocks> pFile = m_pTable->File();
    const int nSets = m_nCodePageSets;
    m_detection = std::thread([this, pFile, nSets] {
        // The file as opened, not the table, which edits change meanwhile.
        const qint64 nTotal = pFile->GetLength();
        qint64 nDone = 0;
        QElapsedTimer timer;
        timer.start();
        qint64 nNextNews = kDetectNewsMs;
        const int nCodePage = DetectInParts(
            nTotal, [&pFile](qint64 nPos, qint64 n, std::uint8_t* p) { return pFile->Read(nPos, n, p); },
            [&](qint64 n) {
                nDone += n;
                if (timer.elapsed() >= nNextNews) {
                    nNextNews = timer.elapsed() + kDetectNewsMs;
                    emit detectionProgress(nDone, nTotal);
                }
                return !m_bStopDetection;
            });
        m_bDetecting = false;
        emit detectionEnded();
        if (nCodePage == 0)
            return;
        // Set on the document's thread, unless the code page was set since
        // the guess began or the document went.
        QMetaObject::invokeMethod(
            this,
            [this, nCodePage, nSets] {
                if (m_nCodePageSets == nSets && !m_pCharTable)
                    SetCodePage(nCodePage);
            },
            Qt::QueuedConnection);
    });
}

void CHexDoc::StopDetection()
{
    if (!m_detection.joinable())
        return;
    m_bStopDetection = true;
    m_detection.join();
}

// A long task with progress and cancel: the file may be long, and a file of
// ASCII alone is read to its end before the guess is decided.
void CHexDoc::GuessCodePage()
{
    if (!m_pTable) {
        SetCodePage(DetectCodePage(m_pData, m_nSize));
        return;
    }
    CLongTask task(AfxLoadString(IDS_GUESSING).replace(QLatin1String("%1"), GetTitle()), m_pTable->GetLength());
    int nCodePage = 0;
    task.Run([&] {
        nCodePage = DetectInParts(
            m_pTable->GetLength(),
            [this](qint64 nPos, qint64 n, std::uint8_t* p) { return m_pTable->Read(nPos, n, p); },
            [&task](qint64 n) { return task.Step(n); });
    });
    if (nCodePage != 0)
        SetCodePage(nCodePage);
    else
        NoteReadFailure();
}

CHexDoc::EditResult CHexDoc::ReplacePieces(qint64 nPos, qint64 nRemove, const std::uint8_t* pSrc, qint64 nInsert,
                                           const CEditState& before, bool bTyping)
{
    const qint64 nLength = m_pTable->GetLength();
    if (nPos < 0 || nRemove < 0 || nInsert < 0 || nPos > nLength || nRemove > nLength - nPos)
        return EditResult::Refused;
    if (nRemove == 0 && nInsert == 0)
        return EditResult::Done;
    try {
        // The inserted bytes are copied before the pieces change: pSrc may
        // point into a span of the document.
        CEditStep step;
        step.before = before;
        step.bTyping = bTyping;
        const bool bKept = HistoryHolds(std::uint64_t(nInsert) + 5 * sizeof(CPiece) + sizeof(CPieceStep));
        if (bKept) {
            step.offsets = {nPos};
            step.nRemove = nRemove;
            step.inserted = QByteArray(reinterpret_cast<const char*>(pSrc), qsizetype(nInsert));
        }
        std::optional<CPieceStep> pieces = m_pTable->Replace(nPos, nRemove, pSrc, nInsert);
        if (!pieces)
            return EditResult::Refused;
        if (bKept)
            step.pieceSteps.push_back(std::move(*pieces));
        const bool bRecorded = Record(std::move(step), bKept);
        AdjustBookmarks(1, [nPos](std::size_t) { return nPos; }, nRemove, nInsert,
                        bRecorded ? &m_history.Newest()->marksDone : nullptr);
        AfterChange(nPos, nRemove, nInsert);
        return bRecorded ? EditResult::Done : EditResult::DoneWithoutUndo;
    } catch (const std::bad_alloc&) {
        return EditResult::OutOfMemory;
    }
}

CPieceTable::FindResult CHexDoc::FindPieces(const CBytePattern& pattern, qint64 nFrom, bool bDown, qint64& nFound,
                                            CLongTask* pTask) const
{
    const CPieceTable::FindResult result = m_pTable->Find(pattern, nFrom, bDown, nFound, pTask);
    if (result == CPieceTable::FindResult::ReadFailed)
        NoteReadFailure();
    return result;
}

// The occurrences are found first, each searched for past the last one, a
// block of the document read once for all of its occurrences, as a long task
// with progress and cancel; the new pieces are then built from them in one
// step that keeps the pieces it replaced, not the bytes.
CHexDoc::EditResult CHexDoc::ReplaceAllPieces(const CBytePattern& pattern, qint64 nFirst,
                                              const QByteArray& replacement, const CEditState& before,
                                              qint64& nLast, std::uint64_t* pCount)
{
    const qint64 nLength = m_pTable->GetLength();
    const qint64 n = pattern.Length();
    const auto m = qint64(replacement.size());
    if (n == 0 || n > nLength || nFirst > nLength - n)
        return EditResult::Refused;
    CLongTask task(AfxLoadString(IDS_REPLACING).replace(QLatin1String("%1"), GetTitle()), nLength - n - nFirst + 1);
    std::vector<qint64> hits;
    CPieceTable::FindResult result = CPieceTable::FindResult::NotFound;
    // The replacement's bytes are stored before the task, the one change to
    // the table that building the pieces needs; with millions of occurrences
    // the new pieces take a while to build, so the task builds them too while
    // the window goes on reading the table as it is, and the table takes them
    // after it in a swap.
    const std::uint8_t* pAdded =
        m > 0 ? m_pTable->AddBytes(reinterpret_cast<const std::uint8_t*>(replacement.constData()), m) : nullptr;
    CPieceTable::CPrepared prepared;
    bool bKept = false;
    try {
        task.Run([&] {
            result = m_pTable->FindEach(pattern, nFirst, [&hits](qint64 nAt) {
                hits.push_back(nAt);
                return true;
            }, &task);
            if (result != CPieceTable::FindResult::Found)
                return;
            // The step keeps the pieces from the first occurrence's on, and
            // those built in their place: two more for each occurrence.
            const std::size_t nFrom = m_pTable->PiecesFrom(hits.front());
            bKept = HistoryHolds(hits.size() * sizeof(qint64) + std::uint64_t(m)
                                 + (2 * nFrom + 2 * hits.size() + 1) * sizeof(CPiece));
            prepared = m_pTable->PrepareReplaceAt(hits, n, pAdded, m, bKept);
        });
    } catch (const std::bad_alloc&) {
        return EditResult::OutOfMemory;
    }
    if (result == CPieceTable::FindResult::Cancelled)
        return EditResult::Cancelled;
    // Some of the document could not be read: nothing is replaced rather
    // than some of it.
    if (result == CPieceTable::FindResult::ReadFailed)
        NoteReadFailure();
    if (result != CPieceTable::FindResult::Found)
        return EditResult::Refused;
    const qint64 nStart = hits.front();

    const auto nCount = std::uint64_t(hits.size());
    CEditStep step;
    step.before = before;
    try {
        if (bKept || !m_bookmarks.IsEmpty()) {
            step.offsets = hits;
        }
        if (bKept) {
            step.nRemove = n;
            step.inserted = replacement;
        }
        CPieceStep pieces = m_pTable->CommitReplace(std::move(prepared));
        if (bKept)
            step.pieceSteps.push_back(std::move(pieces));
    } catch (const std::bad_alloc&) {
        return EditResult::OutOfMemory;
    }
    nLast = hits.back() + qint64(nCount - 1) * (m - n);
    if (pCount)
        *pCount = nCount;
    AdjustBookmarks(step.offsets.size(), [&step](std::size_t i) { return step.offsets[i]; }, n, m, bKept ? &step.marksDone : nullptr);
    const bool bRecorded = Record(std::move(step), bKept);
    AfterChange(nStart, nLength - nStart, m_pTable->GetLength() - nStart);
    return bRecorded ? EditResult::Done : EditResult::DoneWithoutUndo;
}

bool CHexDoc::GetInPlaceChanges(std::vector<CInPlaceChange>& changes, qint64& nLength) const
{
    // A file the pieces still read from after a save renamed another over
    // its name is not the file on disk: nothing is written in place then.
    if (!m_pTable || !m_pTable->File() || !IsReadable() || m_pTable->File()->IsDetached()
        || m_pTable->GetLength() != m_pTable->File()->GetLength())
        return false;
    changes.clear();
    qint64 nAt = 0;
    for (const CPiece& piece : m_pTable->Pieces()) {
        if (piece.pAdded) {
            changes.push_back({nAt, QByteArray(reinterpret_cast<const char*>(piece.pAdded), qsizetype(piece.nLength))});
        } else if (piece.nSource != nAt) {
            changes.clear();
            return false;
        }
        nAt += piece.nLength;
    }
    nLength = nAt;
    return !changes.empty();
}

// The pieces read from the file lie where the write does not go, so reading
// them meanwhile stays right; only the file's new time must not count as a
// change by another program. The save then reopens the file (ReopenPieces).
void CHexDoc::OnWritingInPlace(bool bWriting)
{
    if (m_pTable && m_pTable->File())
        m_pTable->File()->SetWritingInPlace(bWriting);
}
