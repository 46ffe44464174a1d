#include "document.h"

#include "afxmsg.h"
#include "afxres.h"
#include "archive.h"
#include "diskfile.h"
#include "fileexception.h"
#include "filename.h"
#include "inplacewrite.h"
#include "longtask.h"
#include "resources.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>

#include <cerrno>
#include <climits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CDocument::PromptFileName& savePrompt()
{
    static CDocument::PromptFileName prompt;
    return prompt;
}

// The mode bits only: access() reports what this process may do, which for a
// privileged user is everything.
constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

// The file a save really writes: the end of a chain of symbolic links, so that
// the rename of the finished file replaces the target and not the link. It is
// also the name the file is watched and compared by, so that "f.bin",
// "./f.bin" and "/a/sub/../f.bin" are one file.
QString ResolveSaveTarget(const QString& path)
{
    const QString absolute = AfxAbsoluteFilePath(path);
    const QByteArray name = AfxEncodeFileName(absolute);
    struct stat st;
    if (::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(name.constData(), &st) != 0) {
        // A link to a file that is not there yet: the save creates that file.
        QByteArray link(PATH_MAX, '\0');
        const ssize_t nLength = ::readlink(name.constData(), link.data(), link.size());
        if (nLength > 0) {
            QString linked = AfxDecodeFileName(link.left(nLength));
            if (!linked.startsWith(QLatin1Char('/')))
                linked = absolute.left(absolute.lastIndexOf(QLatin1Char('/')) + 1) + linked;
            return QDir::cleanPath(linked);
        }
    }
    return AfxCanonicalFilePath(path);
}

// Removes what killed saves of target left beside it; a copy of old bytes
// that may be the only whole one is removed only when the user says so.
void CleanSaveLeftovers(const QString& target)
{
    for (const QString& leftover : AfxRemoveSaveLeftovers(target)) {
        const QString question = AfxLoadString(AFX_IDP_SAVE_LEFTOVER)
                                     .arg(AfxDisplayFileName(leftover), AfxDisplayFileName(target));
        if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) == IDYES)
            ::unlink(AfxEncodeFileName(leftover).constData());
    }
}

// Whether the folder of target has room for a new copy of a file of nLength
// bytes beside the old one, as a save by rename needs (with a margin for the
// file system's own blocks). When the free space cannot be told it is taken
// to be there: the usual save then reports a full disk without harm.
bool RoomForCopy(const QString& target, qint64 nLength)
{
    const qint64 nFree = AfxFreeBytesBeside(target);
    return nFree < 0 || nFree >= nLength + (qint64(1) << 20);
}

// Puts back the old bytes of a save in place that a crash or a kill stopped,
// before the file is read, and says so. False, having said why, when they
// could not be put back: the file then holds old and new bytes mixed and is
// not opened.
bool RecoverInPlaceWrite(const QString& path)
{
    const QString target = ResolveSaveTarget(path);
    try {
        if (AfxRecoverInPlaceWrite(target) == CInPlaceRecovery::RolledBack)
            AfxMessageBox(AfxLoadString(AFX_IDP_INPLACE_ROLLED_BACK).replace(QLatin1String("%1"), AfxDisplayFileName(path)),
                          MB_OK | MB_ICONINFORMATION);
        return true;
    } catch (const CFileException& e) {
        const QString journal = AfxDisplayFileName(AfxDecodeFileName(AfxInPlaceJournalPath(target)));
        AfxMessageBox(AfxLoadString(AFX_IDP_INPLACE_NOT_ROLLED_BACK)
                          .arg(AfxDisplayFileName(path), journal, e.GetErrorMessage()),
                      MB_OK | MB_ICONSTOP);
        return false;
    }
}

// Refuses to write target because path, the file or its folder, may not be
// written: its file system is mounted read-only, or nobody may write it.
[[noreturn]] void RefuseWrite(const QByteArray& path, const QString& target)
{
    const bool bReadOnly = ::access(path.constData(), W_OK) != 0 && errno == EROFS;
    throw CFileException(bReadOnly ? CFileException::readOnly : CFileException::accessDenied, target);
}

// A file or folder that nobody may write is refused even to a user whose
// privileges would let the rename through: the user marked it read-only.
// A pipe, device or socket is never replaced by a file.
void CheckWritable(const QString& target)
{
    const QByteArray name = AfxEncodeFileName(target);
    struct stat st;
    if (::stat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw CFileException(CFileException::invalidFile, target);
        if (!S_ISREG(st.st_mode))
            throw CFileException(CFileException::notRegularFile, target);
        if (::access(name.constData(), W_OK) != 0 || !(st.st_mode & kAnyWrite))
            RefuseWrite(name, target);
    }
    const QByteArray folder = AfxEncodeFileName(AfxFolderPath(target));
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw CFileException(CFileException::badPath, target);
    if (::access(folder.constData(), W_OK) != 0 || !(st.st_mode & kAnyWrite))
        RefuseWrite(folder, target);
}

