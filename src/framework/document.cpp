#include "document.h"

#include "afxmsg.h"
#include "afxres.h"
#include "archive.h"
#include "fileexception.h"
#include "resources.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <new>

namespace {

CDocument::PromptFileName& savePrompt()
{
    static CDocument::PromptFileName prompt;
    return prompt;
}

// The mode bits only: the "user" bits report what this process may do, which for
// a privileged user is everything.
constexpr QFileDevice::Permissions kAnyWrite =
    QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;

// The file a save really writes: the end of a chain of symbolic links, so that
// the rename of the finished file replaces the target and not the link.
QString ResolveSaveTarget(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        return target.isEmpty() ? info.symLinkTarget() : target;
    }
    return path;
}

// A file or folder that nobody may write is refused even to a user whose
// privileges would let the rename through: the user marked it read-only.
void CheckWritable(const QString& target)
{
    const QFileInfo file(target);
    if (file.exists()) {
        if (file.isDir())
            throw CFileException(CFileException::invalidFile, target);
        if (!file.isWritable() || !(file.permissions() & kAnyWrite))
            throw CFileException(CFileException::accessDenied, target);
    }
    const QFileInfo folder(file.absolutePath());
    if (!folder.exists() || !folder.isDir())
        throw CFileException(CFileException::badPath, target);
    if (!folder.isWritable() || !(folder.permissions() & kAnyWrite))
        throw CFileException(CFileException::accessDenied, target);
}

} // namespace

CDocument::CDocument() = default;

CDocument::~CDocument() = default;

void CDocument::SetPathName(const QString& path)
{
    m_strPathName = QFileInfo(path).absoluteFilePath();
    SetTitle(QFileInfo(path).fileName());
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
    QFile file(path);
    try {
        if (QFileInfo(path).isDir())
            throw CFileException(CFileException::invalidFile, path);
        if (!file.open(QIODevice::ReadOnly))
            throw CFileException::FromDevice(file, path);
        DeleteContents();
        SetModifiedFlag(true);   // contents are in flux until the load ends
        CArchive ar(&file, CArchive::load);
        Serialize(ar);
    } catch (const CFileException& e) {
        DeleteContents();
        ReportSaveLoadException(&e, false);
        return false;
    } catch (const std::bad_alloc&) {
        DeleteContents();
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const QString& path)
{
    const QString target = ResolveSaveTarget(path);
    try {
        CheckWritable(target);
        QSaveFile file(target);
        file.setDirectWriteFallback(false);
        if (!file.open(QIODevice::WriteOnly))
            throw CFileException::FromDevice(file, path);
        CArchive ar(&file, CArchive::store);
        Serialize(ar);
        if (!file.commit())
            throw CFileException::FromDevice(file, path);
    } catch (const CFileException& e) {
        ReportSaveLoadException(&e, true);
        return false;
    } catch (const std::bad_alloc&) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    }
    SetModifiedFlag(false);
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
    const QString name = m_strPathName.isEmpty() ? m_strTitle : QFileInfo(m_strPathName).fileName();
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
    QString target = path;
    if (target.isEmpty()) {
        if (!savePrompt())
            return false;
        target = savePrompt()(this);
        if (target.isEmpty())
            return false;
    }
    if (!OnSaveDocument(target))
        return false;
    if (QFileInfo(target).absoluteFilePath() != m_strPathName)
        SetPathName(target);
    return true;
}

void CDocument::SetSaveFileNamePrompt(PromptFileName prompt)
{
    savePrompt() = std::move(prompt);
}
