#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// Overwriting parts of a file where it lies, for a file too large to copy in
// the free space: the length stays and only the bytes given are written. That
// is not atomic, so a journal of the old bytes reaches the disk beside the file
// first (".NAME.zorbel-journal"); a write stopped by a crash or a kill is
// rolled back from it when the file is opened next (AfxRecoverInPlaceWrite),
// which leaves the file with all its old bytes, never a mix. The journal goes
// once the new bytes are on disk.
//
// The journal: "ZBJOURN1", the file's length, the number of records; each
// record its offset, its length and the old bytes; then "ZBJEND01" and a
// checksum of all before it. A journal without its end or whose checksum is
// wrong was cut short by the crash before any byte of the file was touched,
// and is only removed.
struct CInPlaceChange {
    qint64 nOffset = 0;
    QByteArray bytes;
};

// Writes the changes, which must lie in the file; nLength is the length the
// file must still have. progress, when given, is told of the work done (the
// bytes journaled, then written) out of twice the bytes of the changes, and
// may cancel by returning false while the journal is written, before a byte
// of the file changed; after that the write runs to its end. Throws
// CFileException, or CUserException when cancelled; a failure once the file
// is being written puts the old bytes back before it throws (and when even
// that fails, the journal stays for the next open).
void AfxWriteInPlace(const QString& target, qint64 nLength, const std::vector<CInPlaceChange>& changes,
                     const std::function<bool(qint64 nDone, qint64 nTotal)>& progress = {});

enum class CInPlaceRecovery {
    NoJournal,
    RolledBack,   // the old bytes were put back
    Discarded,    // a journal cut short: the file was never touched
};

// Looks for the journal of an in-place write of target that did not end and
// puts the old bytes back. Throws CFileException when they cannot be put back,
// or when the file no longer has the journal's length (another program
// changed it since); the journal then stays.
CInPlaceRecovery AfxRecoverInPlaceWrite(const QString& target);

// The journal's path for target.
QByteArray AfxInPlaceJournalPath(const QString& target);

// Tests set this to stop the process at a stage of AfxWriteInPlace (it is
// called with the stage's number: 1 once the journal is opened, 2 after each
// record, 3 once it is synced, 4 after each change written, 5 once the file is
// synced, 6 once the journal is gone) to check the recovery.
extern std::function<void(int nStage)> g_afxInPlaceStageHook;
