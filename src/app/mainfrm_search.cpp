// Edit > Find in All Encodings and Edit > Relative Search: each a dialog of
// its own beside the document windows, shown with the focus in its text box.
#include "mainfrm.h"

#include "cmdui.h"
#include "findalldialog.h"
#include "relativesearchdialog.h"
#include "resource.h"

#include <QLineEdit>

namespace {

void ShowDialog(CHitListDialog* pDialog)
{
    pDialog->show();
    pDialog->raise();
    pDialog->activateWindow();
    pDialog->TextBox()->setFocus();
    pDialog->TextBox()->selectAll();
}

} // namespace

void CMainFrame::CreateSearchDialogs()
{
    m_pFindAll = new CFindAllDialog(this);
    m_pRelative = new CRelativeSearchDialog(this);
    // The title is the tooltip part of the command's prompt.
    m_pFindAll->setWindowTitle(AfxLoadString(ID_EDIT_FIND_ALL_ENCODINGS).section(QLatin1Char('\n'), 1, 1));
    m_pRelative->setWindowTitle(AfxLoadString(ID_EDIT_RELATIVE_SEARCH).section(QLatin1Char('\n'), 1, 1));
    OnCommand(ID_EDIT_FIND_ALL_ENCODINGS, [this] { ShowDialog(m_pFindAll); });
    OnCommand(ID_EDIT_RELATIVE_SEARCH, [this] { ShowDialog(m_pRelative); });
    OnUpdateCommand(ID_EDIT_FIND_ALL_ENCODINGS, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(HasDocumentWindow()); });
    OnUpdateCommand(ID_EDIT_RELATIVE_SEARCH, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(HasDocumentWindow()); });
}
