// The dock panels of the main frame: the Data Inspector and the Strings list.
// They follow the active document window's view, and their places, their
// visibility and the inspector's switches are kept in the settings profile
// from one start to the next.
#include "mainfrm.h"

#include "cmdui.h"
#include "datavaluespanel.h"
#include "findalldialog.h"
#include "hexview.h"
#include "relativesearchdialog.h"
#include "resource.h"
#include "statusbar.h"
#include "stringspanel.h"
#include "winapp.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kPanelLayout = QStringLiteral("PanelLayout");
const QString kBigEndian = QStringLiteral("InspectorBigEndian");
const QString kHex = QStringLiteral("InspectorHex");
// Raised whenever the set of docks changes, so that an older layout is not applied.
constexpr int kPanelLayoutVersion = 1;

// Shows the panel with the focus in it; a second press, with the focus
// already there, hides it.
template <typename Panel>
void TogglePanel(Panel* pPanel)
{
    if (pPanel->isVisible() && pPanel->isAncestorOf(QApplication::focusWidget()))
        pPanel->hide();
    else
        pPanel->ShowAndFocus();
}

QString PanelTitle(unsigned nID)
{
    // The tooltip part of the command's prompt: "Data Inspector", "Strings".
    return AfxLoadString(nID).section(QLatin1Char('\n'), 1, 1);
}

} // namespace

void CMainFrame::CreatePanels()
{
    m_pInspector = new CDataValuesPanel(this);
    m_pInspector->setWindowTitle(PanelTitle(ID_VIEW_DATA_INSPECTOR));
    m_pStrings = new CStringsPanel(this);
    m_pStrings->setWindowTitle(PanelTitle(ID_VIEW_STRINGS));
    addDockWidget(Qt::RightDockWidgetArea, m_pInspector);
    addDockWidget(Qt::RightDockWidgetArea, m_pStrings);
    m_pInspector->hide();
    m_pStrings->hide();

    OnCommand(ID_VIEW_DATA_INSPECTOR, [this] { TogglePanel(m_pInspector); });
    OnCommand(ID_VIEW_STRINGS, [this] { TogglePanel(m_pStrings); });
    OnUpdateCommand(ID_VIEW_DATA_INSPECTOR, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(true);
        pCmdUI->SetCheck(m_pInspector->isVisible());
    });
    OnUpdateCommand(ID_VIEW_STRINGS, [this](CCmdUI* pCmdUI) {
        pCmdUI->Enable(true);
        pCmdUI->SetCheck(m_pStrings->isVisible());
    });
    // A long scan of the Strings list shows in the status bar's progress pane.
    connect(m_pStrings, &CStringsPanel::progressChanged, this, [this](const QString& text, qint64 nDone, qint64 nTotal) {
        if (CStatusBar* pBar = GetMessageBar())
            pBar->ShowProgress(text, nDone, nTotal);
    });
    connect(m_pStrings, &CStringsPanel::progressEnded, this, [this] {
        if (CStatusBar* pBar = GetMessageBar())
            pBar->EndProgress();
    });

    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return;
    m_pInspector->SetBigEndian(pApp->GetProfileInt(kSettings, kBigEndian, 0) != 0);
    m_pInspector->SetHex(pApp->GetProfileInt(kSettings, kHex, 0) != 0);
    connect(m_pInspector, &CDataValuesPanel::formatChanged, this, [this] {
        if (CWinApp* pProfile = AfxGetApp()) {
            pProfile->WriteProfileInt(kSettings, kBigEndian, m_pInspector->IsBigEndian());
            pProfile->WriteProfileInt(kSettings, kHex, m_pInspector->IsHex());
        }
    });
    const QByteArray layout = QByteArray::fromBase64(pApp->GetProfileString(kSettings, kPanelLayout).toLatin1());
    if (!layout.isEmpty())
        restoreState(layout, kPanelLayoutVersion);
}

void CMainFrame::SavePanelLayout()
{
    if (CWinApp* pApp = AfxGetApp())
        pApp->WriteProfileString(kSettings, kPanelLayout,
                                 QString::fromLatin1(saveState(kPanelLayoutVersion).toBase64()));
}

void CMainFrame::ShowPanelsFor(CHexView* pView)
{
    m_pInspector->SetView(pView);
    m_pStrings->SetView(pView);
    m_pFindAll->SetView(pView);
    m_pRelative->SetView(pView);
}

bool CMainFrame::PreTranslateMessage(QObject* pTarget, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::KeyPress && pTarget->isWidgetType()) {
        auto* pWidget = static_cast<QWidget*>(pTarget);
        const bool bInPanel = (m_pInspector && m_pInspector->isAncestorOf(pWidget))
            || (m_pStrings && m_pStrings->isAncestorOf(pWidget));
        // Text boxes keep every key; the tables keep Delete and F2 (edit the
        // row), which the rows' accelerators would otherwise take.
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (bInPanel
            && (qobject_cast<QLineEdit*>(pWidget) || qobject_cast<QAbstractSpinBox*>(pWidget)
                || nKey == Qt::Key_Delete || nKey == Qt::Key_F2))
            return false;
    }
    return CMDIFrameWnd::PreTranslateMessage(pTarget, pEvent);
}
