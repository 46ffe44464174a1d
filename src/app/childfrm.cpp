#include "childfrm.h"

#include "view.h"
#include "winapp.h"

#include <QIcon>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kShowCmd = QStringLiteral("ShowCmd");

} // namespace

int CChildFrame::s_nShowCmd = SW_SHOWMAXIMIZED;
int CChildFrame::s_nSavedShowCmd = SW_SHOWMAXIMIZED;

CChildFrame::CChildFrame(QWidget* pParent) : CMDIChildWnd(pParent)
{
    setWindowIcon(QIcon(QStringLiteral(":/icons/document.svg")));
}

void CChildFrame::ActivateFrame(int nCmdShow)
{
    CMDIChildWnd::ActivateFrame(nCmdShow == -1 ? s_nShowCmd : nCmdShow);
}

void CChildFrame::LoadShowCmd()
{
    const int nShowCmd = AfxGetApp()->GetProfileInt(kSettings, kShowCmd, s_nShowCmd);
    // Only the two states the program writes; anything else would open
    // document windows hidden or minimized.
    if (nShowCmd == SW_SHOWNORMAL || nShowCmd == SW_SHOWMAXIMIZED)
        s_nShowCmd = nShowCmd;
    s_nSavedShowCmd = s_nShowCmd;
}

void CChildFrame::SaveShowCmd()
{
    if (s_nShowCmd == s_nSavedShowCmd)
        return;
    AfxGetApp()->WriteProfileInt(kSettings, kShowCmd, s_nShowCmd);
    s_nSavedShowCmd = s_nShowCmd;
}

void CChildFrame::OnSize(unsigned nType, int cx, int cy)
{
    CMDIChildWnd::OnSize(nType, cx, cy);
    if (!isVisible())
        return;
    if (nType == SIZE_RESTORED)
        s_nShowCmd = SW_SHOWNORMAL;
    else if (nType == SIZE_MAXIMIZED)
        s_nShowCmd = SW_SHOWMAXIMIZED;
}

