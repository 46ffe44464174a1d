#include "toolbar.h"

#include "afxres.h"
#include "mdiframewnd.h"
#include "resources.h"

#include <QAction>
#include <QEvent>
#include <QToolTip>

CToolBar::CToolBar(QWidget* pParent) : QToolBar(pParent)
{
}

bool CToolBar::LoadToolBar(unsigned nIDResource, CMDIFrameWnd* pFrame, const QList<QIcon>& images)
{
    clear();
    m_untipped.clear();
    m_ids = AfxLoadToolBar(nIDResource);
    int nImage = 0;
    for (unsigned nID : std::as_const(m_ids)) {
        if (nID == ID_SEPARATOR) {
            addSeparator();
            continue;
        }
        QAction* action = pFrame->CommandAction(nID);
        const QString prompt = AfxLoadString(nID);
        const QString tip = prompt.section(QLatin1Char('\n'), 1);
        action->setStatusTip(prompt.section(QLatin1Char('\n'), 0, 0));
        action->setToolTip(tip);
        if (action->text().isEmpty())
            action->setText(tip);
        if (nImage < images.size())
            action->setIcon(images[nImage]);
        ++nImage;
        addAction(action);
        QWidget* button = widgetForAction(action);
        if (tip.isEmpty()) {
            m_untipped.insert(button);
            button->installEventFilter(this);
        }
    }
    return nImage > 0;
}

QWidget* CToolBar::GetButton(unsigned nID) const
{
    for (QAction* action : actions())
        if (!action->isSeparator() && action->data().toUInt() == nID)
            return widgetForAction(action);
    return nullptr;
}

bool CToolBar::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    // Without a tooltip of its own a button would show its action's text.
    if (pEvent->type() == QEvent::ToolTip && m_untipped.contains(pWatched)) {
        QToolTip::hideText();
        return true;
    }
    return QToolBar::eventFilter(pWatched, pEvent);
}
