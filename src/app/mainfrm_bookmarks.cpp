#include "mainfrm.h"

#include "bookmarkpanel.h"
#include "cmdui.h"
#include "hexview.h"
#include "resource.h"

#include <QTableWidget>

// The Bookmarks list docks on the right, hidden until View > Bookmarks shows
// it; showing it puts the keyboard focus in it. It follows the active document
// window (OnChildActivated).
void CMainFrame::CreateBookmarkPanel()
{
    m_pBookmarkPanel = new CBookmarkPanel(this);
    addDockWidget(Qt::RightDockWidgetArea, m_pBookmarkPanel);
    m_pBookmarkPanel->hide();
    OnCommand(ID_VIEW_BOOKMARKS, [this] {
        m_pBookmarkPanel->setVisible(m_pBookmarkPanel->isHidden());
        if (m_pBookmarkPanel->isVisible()) {
            m_pBookmarkPanel->raise();
            m_pBookmarkPanel->Table()->setFocus();
        }
    });
    OnUpdateCommand(ID_VIEW_BOOKMARKS, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(true);
        pCmdUI->SetCheck(!m_pBookmarkPanel->isHidden());
    });
}
