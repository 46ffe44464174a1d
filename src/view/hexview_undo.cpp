#include "hexview.h"

#include "afxmsg.h"
#include "afxres.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

#include <new>

CEditState CHexView::EditState() const
{
    return {m_nSelAnchor, m_nSelEnd, m_nCaretPos, m_bSelection};
}

void CHexView::NoteStepAfter()
{
    if (!m_bStepMade)
        return;
    m_bStepMade = false;
    GetDocument()->SetStepAfter(EditState());
}

// The bytes go back (or forward) in every window of the document, each
// following the document's signal; this window takes back the caret and
// selection the step recorded.
void CHexView::UndoOrRedo(bool bUndo)
{
    CHexDoc* pDoc = GetDocument();
    if (bUndo ? !pDoc->History().CanUndo() : !pDoc->History().CanRedo())
        return;
    if (m_bResumeInsert)
        EndInsertPause();
    CEditState state;
    const CHexDoc::EditResult result = bUndo ? pDoc->Undo(state) : pDoc->Redo(state);
    if (result == CHexDoc::EditResult::OutOfMemory) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_MEMORY_ALLOC), MB_OK | MB_ICONSTOP);
        return;
    }
    if (!CHexDoc::Changed(result))
        return;
    HideSelection();
    m_nSelAnchor = state.nAnchor;
    m_nSelEnd = state.nEnd;
    m_nCaretPos = state.nCaret;
    UpdateByteCount();
    if (state.bSelection)
        ShowSelection(m_nSelAnchor, m_nSelEnd);
    ResetCaret();
}
