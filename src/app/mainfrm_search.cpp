// Edit > Find in All Encodings and Edit > Relative Search: each a dialog of
// its own beside the document windows, shown with the focus in its text box.
// Relative Search's Make Table loads the table it wrote.
#include "mainfrm.h"

#include "cmdui.h"
#include "findalldialog.h"
#include "hexview.h"
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
    // Make Table shows the table it wrote in the document the hit is in, so
    // the text column reads the word at once.
    connect(m_pRelative, &CRelativeSearchDialog::tableSaved, this, [this](const QString& path) {
        if (CHexView* pView = m_pRelative->View())
            pView->ChooseCharTable(path);
    });
    OnCommand(ID_EDIT_FIND_ALL_ENCODINGS, [this] { ShowDialog(m_pFindAll); });
    OnCommand(ID_EDIT_RELATIVE_SEARCH, [this] { ShowDialog(m_pRelative); });
    OnUpdateCommand(ID_EDIT_FIND_ALL_ENCODINGS, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(HasDocumentWindow()); });
    OnUpdateCommand(ID_EDIT_RELATIVE_SEARCH, [this](CCmdUI* pCmdUI) { pCmdUI->Enable(HasDocumentWindow()); });
}
