#include "hexview.h"

#include "afxmsg.h"
#include "afxres.h"
#include "clipboard.h"
#include "codepage.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

#include <algorithm>
#include <cstring>
#include <new>

void CHexView::RegisterEditCommands()
{
    OnCommand(ID_EDIT_CLEAR, [this] { OnEditClear(); });
    OnCommand(ID_EDIT_COPY, [this] { OnEditCopy(); });
    OnCommand(ID_EDIT_CUT, [this] { OnEditCut(); });
    OnCommand(ID_EDIT_PASTE, [this] { OnEditPaste(); });
    OnCommand(ID_EDIT_UNDO, [this] { UndoOrRedo(true); });
    OnCommand(ID_EDIT_REDO, [this] { UndoOrRedo(false); });
}

bool CHexView::InsertBytes(qint64 nPos, const std::uint8_t* pSrc, qint64 n)
{
    return ReplaceBytes(nPos, 0, pSrc, n);
}

bool CHexView::DeleteBytes(qint64 nPos, qint64 n)
{
    if (n == 0)
        return false;
    return ReplaceBytes(nPos, n, nullptr, 0);
}

// Each change is one step of the document's history, made by the document.
bool CHexView::ReplaceBytes(qint64 nPos, qint64 nRemove, const std::uint8_t* pSrc, qint64 nInsert)
{
    // This view places its own caret after the change; other views follow it.
    m_bOwnEdit = true;
    const CHexDoc::EditResult result = GetDocument()->ReplaceBytes(nPos, nRemove, pSrc, nInsert, EditState(), m_bTyping);
    m_bOwnEdit = false;
    if (!ReportEdit(result))
        return false;
    UpdateByteCount();
    return true;
}

// The messages of a refused edit; a change the history could not keep is made
// and said so in the status bar.
bool CHexView::ReportEdit(CHexDoc::EditResult result)
{
    switch (result) {
    case CHexDoc::EditResult::Done:
        break;
    case CHexDoc::EditResult::DoneWithoutUndo:
        ShowStatusMessage(AfxLoadString(IDS_UNDO_TOO_LARGE));
        break;
    case CHexDoc::EditResult::TooLarge:
        AfxMessageBox(AfxLoadString(IDS_EDIT_TOO_LARGE)
                          .replace(QLatin1String("%1"), QString::number(CHexDoc::s_nMaxFileLength)),
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    case CHexDoc::EditResult::OutOfMemory:
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    case CHexDoc::EditResult::Refused:
    case CHexDoc::EditResult::Cancelled:
        return false;
    }
    m_bStepMade = true;
    return true;
}

bool CHexView::ReadRange(qint64 nPos, qint64 n, QByteArray& bytes) const
{
    try {
        bytes.resize(qsizetype(n));
    } catch (const std::bad_alloc&) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    }
    if (!GetDocument()->Read(nPos, n, reinterpret_cast<std::uint8_t*>(bytes.data()))) {
        bytes.clear();
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_TO_OPEN_DOC), MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}

bool CHexView::CopyToClipboard(qint64 nPos, qint64 n)
{
    if (n == 0)
        return true;
    QByteArray bytes;
    if (!ReadRange(nPos, n, bytes))
        return false;
    try {
        CClipboard::Instance()->SetBytes(bytes, GetCharCodec());
    } catch (const std::bad_alloc&) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}

void CHexView::OnEditCopy()
{
    if (!m_bSelection)
        return;
    CopyToClipboard(GetSelection().First(), GetSelection().Length());
    ResetCaret();
}

void CHexView::OnEditCut()
{
    if (!m_bSelection)
        return;
    if (m_bResumeInsert)
        EndInsertPause();
    const qint64 nStart = GetSelection().First();
    const qint64 nLength = GetSelection().Length();
    // Bytes that did not reach the clipboard stay in the document.
    if (!CopyToClipboard(nStart, nLength))
        return;
    DeleteBytes(nStart, nLength);
    HideSelection();
    m_nCaretPos = nStart;
    KeepWithinEnd();
    ResetCaret();
    NoteStepAfter();
}

void CHexView::OnEditClear()
{
    if (m_bResumeInsert)
        EndInsertPause(false);
    if (m_bSelection) {
        const qint64 nStart = GetSelection().First();
        DeleteBytes(nStart, GetSelection().Length());
        HideSelection();
        m_nCaretPos = nStart;
        ResetCaret();
    } else {
        DeleteBytes(m_nCaretPos, 1);
    }
    KeepWithinEnd();
    UpdateByteCount();
    NoteStepAfter();
}

