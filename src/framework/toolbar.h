#pragma once

#include <QIcon>
#include <QList>
#include <QSet>
#include <QToolBar>

class CMDIFrameWnd;

// A dockable tool bar of command buttons.
//
// LoadToolBar makes one button per command of a toolbar resource from the
// frame's command actions (CMDIFrameWnd::CommandAction), so a button is enabled,
// disabled and carried out exactly like the menu item of the same command; a
// gap in the resource becomes a separator. The images come in button order.
// Hovering a button shows its command's prompt in the status bar; its tooltip is
// the part of the prompt after "\n", and a prompt without one gives no tooltip.
class CToolBar : public QToolBar {
    Q_OBJECT

public:
    explicit CToolBar(QWidget* pParent = nullptr);

    // False when the resource holds no buttons.
    bool LoadToolBar(unsigned nIDResource, CMDIFrameWnd* pFrame, const QList<QIcon>& images);

    // The command identifiers from the left, ID_SEPARATOR for a gap.
    const QList<unsigned>& GetItemIDs() const { return m_ids; }
    QWidget* GetButton(unsigned nID) const;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QList<unsigned> m_ids;
    QSet<QObject*> m_untipped;
};