QString TaskText(unsigned nID, const QString& path)
{
    return AfxLoadString(nID).replace(QLatin1String("%1"), AfxFileTitle(path));
}

} // namespace

CDocument::CDocument()
{
    connect(&m_pollTimer, &QTimer::timeout, this, &CDocument::OnFileChanged);
}

CDocument::~CDocument() = default;

void CDocument::SetPathName(const QString& path)
{
    m_strPathName = AfxAbsoluteFilePath(path);
    SetTitle(AfxFileTitle(m_strPathName));
}

void CDocument::SetTitle(const QString& title)
{
    m_strTitle = title;
    emit titleChanged();
}

void CDocument::SetModifiedFlag(bool bModified)
{
    if (m_bModified == bModified)
        return;
    m_bModified = bModified;
    emit modifiedChanged(bModified);
}

void CDocument::AddView(CDocumentView* pView)
{
    if (!m_viewList.contains(pView))
        m_viewList.append(pView);
}

void CDocument::RemoveView(CDocumentView* pView)
{
    m_viewList.removeAll(pView);
}

void CDocument::UpdateAllViews(CDocumentView* pSender, qintptr lHint)
{
    const QList<CDocumentView*> views = m_viewList;
    for (CDocumentView* pView : views) {
        if (pView != pSender && m_viewList.contains(pView))
            pView->OnUpdate(pSender, lHint);
    }
}

void CDocument::DeleteContents()
{
}

