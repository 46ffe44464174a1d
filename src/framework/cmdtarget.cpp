#include "cmdtarget.h"

bool CCmdTarget::OnCmdMsg(unsigned nID, CCmdUI* pCmdUI)
{
    if (pCmdUI) {
        auto update = m_updates.find(nID);
        if (update != m_updates.end()) {
            update->second(pCmdUI);
            pCmdUI->m_bEnableChanged = true;
            return true;
        }
    }
    auto command = m_commands.find(nID);
    std::function<void()> run;
    if (command != m_commands.end()) {
        run = command->second;
    } else {
        for (const Range& range : m_ranges) {
            if (nID >= range.first && nID <= range.last) {
                auto handler = range.handler;
                run = [handler, nID] { handler(nID); };
                break;
            }
        }
    }
    if (!run)
        return false;
    if (pCmdUI)
        pCmdUI->Enable(true);
    else
        run();
    return true;
}

void CCmdTarget::OnCommand(unsigned nID, std::function<void()> handler)
{
    m_commands[nID] = std::move(handler);
}

void CCmdTarget::OnUpdateCommand(unsigned nID, std::function<void(CCmdUI*)> handler)
{
    m_updates[nID] = std::move(handler);
}

void CCmdTarget::OnCommandRange(unsigned nFirst, unsigned nLast, std::function<void(unsigned)> handler)
{
    m_ranges.push_back({nFirst, nLast, std::move(handler)});
}

bool AfxExecuteCommand(CCmdTarget* pTarget, unsigned nID)
{
    if (!pTarget)
        return false;
    CCmdUI state(nID);
    if (!pTarget->OnCmdMsg(nID, &state) || !state.IsEnabled())
        return false;
    return pTarget->OnCmdMsg(nID, nullptr);
}
