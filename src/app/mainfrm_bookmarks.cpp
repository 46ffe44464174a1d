#include "mainfrm.h"

#include "bookmarkpanel.h"
#include "cmdui.h"
#include "hexview.h"
#include "resource.h"

#include <QTableWidget>
#include <QTimer>

// The Bookmarks list docks on the right, hidden until View > Bookmarks shows
// it; showing it puts the keyboard focus in it. It follows the active document
// window (OnChildActivated).
void CMainFrame::CreateBookmarkPanel()
{
    m_pBookmarkPanel = new CBookmarkPanel(this);
    addDockWidget(Qt::RightDockWidgetArea, m_pBookmarkPanel);
    m_pBookmarkPanel->hide();
    OnCommand(ID_VIEW_BOOKMARKS, [this, bSized = false]() mutable {
        m_pBookmarkPanel->setVisible(m_pBookmarkPanel->isHidden());
        if (m_pBookmarkPanel->isVisible()) {
            // The first time, room for an offset, a length, a short name and
            // a row's bytes; after that the width the user left it at.
            if (!bSized)
                resizeDocks({m_pBookmarkPanel}, {m_pBookmarkPanel->fontMetrics().averageCharWidth() * 60},
                            Qt::Horizontal);
            bSized = true;
            m_pBookmarkPanel->raise();
            // After the menu that sent the command has closed and given the
            // focus back to where it was.
            QTimer::singleShot(0, m_pBookmarkPanel->Table(), qOverload<>(&QWidget::setFocus));
        }
    });
    OnUpdateCommand(ID_VIEW_BOOKMARKS, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(true);
        pCmdUI->SetCheck(!m_pBookmarkPanel->isHidden());
    });
}