bool CDocument::OnNewDocument()
{
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnOpenDocument(const QString& path)
{
    if (!RecoverInPlaceWrite(path))
        return false;
    QFile file;
    try {
        AfxOpenRegularFile(file, path);
        DeleteContents();
        SetModifiedFlag(true);   // contents are in flux until the load ends
        CLongTask task(TaskText(AFX_IDS_OPENING, path), file.size());
        task.Run([&] {
            CArchive ar(&file, CArchive::load, path, &task);
            Serialize(ar);
        });
    } catch (const CFileException& e) {
        DeleteContents();
        ReportSaveLoadException(&e, false);
        return false;
    } catch (const std::bad_alloc&) {
        DeleteContents();
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    } catch (const CUserException&) {
        DeleteContents();
        return false;
    }
    SetModifiedFlag(false);
    const QString target = ResolveSaveTarget(path);
    CleanSaveLeftovers(target);
    WatchFile(target);
    return true;
}

bool CDocument::OnSaveDocument(const QString& path)
{
    const QString target = ResolveSaveTarget(path);
    // The rename of a save replaces the watched file; that is no change by
    // another program, and the watch is put on the new file afterwards.
    m_bSaving = true;
    try {
        CheckWritable(target);
        CleanSaveLeftovers(target);
        if (target == m_strWatched && CFileStamp::Of(target) != m_diskStamp
            && AfxMessageBox(
                   AfxLoadString(AFX_IDP_SAVE_OVER_CHANGED).replace(QLatin1String("%1"), AfxDisplayFileName(path)),
                   MB_YESNO | MB_ICONEXCLAMATION)
                   != IDYES) {
            m_bSaving = false;
            return false;
        }
        std::vector<CInPlaceChange> changes;
        qint64 nLength = 0;
        const bool bInPlace = target == m_strWatched && GetInPlaceChanges(changes, nLength)
                              && !RoomForCopy(target, nLength);
        if (bInPlace
            && AfxMessageBox(AfxLoadString(AFX_IDP_SAVE_IN_PLACE).replace(QLatin1String("%1"), AfxDisplayFileName(path)),
                             MB_YESNO | MB_ICONQUESTION)
                   != IDYES) {
            m_bSaving = false;
            return false;
        }
        // Told of the write's end however it ends.
        struct CWritingInPlace {
            CDocument* pDoc;
            ~CWritingInPlace()
            {
                if (pDoc)
                    pDoc->OnWritingInPlace(false);
            }
        } writing{bInPlace ? this : nullptr};
        if (bInPlace)
            OnWritingInPlace(true);
        CLongTask task(TaskText(AFX_IDS_SAVING, path), 0);
        task.Run([&] {
            if (bInPlace) {
                AfxWriteInPlace(target, nLength, changes, [&](qint64 nDone, qint64 nTotal) {
                    task.SetTotal(nTotal);
                    return task.Step(nDone - task.GetDone());
                });
                return;
            }
            AfxWriteFileSafely(target, [&](QFileDevice& file) {
                CArchive ar(&file, CArchive::store, path, &task);
                Serialize(ar);
            });
        });
    } catch (const CFileException& e) {
        m_bSaving = false;
        ReportSaveLoadException(&e, true);
        return false;
    } catch (const std::bad_alloc&) {
        m_bSaving = false;
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    } catch (const CUserException&) {
        m_bSaving = false;
        return false;
    }
    m_bSaving = false;
    SetModifiedFlag(false);
    WatchFile(target);
    return true;
}

void CDocument::WatchFile(const QString& target)
{
    if (!m_pWatcher) {
        m_pWatcher = new QFileSystemWatcher(this);
        connect(m_pWatcher, &QFileSystemWatcher::fileChanged, this, &CDocument::OnFileChanged);
    }
    if (!m_strWatched.isEmpty())
        m_pWatcher->removePath(m_strWatched);
    m_strWatched = target;
    m_diskStamp = CFileStamp::Of(target);
    m_seenStamp = m_diskStamp;
    m_bChangedOnDisk = false;
    // Qt's watcher cannot be given a name with bytes that are not UTF-8 (it
    // would watch another name), nor more files than the system allows: such
    // a file is looked at every second instead.
    if (!AfxHasRawBytes(target) && m_pWatcher->addPath(target)) {
        m_pollTimer.stop();
        return;
    }
    m_pollTimer.start(1000);
}

void CDocument::OnFileChanged()
{
    if (m_bSaving)
        return;
    // A file replaced by a rename or deleted drops out of the watch; the new
    // file under the name is watched again.
    if (!m_pollTimer.isActive() && !m_pWatcher->files().contains(m_strWatched))
        m_pWatcher->addPath(m_strWatched);
    const CFileStamp stamp = CFileStamp::Of(m_strWatched);
    if (stamp == m_seenStamp)
        return;
    m_seenStamp = stamp;
    m_bChangedOnDisk = true;
    emit changedOnDisk();
}

void CDocument::CheckChangedOnDisk()
{
    if (!m_bChangedOnDisk || m_bAsking)
        return;
    m_bChangedOnDisk = false;
    QString text = AfxLoadString(AFX_IDP_FILE_CHANGED).replace(QLatin1String("%1"), AfxDisplayFileName(m_strPathName));
    if (IsModified())
        text += QLatin1String("\n\n") + AfxLoadString(AFX_IDP_RELOAD_LOSES);
    m_bAsking = true;
    const int nAnswer = AfxMessageBox(text, MB_YESNO | MB_ICONQUESTION);
    m_bAsking = false;
    if (nAnswer == IDYES)
        ReloadDocument();
}

bool CDocument::ReloadDocument()
{
    if (!OnOpenDocument(m_strPathName))
        return false;
    UpdateAllViews(nullptr);
    return true;
}

void CDocument::Serialize(CArchive&)
{
}

void CDocument::ReportSaveLoadException(const CFileException* pException, bool bSaving) const
{
    QString text = pException ? pException->GetErrorMessage() : QString();
    if (text.isEmpty())
        text = AfxLoadString(bSaving ? AFX_IDP_FAILED_TO_SAVE_DOC : AFX_IDP_FAILED_TO_OPEN_DOC);
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

bool CDocument::SaveModified()
{
    if (!IsModified())
        return true;
    const QString name = m_strPathName.isEmpty() ? m_strTitle : AfxFileTitle(m_strPathName);
    const QString prompt = AfxLoadString(AFX_IDP_ASK_TO_SAVE).replace(QLatin1String("%1"), name);
    switch (AfxMessageBox(prompt, MB_YESNOCANCEL | MB_ICONEXCLAMATION)) {
    case IDCANCEL:
        return false;
    case IDYES:
        return DoFileSave();
    default:
        return true;
    }
}

bool CDocument::DoFileSave()
{
    return DoSave(m_strPathName);
}

bool CDocument::DoSave(const QString& path)
{
    // path may be m_strPathName itself, which SetPathName changes.
    const bool bPrompted = path.isEmpty();
    QString target = path;
    if (bPrompted) {
        if (!savePrompt())
            return false;
        target = savePrompt()(this);
        if (target.isEmpty())
            return false;
    }
    if (!OnSaveDocument(target))
        return false;
    if (AfxAbsoluteFilePath(target) != m_strPathName)
        SetPathName(target);
    if (bPrompted)
        emit savedAs(m_strPathName);
    return true;
}

void CDocument::SetSaveFileNamePrompt(PromptFileName prompt)
{
    savePrompt() = std::move(prompt);
}

bool CDocument::GetInPlaceChanges(std::vector<CInPlaceChange>&, qint64&) const
{
    return false;
}
