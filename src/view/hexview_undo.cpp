#include "hexview.h"

#include "afxmsg.h"
#include "afxres.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"
#include "winapp.h"

#include <algorithm>
#include <new>

// The limit of the history's bytes: "Settings"/"UndoLimitMB" of the profile, in
// MiB, 256 by default.
std::uint64_t CHexView::UndoLimit()
{
    const CWinApp* pApp = AfxGetApp();
    const int nMB = pApp ? pApp->GetProfileInt(QStringLiteral("Settings"), QStringLiteral("UndoLimitMB"), 256) : 256;
    return std::uint64_t(std::max(nMB, 0)) << 20;
}

CEditState CHexView::EditState() const
{
    return {m_nSelAnchor, m_nSelEnd, m_nCaretPos, m_bSelection};
}

// A step larger than the limit is not copied at all: the change goes ahead and
// the history is emptied.
bool CHexView::BeginStep(CEditStep& step, std::uint64_t nBytes)
{
    CEditHistory& history = GetDocument()->m_history;
    history.SetLimit(UndoLimit());
    step.before = EditState();
    step.bTyping = m_bTyping;
    return HistoryHolds(nBytes);
}

bool CHexView::HistoryHolds(std::uint64_t nBytes) const
{
    return nBytes + sizeof(CEditStep) <= GetDocument()->m_history.Limit();
}

void CHexView::EndStep(CEditStep&& step, bool bKept)
{
    m_bStepMade = true;
    CEditHistory& history = GetDocument()->m_history;
    if (bKept && step.bTyping && history.ExtendTyping(step.offsets[0], step.removed, step.inserted))
        return;
    if (!bKept || !history.Add(std::move(step))) {
        history.Forget();
        ShowStatusMessage(AfxLoadString(IDS_UNDO_TOO_LARGE));
    }
}

void CHexView::NoteStepAfter()
{
    if (!m_bStepMade)
        return;
    m_bStepMade = false;
    GetDocument()->m_history.SetAfter(EditState());
}

// The bytes go back (or forward) in every window of the document; this window
// takes back the caret and selection the step recorded.
void CHexView::UndoOrRedo(bool bUndo)
{
    CHexDoc* pDoc = GetDocument();
    CEditHistory& history = pDoc->m_history;
    if (bUndo ? !history.CanUndo() : !history.CanRedo())
        return;
    if (m_bResumeInsert)
        EndInsertPause();
    CEditStep& step = bUndo ? history.Undo() : history.Redo();
    try {
        pDoc->ApplyStep(step, bUndo);
    } catch (const std::bad_alloc&) {
        if (bUndo)
            history.Redo();
        else
            history.Undo();
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return;
    }
    HideSelection();
    InvalidateRowCache(step.offsets.empty() ? 0 : step.offsets.front());
    const CEditState& state = bUndo ? step.before : step.after;
    m_nSelAnchor = state.nAnchor;
    m_nSelEnd = state.nEnd;
    m_nCaretPos = state.nCaret;
    pDoc->SetModifiedFlag(!history.IsAtSaved());
    pDoc->UpdateAllViews(nullptr, 0);
    UpdateByteCount();
    if (state.bSelection)
        ShowSelection(m_nSelAnchor, m_nSelEnd);
    ResetCaret();
}
