#pragma once

#include "bookmarks.h"
#include "codepage.h"
#include "document.h"
#include "edithistory.h"
#include "piecetable.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

// One open file, held one of two ways. A file up to s_nPieceThreshold bytes is
// held whole in memory: the file's bytes followed by the end marker 0xFF,
// GetSize() bytes in all (file length + 1). A longer one is held as pieces
// (CPieceTable) of the file read on demand through CFileBlocks, plus the bytes
// edits added: opening it reads nothing but what is shown, and Data() is null
// and GetSize() 0. Either way the readers (Length, Read, Span, ByteAt) see the
// end marker past the last byte. The marker is never saved, selected or
// changed; it stops every one- and two-byte look-ahead of the code-page rules,
// which is why no row or detection scan can run off the bytes.
//
// The document owns its bytes, its code page and its history: everything that
// changes them goes through the members below, which record the history step,
// set the modified flag (it follows the history: undoing back to the saved
// state clears it) and tell every listener by a signal. Views hear of a change
// only by those signals; the document knows nothing of its views beyond what
// CDocument keeps. The caret and selection a step restores are the caller's to
// give (CEditState), for the history to hand back on Undo and Redo.
class CBytePattern;
class CCharTable;
class CSettingsProfile;
class CFileException;
class CLongTask;

class CHexDoc : public CDocument {
    Q_OBJECT

public:
    CHexDoc();
    ~CHexDoc() override;

    void Serialize(CArchive& ar) override;
    void DeleteContents() override;
    bool OnNewDocument() override;
    bool OnOpenDocument(const QString& path) override;
    // Reads the file into a second document first: a failed reload leaves this
    // one as it was. The code page stays as it was chosen.
    bool ReloadDocument() override;
    bool OnSaveDocument(const QString& path) override;
    // A file held as pieces whose length stayed and whose pieces of the file
    // all sit where they were read from differs from it only in its added
    // pieces: those are what a save in place writes.
    bool GetInPlaceChanges(std::vector<CInPlaceChange>& changes, qint64& nLength) const override;
    void OnWritingInPlace(bool bWriting) override;

    // The bytes, the end marker included; null before a load or a new document.
    const std::uint8_t* Data() const { return m_pData; }
    // File length + 1 (the end marker), 0 while there is no buffer.
    std::uint32_t GetSize() const { return m_nSize; }
    // The file's length: the end marker's offset.
    std::uint32_t GetLength() const { return m_nSize ? m_nSize - 1 : 0; }
    int GetCodePage() const { return m_nCodePage; }
    // Reading for every reader outside the document, whatever way it holds
    // its bytes, with 64-bit offsets. Bytes at and past the end read as the end
    // marker 0xFF, so a look-ahead past the last byte sees what it always saw.
    // The file's length.
    qint64 Length() const { return m_pTable ? m_pTable->GetLength() : m_nSize ? qint64(m_nSize) - 1 : 0; }
    // Copies nLength bytes at nPos into pDst. False, pDst filled with the end
    // marker, when they could not be read (the file changed on disk).
    bool Read(qint64 nPos, qint64 nLength, std::uint8_t* pDst) const;
    // The nLength bytes at nPos in one run: where they lie in one run of the
    // document the result points there without a copy, otherwise they are
    // copied into hold. Valid while hold is unchanged and no edit runs; null
    // when they could not be read.
    const std::uint8_t* Span(qint64 nPos, qint64 nLength, QByteArray& hold) const;
    // The byte at nPos; the end marker past the end or when it could not be read.
    std::uint8_t ByteAt(qint64 nPos) const
    {
        if (m_pTable)
            return PieceByteAt(nPos);
        return nPos >= 0 && nPos < qint64(m_nSize) ? m_pData[nPos] : std::uint8_t(0xFF);
    }
    // The first offset q from nFloor to nPos such that the bytes [q, nPos) are
    // known, without reading them, to be lead bytes of nCodePage: in piece
    // mode, those of the file's blocks that some read found all lead bytes
    // (CPieceTable::KnownLeadStart). nPos when nothing is known.
    qint64 KnownLeadStart(qint64 nFloor, qint64 nPos, int nCodePage) const
    {
        return m_pTable ? m_pTable->KnownLeadStart(nFloor, nPos, nCodePage) : nPos;
    }
    // Whether the bytes are held as pieces over the file rather than whole.
    bool IsPieceMode() const { return m_pTable != nullptr; }
    // Whether the bytes still read from the file: false once another program
    // changed it while it was open (the edits are kept; ReadError says why).
    bool IsReadable() const;
    const CEditHistory& History() const { return m_history; }
    // The bookmarks move with every change of the bytes made here; Undo and
    // Redo put back those a step changed.
    CBookmarks& Bookmarks() { return m_bookmarks; }
    const CBookmarks& Bookmarks() const { return m_bookmarks; }
    // Where bookmarks are kept between runs, given by the application to each
    // new document: an opened file takes its stored ones, and the document
    // stores its own when its contents go (closing) and when it is saved under
    // another name. Without one (the default) nothing is kept. The profile
    // must outlive the document.
    void SetBookmarkProfile(CSettingsProfile* pProfile) { m_pBookmarkProfile = pProfile; }
    // What kind of file the document was opened from ("PNG image", "dat File"),
    // worked out when first asked: the MIME database it reads costs more than
    // the rest of opening a file, and only printing shows it.
    QString GetFileType() const;
    void SetFileType(const QString& type)
    {
        m_strFileType = type;
        m_strFileTypeOf.clear();
    }