// Over a selection the clipboard's bytes replace it in one step: a paste that is
// refused (too large, no memory, a character the code page cannot hold) leaves
// the selection and its bytes in place. Another program's text is written in
// the document's code page, as typing is.
void CHexView::OnEditPaste()
{
    QString text;
    QByteArray bytes = CClipboard::Instance()->GetBytes(&text);
    if (bytes.isEmpty() && !text.isEmpty() && !EncodeOrRefuse(text, bytes))
        return;
    if (bytes.isEmpty())
        return;
    if (m_bResumeInsert)
        EndInsertPause();
    const auto* pSrc = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const qint64 n = bytes.size();
    if (m_bSelection) {
        const qint64 nStart = GetSelection().First();
        if (!ReplaceBytes(nStart, GetSelection().Length(), pSrc, n))
            return;
        HideSelection();
        m_nCaretPos = nStart;
    } else if (!InsertBytes(m_nCaretPos, pSrc, n)) {
        return;
    }
    KeepWithinEnd();
    PlaceCaret();
    NoteStepAfter();
}

void CHexView::KeepWithinEnd()
{
    const qint64 nLast = GetDocument()->Length();
    m_nSelAnchor = std::min(m_nSelAnchor, nLast);
    m_nSelEnd = std::min(m_nSelEnd, nLast);
    m_nCaretPos = std::min(m_nCaretPos, nLast);
}

// Any view of the document may have changed its length: this one follows with
// its rows, scroll sizes, caret and selection. The whole view repaints.
void CHexView::OnUpdate(CDocumentView* pSender, qintptr lHint)
{
    CScrollView::OnUpdate(pSender, lHint);
    const CHexDoc* pDoc = GetDocument();
    if (!pDoc)
        return;
    const qint64 nRows = RowCount();
    if (FitOffsetColumn()) {
        m_nRows = nRows;
        LayOut();
        InvalidateRect(GetClientRect(), false);
    } else if (nRows != m_nRows) {
        m_nRows = nRows;
        UpdateScrollSizes();
    }
    KeepWithinEnd();
    RebuildSelectionRegions();
    PlaceCaret();
}

// Each window listens to its document itself; no window updates another.
void CHexView::ConnectDocument()
{
    CHexDoc* pDoc = GetDocument();
    if (pDoc == m_pConnected)
        return;
    if (m_pConnected) {
        disconnect(m_pConnected, nullptr, this, nullptr);
        disconnect(&m_pConnected->Bookmarks(), nullptr, this, nullptr);
    }
    m_pConnected = pDoc;
    if (!pDoc)
        return;
    connect(pDoc, &CHexDoc::bytesChanged, this, &CHexView::OnBytesChanged);
    connect(pDoc, &CHexDoc::codePageChanged, this, &CHexView::OnCodePageChanged);
    connect(pDoc, &CHexDoc::reloaded, this, &CHexView::OnReloaded);
    connect(&pDoc->Bookmarks(), &CBookmarks::bookmarksChanged, viewport(), qOverload<>(&QWidget::update));
}

// The caret and selection stay on their bytes when another view, or an undo,
// changes bytes before them: a position after the change moves along with its
// byte, and one inside the replaced bytes keeps its distance from their start,
// at most up to the end of what replaced them.
void CHexView::OnBytesChanged(qint64 nPos, qint64 nRemoved, qint64 nInserted)
{
    m_rowFormat.ReplaceInRowCache(nPos, nRemoved, nInserted);
    if (!m_bOwnEdit) {
        const auto follow = [nPos, nRemoved, nInserted](qint64& nAt) {
            if (nAt < nPos)
                return;
            if (nAt - nPos >= nRemoved)
                nAt = nAt - nRemoved + nInserted;
            else
                nAt = nPos + std::min(nAt - nPos, nInserted);
        };
        follow(m_nCaretPos);
        follow(m_nSelAnchor);
        follow(m_nSelEnd);
    }
    OnUpdate(nullptr, 0);
}

void CHexView::OnReloaded()
{
    m_rowFormat.InvalidateRowCache(0);
    OnUpdate(nullptr, 0);
}
