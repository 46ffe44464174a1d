#include "hexview.h"

#include "afxres.h"
#include "cmdui.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"

#include <QMetaMethod>

#include <algorithm>

// A command with an update handler here but no command handler anywhere is
// shown enabled when its condition holds and does nothing when chosen.
void CHexView::RegisterCommandUI()
{
    const auto fileNotEmpty = [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->Length() > 0); };
    // An emptied document is saved like any other change.
    OnUpdateCommand(ID_FILE_SAVE, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(GetDocument()->Length() > 0 || GetDocument()->IsModified());
    });
    for (unsigned nID : {ID_FILE_SAVE_AS, ID_FILE_PRINT, ID_FILE_PRINT_DIRECT, ID_FILE_PRINT_PREVIEW,
                         ID_EDIT_CLEAR, ID_EDIT_FIND, ID_EDIT_REPLACE})
        OnUpdateCommand(nID, fileNotEmpty);
    OnUpdateCommand(ID_EDIT_UNDO, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->History().CanUndo()); });
    OnUpdateCommand(ID_EDIT_REDO, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(GetDocument()->History().CanRedo()); });
    OnUpdateCommand(ID_EDIT_COPY, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_bSelection); });
    OnUpdateCommand(ID_EDIT_CUT, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(m_bSelection); });
    OnUpdateCommand(ID_EDIT_PASTE, [this](CCmdUI* pCmdUI) {
        const auto& hasBytes = GetServices().clipboardHasBytes;
        pCmdUI->Enable(hasBytes && hasBytes());
    });
    OnUpdateCommand(ID_EDIT_REPEAT, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(!m_strFind.isEmpty()); });
}

void CHexView::ShowStatusMessage(const QString& strText)
{
    emit statusMessage(strText);
}

// The length is written unsigned: a file of 2 GiB or more is no negative size.
void CHexView::UpdateByteCount()
{
    if (!GetDocument())
        return;
    emit byteCountChanged(AfxLoadString(IDS_BYTE_COUNT)
                              .replace(QLatin1String("%d"), QString::number(GetDocument()->Length())));
}

void CHexView::UpdateModePane()
{
    emit editModeChanged(AfxLoadString(InsertModeChosen() ? ID_INDICATOR_OVR : IDS_OVR));
}

// Every caret move comes here: with no one listening the texts are not made.
// The widest text is the caret's at the document's end; a selection's text may
// be wider still.
void CHexView::UpdateCaretPane()
{
    if (!GetDocument())
        return;
    const qint64 nCaret = m_bSelection ? m_nSelEnd : m_nCaretPos;
    const CSelection sel = ShownSelection();
    emit caretMoved(nCaret, sel.IsEmpty() ? nCaret : sel.First(), sel.Length());
    if (!isSignalConnected(QMetaMethod::fromSignal(&CHexView::caretChanged)))
        return;
    const auto hex = [](qint64 n) { return QString::number(n, 16).toUpper(); };
    QString text;
    if (!sel.IsEmpty()) {
        text = AfxLoadString(IDS_CARET_SELECTION)
                   .arg(hex(nCaret), QString::number(nCaret), hex(sel.First()), hex(sel.Beyond() - 1),
                        QString::number(sel.Length()));
    } else {
        text = AfxLoadString(IDS_CARET_OFFSET).arg(hex(nCaret), QString::number(nCaret));
    }
    const qint64 nLast = GetDocument()->Length();
    emit caretChanged(text, AfxLoadString(IDS_CARET_OFFSET).arg(hex(nLast), QString::number(nLast)));
}