    // Copies the bytes of the row starting at nOffset into hex and text (room for
    // CRowFormat::kMaxTextLength each) and returns how many it produced: 0 past the
    // end, 16, 17 when a double-byte character crosses into the next row, up to 19
    // when a UTF-8 character does, or in the last row the bytes left, end marker
    // included. With bContinuation the row's first byte is the trail byte of the
    // previous row's last character and shows as '.'.
    std::uint32_t GetRowText(qint64 nOffset, std::uint8_t* hex, char* text, bool bContinuation) const;

    // What an edit came to. Done and DoneWithoutUndo changed the bytes; the
    // others changed nothing.
    enum class EditResult {
        Done,
        DoneWithoutUndo,   // done, but the step passed the undo limit: the history was emptied
        Refused,           // a range that takes in the end marker, nothing to undo, no occurrence
        TooLarge,          // the new length would pass the size limit (s_nMaxFileLength)
        OutOfMemory,
        Cancelled,         // the user cancelled a long Replace All
    };
    static bool Changed(EditResult r) { return r == EditResult::Done || r == EditResult::DoneWithoutUndo; }

    // The one primitive for a change of bytes (hexdoc_edit.cpp): replaces nRemove
    // bytes at nPos by nInsert bytes from pSrc. Inserting (nRemove 0), deleting
    // (nInsert 0) and overwriting are its cases. pSrc may point into the
    // document. A typed change (bTyping) may extend the last typed step.
    EditResult ReplaceBytes(qint64 nPos, qint64 nRemove, const std::uint8_t* pSrc, qint64 nInsert,
                            const CEditState& before, bool bTyping = false);
    // Overwrites one byte: a step with no caret or selection to put back.
    EditResult SetByte(qint64 nOffset, std::uint8_t b) { return ReplaceBytes(nOffset, 1, &b, 1, {}); }
    // Replaces every occurrence of pattern from nFirst on, each searched for past
    // the last one, so a replacement holding the pattern is never replaced again.
    // The new buffer is built in two passes (count, then copy) as a long task,
    // with progress and cancel, and installed once: one copy of the document
    // however many occurrences. On success nLast is the last replacement's
    // start, in the new offsets, and *pCount how many were replaced.
    EditResult ReplaceAll(const CBytePattern& pattern, qint64 nFirst, const QByteArray& replacement,
                          const CEditState& before, qint64& nLast, std::uint64_t* pCount = nullptr);
    // Undoes or does again the history's next step; state is where the step
    // puts the caret and selection back.
    EditResult Undo(CEditState& state);
    EditResult Redo(CEditState& state);
    // Where the caret and selection stand once the command that made the newest
    // step has finished, for Redo.
    void SetStepAfter(const CEditState& state) { m_history.SetAfter(state); }
    // The next typed byte starts a new step.
    void EndTyping() { m_history.EndTyping(); }
    // Emits codePageChanged when it changes; false when it was already so.
    // A character table shown is dropped, which is a change too.
    bool SetCodePage(int nCodePage);
    // The character table the text column reads through instead of the code
    // page, or null: the document's, like its code page, so every window of
    // it shows it. Setting one (or null) emits codePageChanged with the code
    // page, which stays for when the table goes.
    const CCharTable* GetCharTable() const { return m_pCharTable.get(); }
    // The same table to keep, for whoever may show it again once it is gone.
    std::shared_ptr<const CCharTable> ShareCharTable() const { return m_pCharTable; }
    void SetCharTable(std::shared_ptr<const CCharTable> pTable);
    // The lead-byte runs for a first window: those the load found, handed over
    // once. A new document, or one given new contents by AdoptBuffer, is
    // scanned and its code page set from the bytes; a later window keeps the
    // code page the document has, which is every window's.
    std::vector<CByteRange> TakeDetection();
    // Guesses the code page again from the bytes as they are now and sets it.
    void GuessCodePage();
    bool IsDetected() const { return m_bDetected; }
    // Whether the guess that opening a file held as pieces starts is still
    // reading it on its own thread (detectionProgress tells how far).
    bool IsDetecting() const { return m_bDetecting; }
    // Stops that guess; the code page stays as it is. detectionEnded follows.
    void CancelDetection() { StopDetection(); }
    const std::vector<CByteRange>& LeadRuns() const { return m_leadRuns; }

