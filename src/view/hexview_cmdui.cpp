#include "hexview.h"

#include "afxres.h"
#include "cmdui.h"
#include "hexdoc.h"
#include "mdiframewnd.h"
#include "resource.h"
#include "resources.h"
#include "statusbar.h"
#include "winapp.h"

#include <QLabel>

#include <algorithm>

// A command with an update handler here but no command handler anywhere is
// shown enabled when its condition holds and does nothing when chosen.
void CHexView::RegisterCommandUI()
{
    const auto fileNotEmpty = [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->GetSize() > 1); };
    // An emptied document is saved like any other change.
    OnUpdateCommand(ID_FILE_SAVE, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(GetDocument()->GetSize() > 1 || GetDocument()->IsModified());
    });
    for (unsigned nID : {ID_FILE_SAVE_AS, ID_FILE_PRINT, ID_FILE_PRINT_DIRECT, ID_FILE_PRINT_PREVIEW,
                         ID_EDIT_CLEAR, ID_EDIT_FIND, ID_EDIT_REPLACE})
        OnUpdateCommand(nID, fileNotEmpty);
    OnUpdateCommand(ID_EDIT_UNDO, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->History().CanUndo()); });
    OnUpdateCommand(ID_EDIT_REDO, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->History().CanRedo()); });
    OnUpdateCommand(ID_EDIT_COPY, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_bSelection); });
    OnUpdateCommand(ID_EDIT_CUT, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_bSelection); });
    OnUpdateCommand(ID_EDIT_PASTE, [](CCmdUI* pCmdUI) {
        const CMDIFrameWnd* pFrame = AfxGetMainWnd();
        pCmdUI->Enable(pFrame && pFrame->m_bClipboardHasText);
    });
    OnUpdateCommand(ID_EDIT_REPEAT, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(!m_strFind.isEmpty()); });
}

void CHexView::ShowStatusMessage(const QString& strText)
{
    CMDIFrameWnd* pFrame = AfxGetMainWnd();
    if (CStatusBar* pBar = pFrame ? pFrame->GetMessageBar() : nullptr)
        pBar->SetPaneText(0, strText);
}

// The length is written unsigned: a file of 2 GiB or more is no negative size.
// The pane is 6 pixels a character wide.
void CHexView::UpdateByteCount()
{
    CMDIFrameWnd* pFrame = AfxGetMainWnd();
    CStatusBar* pBar = pFrame ? pFrame->GetMessageBar() : nullptr;
    if (!pBar)
        return;
    const QString text = AfxLoadString(IDS_BYTE_COUNT)
                             .replace(QLatin1String("%d"), QString::number(GetDocument()->GetLength()));
    if (pBar->GetPaneText(1) == text)
        return;
    pBar->SetPaneInfo(1, ID_SEPARATOR, SBPS_POPOUT, 6 * int(text.size()));
    pBar->SetPaneText(1, text, true);
}

// The pane is as wide as the caret's text gets in this document, so that it
// does not jump as the caret moves; a selection's text may widen it.
void CHexView::UpdateCaretPane()
{
    CMDIFrameWnd* pFrame = AfxGetMainWnd();
    CStatusBar* pBar = pFrame ? pFrame->GetMessageBar() : nullptr;
    if (!pBar || pBar->GetCount() <= kCaretPane || !GetDocument())
        return;
    if (const CView* pActive = pFrame->GetActiveView(); pActive && pActive != this)
        return;
    const auto hex = [](std::uint32_t n) { return QString::number(n, 16).toUpper(); };
    const std::uint32_t nCaret = m_bSelection ? m_nSelEnd : m_nCaretPos;
    QString text;
    if (m_bSelection && m_nSelAnchor != m_nSelEnd) {
        const std::uint32_t nFirst = std::min(m_nSelAnchor, m_nSelEnd);
        const std::uint32_t nLength = std::max(m_nSelAnchor, m_nSelEnd) - nFirst;
        text = AfxLoadString(IDS_CARET_SELECTION)
                   .arg(hex(nCaret), QString::number(nCaret), hex(nFirst), hex(nFirst + nLength - 1),
                        QString::number(nLength));
    } else {
        text = AfxLoadString(IDS_CARET_OFFSET).arg(hex(nCaret), QString::number(nCaret));
    }
    if (pBar->GetPaneText(kCaretPane) == text)
        return;
    const std::uint32_t nLast = GetDocument()->GetLength();
    const QString widest = AfxLoadString(IDS_CARET_OFFSET).arg(hex(nLast), QString::number(nLast));
    pBar->SetPaneInfo(kCaretPane, ID_SEPARATOR, SBPS_NORMAL,
                      pBar->PaneLabel(kCaretPane)->fontMetrics().horizontalAdvance(widest));
    pBar->SetPaneText(kCaretPane, text, true);
}
