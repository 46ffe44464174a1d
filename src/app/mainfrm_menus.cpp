#include "mainfrm.h"

#include "afxres.h"
#include "filename.h"
#include "recentfilelist.h"
#include "resource.h"
#include "winapp.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

// The longest recent-file name shown; longer paths lose folders from the middle.
constexpr int kMaxRecentName = 40;

QString RecentFileDisplayName(const QString& path)
{
    QString name = AfxDisplayFileName(path);
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    if (name.startsWith(home + QDir::separator()))
        name = QLatin1Char('~') + name.mid(home.size());
    if (name.size() > kMaxRecentName) {
        const QStringList parts = name.split(QDir::separator());
        const QString head = parts.first() + QDir::separator() + QStringLiteral("...");
        QString tail = parts.last();
        for (int i = parts.size() - 2; i > 0; --i) {
            const QString longer = parts[i] + QDir::separator() + tail;
            if (head.size() + 1 + longer.size() > kMaxRecentName)
                break;
            tail = longer;
        }
        name = head + QDir::separator() + tail;
    }
    // A file called "a&b" must not turn b into a mnemonic.
    return name.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// "&1 name" .. "&9 name", "1&0 name", then no mnemonic.
QString RecentFileMenuText(int nIndex, const QString& path)
{
    const int n = nIndex + 1;
    QString number;
    if (n < 10)
        number = QStringLiteral("&%1").arg(n);
    else if (n == 10)
        number = QStringLiteral("1&0");
    else
        number = QString::number(n);
    return number + QLatin1Char(' ') + RecentFileDisplayName(path);
}

} // namespace

CMainFrame::Menu CMainFrame::BuildMenu(unsigned nID)
{
    Menu menu;
    for (const CMenuItemRes& popup : AfxLoadMenu(nID))
        menu.popups.append(BuildPopup(popup.text, popup.children, menu));
    return menu;
}

QMenu* CMainFrame::BuildPopup(const QString& title, const QList<CMenuItemRes>& items, Menu& menu)
{
    auto* popup = new QMenu(title, this);
    // Every separator the menu resource has shows, a leading one too.
    popup->setSeparatorsCollapsible(false);
    for (const CMenuItemRes& item : items) {
        if (item.popup) {
            popup->addMenu(BuildPopup(item.text, item.children, menu));
        } else if (item.separator) {
            popup->addSeparator();
        } else if (item.id == ID_FILE_MRU_FILE1 && item.grayed) {
            // Stands where the recent files go while there are none.
            menu.pFile = popup;
            menu.pRecentPlaceholder = popup->addAction(item.text);
            menu.pRecentPlaceholder->setEnabled(false);
        } else {
            QAction* action = CommandAction(item.id);
            action->setText(item.text);
            action->setStatusTip(AfxLoadString(item.id).section(QLatin1Char('\n'), 0, 0));
            popup->addAction(action);
            if (item.id == ID_WINDOW_NEW)
                SetWindowMenu(popup);
        }
    }
    TrackMenuUpdates(popup);
    return popup;
}

void CMainFrame::ShowMenu(unsigned nID)
{
    if (m_nMenuShown == nID || !m_menus.contains(nID))
        return;
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* popup : std::as_const(m_menus[nID].popups))
        bar->addMenu(popup);
    m_nMenuShown = nID;
}

QMenu* CMainFrame::GetPopup(unsigned nMenuID, int nIndex) const
{
    auto it = m_menus.constFind(nMenuID);
    if (it == m_menus.constEnd() || nIndex < 0 || nIndex >= it->popups.size())
        return nullptr;
    return it->popups[nIndex];
}

bool CMainFrame::HasDocumentWindow() const
{
    // A closing window is hidden at once but deleted only later.
    for (CMDIChildWnd* pChild : GetChildFrames())
        if (!pChild->isHidden())
            return true;
    return false;
}

void CMainFrame::UpdateRecentFileMenu()
{
    CWinApp* pApp = AfxGetApp();
    CRecentFileList* pList = pApp ? pApp->GetRecentFileList() : nullptr;
    const int nCount = pList ? pList->GetCount() : 0;
    const QString prompt = AfxLoadString(ID_FILE_MRU_FILE1).section(QLatin1Char('\n'), 0, 0);
    for (const Menu& menu : std::as_const(m_menus)) {
        if (!menu.pFile)
            continue;
        for (unsigned nID = ID_FILE_MRU_FILE1; nID <= ID_FILE_MRU_FILE16; ++nID)
            if (HasCommandAction(nID))
                menu.pFile->removeAction(CommandAction(nID));
        for (int i = 0; i < nCount; ++i) {
            QAction* action = CommandAction(ID_FILE_MRU_FILE1 + unsigned(i));
            action->setText(RecentFileMenuText(i, (*pList)[i]));
            action->setStatusTip(prompt);
            menu.pFile->insertAction(menu.pRecentPlaceholder, action);
        }
        menu.pRecentPlaceholder->setVisible(nCount == 0);
    }
}