    // The bytes the history may keep. Documents start with the default, which
    // the application sets from its settings at start.
    void SetUndoLimit(std::uint64_t nBytes) { m_history.SetLimit(nBytes); }
    static void SetDefaultUndoLimit(std::uint64_t nBytes) { s_nDefaultUndoLimit = nBytes; }
    static std::uint64_t DefaultUndoLimit() { return s_nDefaultUndoLimit; }

    // Search (hexdoc_find.cpp). The scans never take in the end marker.
    bool Find(const CBytePattern& pattern, qint64 nFrom, bool bDown, qint64& nFound) const;
    // The same as a long task, with progress and cancel, for the commands a
    // person waits for: Find, F3 and Replace.
    enum class FindResult { Found, NotFound, Cancelled };
    FindResult FindWithProgress(const CBytePattern& pattern, qint64 nFrom, bool bDown, qint64& nFound) const;
    // Whether the pattern matches at nAt.
    bool MatchesAt(qint64 nAt, const CBytePattern& pattern) const;

    // Puts in new contents outside the history, as a load does: an AllocBuffer
    // buffer of nSize bytes whose last is the end marker, or bytes to copy. The
    // history is emptied and reloaded is emitted. For tools and tests that build
    // a document without a file.
    void AdoptBuffer(std::uint8_t* pData, std::uint32_t nSize);
    void SetContents(const QByteArray& bytes);

    static std::uint8_t* AllocBuffer(std::uint32_t nSize);
    static void FreeBuffer(std::uint8_t* pData);

    // The longest file that fits: GetSize() counts the end marker in 32 bits.
    static constexpr std::uint64_t kMaxFileLength = 0xFFFFFFFEull;
    // The limit the loader enforces; tests lower it to try the refusal cheaply.
    static std::uint64_t s_nMaxFileLength;
    // Whether a large buffer asks for huge pages, off unless bench_files shows
    // it helps: with the kernel's usual settings the advice makes each fault of
    // a fresh buffer wait for a huge page to be compacted, and loads took twice
    // as long with it.
    static bool s_bHugePages;
    // Files longer than this are held as pieces over the file (see the class
    // comment and docs/benchmarks.md for why here); tests lower it to run the
    // piece mode on small files.
    static qint64 s_nPieceThreshold;
    // Bytes of the file per part read by the code-page guess in piece mode.
    // Short, so that a reader of the screen waits little for the file's lock.
    static constexpr qint64 kDetectPart = qint64(1) << 20;

    // The file type name the desktop gives a path, or "" when it has none.
    static QString ShellTypeName(const QString& path);

signals:
    // nRemoved bytes at nPos were replaced by nInserted others and the bytes
    // after them moved along. A change of many pieces (Replace All and its undo)
    // reports the span from its first piece to the end.
    void bytesChanged(qint64 nPos, qint64 nRemoved, qint64 nInserted);
    void codePageChanged(int nCodePage);
    // New contents as a whole: a reload, or contents put in by AdoptBuffer.
    void reloaded();
    // Emitted when the bytes come to match the file on disk or stop matching it.
    void cleanChanged(bool bClean);
    // In piece mode: the file could no longer be read (another program
    // changed it); text is the message for the user. Emitted once per file,
    // possibly from the thread that read.
    void fileUnreadable(const QString& text);
    // The guess on open has read nDone of the file's nTotal bytes; emitted
    // from the guess's thread a few times a second while it reads, never for
    // a guess decided at once.
    void detectionProgress(qint64 nDone, qint64 nTotal);
    // That guess is over: decided, stopped or failed. From its thread, after
    // the last detectionProgress.
    void detectionEnded();

private:
    static CFileException TooLarge(const QString& name);
    void ReadToEnd(int fd, const QString& name, const CArchive& ar);
    void DetectLoaded(const CArchive& ar);
    void SetData(std::uint8_t* pData);
    // Gives the buffer room for nSize bytes, keeping the first ones (m_nSize
    // bytes at most); m_nSize is the caller's to set afterwards. A large buffer
    // grows by remapping its pages rather than by copying them. Throws
    // std::bad_alloc, with the buffer unchanged, when the memory is not there.
    void ResizeData(std::uint32_t nSize);
    // Replaces nRemove bytes at nPos by nInsert bytes from pSrc, the tail moved
    // once. pSrc may not point into the buffer. Throws std::bad_alloc with
    // nothing changed.
    void Splice(std::uint32_t nPos, std::uint32_t nRemove, const std::uint8_t* pSrc, std::uint32_t nInsert);
    // Undoes or does again a step of the history, every piece of it. Throws
    // std::bad_alloc with nothing changed.
    void ApplyStep(const CEditStep& step, bool bUndo);
    EditResult UndoOrRedo(bool bUndo, CEditState& state);
    // Adds a step just made to the history (the typed ones may extend the last);
    // false when the history could not keep it and was emptied.
    bool Record(CEditStep&& step, bool bKept);
    bool HistoryHolds(std::uint64_t nBytes) const;
    // Sets the modified flag from the history and tells of the change.
    void AfterChange(qint64 nPos, qint64 nRemoved, qint64 nInserted);
    static bool PastLimit(std::uint64_t nLength);

    static std::uint64_t s_nDefaultUndoLimit;

    // Piece mode (hexdoc_pieces.cpp).
    std::uint8_t PieceByteAt(qint64 nPos) const;
    void LoadPieces(const QString& path);
    // Holds the file at path as one piece again, after a save wrote it.
    void ReopenPieces(const QString& path);
    EditResult ReplacePieces(qint64 nPos, qint64 nRemove, const std::uint8_t* pSrc, qint64 nInsert,
                             const CEditState& before, bool bTyping);
    EditResult ReplaceAllPieces(const CBytePattern& pattern, qint64 nFirst, const QByteArray& replacement,
                                const CEditState& before, qint64& nLast, std::uint64_t* pCount);
    CPieceTable::FindResult FindPieces(const CBytePattern& pattern, qint64 nFrom, bool bDown, qint64& nFound,
                                       CLongTask* pTask) const;
    FindResult FindPiecesWithProgress(const CBytePattern& pattern, qint64 nFrom, bool bDown, qint64 nStarts,
                                      qint64& nFound) const;
    // Whether saving to path would rewrite in place the file the pieces read
    // from (AfxWriteFileSafely does for a file with several names, or whose
    // owner or group a new file cannot be given): its bytes would be read
    // after some of them were overwritten.
    bool WouldRewriteSource(const QString& path) const;
    // Whether the file open on fd is the one the pieces read from.
    bool IsSource(int fd) const;
    // Tells the user once that the file could not be read, when it could not.
    void NoteReadFailure() const;
    // The code-page guess over the file in parts, on a thread of its own; its
    // result is set unless the code page was set meanwhile.
    void StartDetection();
    void StopDetection();

    // Moves the bookmarks with a change just made and keeps those it changed
    // in pKeep (a step's marksDone), when there is one.
    void AdjustBookmarks(std::size_t nPieces, const std::function<qint64(std::size_t)>& at, qint64 nRemove,
                         qint64 nInsert, std::vector<CBookmark>* pKeep);
    void StepBookmarks(CEditStep& step, bool bUndo);
    void StoreBookmarks();

    // Shared by every window of the document; emptied with its contents.
    CEditHistory m_history;
    int m_nCodePage = 0;
    std::shared_ptr<const CCharTable> m_pCharTable;
    // A load ends with DetectCodePage over the bytes read, as part of the same
    // long task (off the user interface's thread, under its progress and
    // cancel): it sets m_nCodePage and keeps the runs of lead bytes it found
    // until the document's first view takes them over. A reload keeps the code
    // page chosen and skips the scan.
    bool m_bDetectOnLoad = true;
    bool m_bDetected = false;
    bool m_bCodePageShown = false;   // a window has taken the code page
    std::vector<CByteRange> m_leadRuns;
    CBookmarks m_bookmarks;
    CSettingsProfile* m_pBookmarkProfile = nullptr;
    // The canonical path the bookmarks are kept under, set once a file is
    // open; empty keeps nothing.
    QString m_strBookmarkKey;
    // Whether they changed since they were loaded or stored: closing a file
    // whose bookmarks stayed as they were writes nothing.
    bool m_bBookmarksToStore = false;
    mutable QString m_strFileType;
    // The file whose type GetFileType has still to work out, if any.
    mutable QString m_strFileTypeOf;
    std::uint32_t m_nSize = 0;
    std::uint8_t* m_pData = nullptr;
    // Set in piece mode only; m_pData is then null.
    std::unique_ptr<CPieceTable> m_pTable;
    mutable std::atomic<bool> m_bToldUnreadable{false};
    // Counts the code page's changes, so that a guess that ends after the user
    // (or a remembered choice) set one leaves it alone.
    std::atomic<int> m_nCodePageSets{0};
    std::atomic<bool> m_bStopDetection{false};
    std::atomic<bool> m_bDetecting{false};
    std::thread m_detection;
};
